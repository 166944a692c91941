// Builds a small tree whose names, paths and sizes come from the input, then checks that the
// JSON export parses back and that the CSV export has one row per child.

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Serialization.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    ScanResult res;
    Item& root = res.put(Item("root[1]", "", "root[1]", ItemKind::dir, 1));
    res.roots.push_back(&root);
    std::vector<Item*> folders{&root};
    std::size_t rows = 0;
    int n = 0;
    // Records separated by NUL: a control byte, eight size bytes, then the name.
    while (!in.empty() && n < 200) {
        const std::size_t end = std::min(in.find('\0'), in.size());
        std::string_view rec = in.substr(0, end);
        in.remove_prefix(std::min(end + 1, in.size()));
        if (rec.empty())
            continue;
        const auto ctl = static_cast<unsigned char>(rec[0]);
        rec.remove_prefix(1);
        std::int64_t sz = 0;
        if (rec.size() >= 8) {
            std::memcpy(&sz, rec.data(), 8);
            rec.remove_prefix(8);
        }
        const ItemKind kind = ctl % 3 == 0   ? ItemKind::dir
                              : ctl % 3 == 1 ? ItemKind::doc
                                             : ItemKind::symlink;
        Item* parent = folders[(ctl >> 2) % folders.size()];
        Item& item = res.add(Item("i" + std::to_string(n++), parent->id(), rec, kind, 1));
        item.sz = sz;
        item.qta = sz ^ 0x5a5a;
        item.resolved = ctl & 0x10;
        item.dataless = ctl & 0x20;
        item.enumerated = ctl & 0x40;
        if (ctl & 0x80)
            item.setPath(std::string(rec) + "/x");
        parent->children.push_back(&item);
        if (parent == &root)
            ++rows;
        if (kind == ItemKind::dir)
            folders.push_back(&item);
        if ((ctl & 0x0f) == 0x0f) {
            item.dead = true;
            res.dead.push_back(&item);
        }
    }
    res.mode = size % 2 ? ScanMode::fs : ScanMode::dump;
    Aggregator::aggregate(res);

    const std::string json = Serialization::exportJSON(res, 6, 3);
    if (!nlohmann::json::accept(json))
        std::abort();
    const std::string csv = Serialization::exportCSV(res, root);
    if (csv.compare(0, 3, "\xEF\xBB\xBF") != 0 || csv.size() < 5 ||
        csv.compare(csv.size() - 2, 2, "\r\n") != 0)
        std::abort();
    // Outside quoted cells every CR LF ends a row.
    std::size_t ends = 0;
    bool quoted = false;
    for (std::size_t i = 3; i + 1 < csv.size(); ++i) {
        if (csv[i] == '"')
            quoted = !quoted;
        else if (!quoted && csv[i] == '\r' && csv[i + 1] == '\n')
            ++ends;
    }
    if (quoted || ends != rows + 1)
        std::abort();
    (void)Serialization::topFiles(res, 5, false);
    (void)Serialization::topDirs(res, 5);
    (void)Serialization::formatSize(static_cast<std::int64_t>(size) * 999'950);
    return 0;
}
