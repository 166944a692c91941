#include "TessaryCore/Serialization.hpp"

#include "TessaryCore/Bytes.hpp"

#include <fmt/format.h>

#include <cmath>

namespace tessary {

namespace {

// A spreadsheet runs a cell starting with one of these as a formula.
std::string guarded(std::string_view text) {
    if (!text.empty()) {
        switch (text.front()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r':
            return "'" + std::string(text);
        default:
            break;
        }
    }
    return std::string(text);
}

// One row being built. The separator goes before every cell but the first, whether or not
// the cells before were empty: an empty name still takes its column.
struct Row {
    std::string text;
    bool started = false;
    void clear() {
        text.clear();
        started = false;
    }
};

void appendCell(Row& row, std::string_view cell) {
    if (row.started)
        row.text += ';';
    row.started = true;
    // A local name may hold any bytes; the file stays valid UTF-8, as the JSON export does.
    std::string decoded;
    if (!Bytes::isValidUTF8(cell)) {
        decoded = Bytes::decodeUTF8(cell);
        cell = decoded;
    }
    std::string& out = row.text;
    if (cell.find_first_of(";\"\n\r") == std::string_view::npos) {
        out += cell;
        return;
    }
    out += '"';
    for (char c : cell) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string Serialization::exportCSV(const ScanResult& result, const Item& item) {
    static constexpr std::string_view header[] = {"Název",
                                                  "Typ",
                                                  "Cesta",
                                                  "Velikost v iCloudu (B)",
                                                  "Jen v cloudu (B)",
                                                  "Na disku (B)",
                                                  "Souborů",
                                                  "Neprozkoumaných složek",
                                                  "Jméno dopočteno"};
    std::string out = "\xEF\xBB\xBF"; // UTF-8 byte-order mark, so spreadsheets pick UTF-8
    Row row;
    for (std::string_view h : header)
        appendCell(row, h);
    out += row.text;
    for (const Item* child : childrenSorted(item, SortKey::qta)) {
        row.clear();
        appendCell(row, guarded(child->name()));
        appendCell(row, child->isDir() ? "složka" : "soubor");
        appendCell(row, guarded(result.displayPath(*child)));
        for (std::int64_t v :
             {child->aggQta, child->aggCloud, child->aggLocal, child->aggDocs, child->aggUnenum})
            appendCell(row, fmt::format("{}", v));
        appendCell(row, child->resolved ? "ano" : "ne");
        out += "\r\n";
        out += row.text;
    }
    out += "\r\n";
    return out;
}

std::string Serialization::formatSize(std::int64_t bytes) {
    static constexpr std::string_view units[] = {"B", "kB", "MB", "GB", "TB", "PB"};
    constexpr std::size_t last = std::size(units) - 1;
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    // Test the value as it will be printed, so 999 950 B gives "1.0 MB", not "1000.0 kB".
    while (std::round(value * 10) / 10 >= 1000 && unit < last) {
        value /= 1000;
        ++unit;
    }
    if (unit == 0)
        return fmt::format("{} B", bytes);
    return fmt::format("{:.1f} {}", value, units[unit]);
}

} // namespace tessary
