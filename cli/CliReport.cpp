#include "cli/CliReport.hpp"

#include "cli/CliChanges.hpp"

#include "cli/StandardOutput.hpp"
#include "cli/TerminalText.hpp"

#include "TessaryCore/AtomicFile.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/Serialization.hpp"

#include <algorithm>
#include <ctime>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace tessary::cli {
namespace {

constexpr std::string_view standardOutput = "-";

struct Totals {
    std::int64_t qta = 0;
    std::int64_t cloud = 0;
    std::int64_t local = 0;
    std::int64_t docs = 0;
    std::int64_t dirs = 0;
    std::int64_t unenum = 0;
};

Totals totalsOf(const ScanResult& result) {
    Totals t;
    for (const Item* root : result.roots) {
        t.qta += root->aggQta;
        t.cloud += root->aggCloud;
        t.local += root->aggLocal;
        t.docs += root->aggDocs;
        t.dirs += std::max<std::int64_t>(root->aggDirs - 1, 0);
        t.unenum += root->aggUnenum;
    }
    return t;
}

std::string sizeText(std::int64_t bytes) {
    return Serialization::formatSize(bytes);
}

std::string localTime(double seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
    return text;
}

std::string modeLine(const ScanResult& result) {
    if (result.mode == ScanMode::fs)
        return "Sken: jen místní disk\n";
    if (result.dumpTime)
        return fmt::format("Sken: databáze iCloud Drive (výpis z {})\n",
                           localTime(*result.dumpTime));
    return "Sken: databáze iCloud Drive\n";
}

void appendContainers(std::string& out, const SummaryDTO& summary) {
    out += fmt::format("Kontejnery ({}):\n", summary.containers.size());
    for (const ContainerDTO& c : summary.containers)
        out += fmt::format("  {:>10}  {}{}\n", sizeText(c.qta), c.display,
                           c.localPath ? "" : "  (bez místní složky)");
}

void appendWarnings(std::string& out, const std::vector<std::string>& warnings) {
    if (warnings.empty())
        return;
    out += "Upozornění:\n";
    for (const std::string& w : warnings)
        out += fmt::format("  – {}\n", w);
}

std::string fileRow(std::size_t rank, const NodeDTO& n) {
    const std::string_view where = n.isCloudOnly() ? "jen v cloudu" : "staženo";
    return fmt::format("{:>4}. {:>10}  {:<12}  {}  [{}]\n", rank, sizeText(n.qta), where,
                       n.dpath.value_or(n.name), n.id);
}

std::string dirRow(std::size_t rank, const NodeDTO& n) {
    return fmt::format("{:>4}. {:>10}  {:>6} souborů  {}  [{}]\n", rank, sizeText(n.qta), n.docs,
                       n.dpath.value_or(n.name), n.id);
}

nlohmann::ordered_json recordsJSON(const std::vector<NodeDTO>& rows) {
    auto list = nlohmann::ordered_json::array();
    for (const NodeDTO& n : rows) {
        nlohmann::ordered_json j = n;
        j["dpath"] = n.dpath ? nlohmann::ordered_json(*n.dpath) : nullptr;
        j["parent"] = n.parent ? nlohmann::ordered_json(*n.parent) : nullptr;
        list.push_back(std::move(j));
    }
    return list;
}

bool wantsTopLists(const CliOptions& o) {
    return o.topFiles || o.topDirs || o.changes;
}

// Writes `bytes` to the file `path` (replaced whole, see AtomicFile), or to standard output
// for "-", in pieces with `stop` asked between two: a stop request leaves no file behind.
void writeOutput(const std::string& path, std::string_view bytes, const std::atomic<bool>& stop) {
    if (path == standardOutput) {
        StandardOutput::write(bytes, stop);
        return;
    }
    AtomicFile::write(path, [&](const AtomicFile::Put& put) {
        for (std::string_view rest = bytes; !rest.empty();) {
            if (stop.load())
                throw ScanError::cancelled();
            const std::size_t n = std::min(rest.size(), StandardOutput::pieceBytes);
            put(rest.substr(0, n));
            rest.remove_prefix(n);
        }
    });
    if (stop.load())
        throw ScanError::cancelled();
}

bool exportsToStandardOutput(const CliOptions& o) {
    return (o.jsonFile && *o.jsonFile == standardOutput) ||
           (o.csv && o.csv->second == standardOutput);
}

// The JSON export, with the changes added as the member "changes" when they were asked for.
std::string exportJSON(const ScanResult& result, const CliOptions& o,
                       const ScanComparison* changes) {
    std::string text = Serialization::exportJSON(result, o.jsonDepth, o.jsonFiles);
    if (!o.changes)
        return text;
    nlohmann::ordered_json doc = nlohmann::ordered_json::parse(text);
    doc["changes"] = CliChanges::json(changes, result, *o.changes);
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void writeExports(const ScanResult& result, const CliOptions& o, const std::atomic<bool>& stop,
                  const ScanComparison* changes) {
    if (o.jsonFile)
        writeOutput(*o.jsonFile, exportJSON(result, o, changes), stop);
    if (o.csv)
        writeOutput(o.csv->second,
                    Serialization::exportCSV(result, Scanner::folder(result, o.csv->first)), stop);
}

// Plain text for standard output or error: what came from a dump or the disk may hold
// control characters.
void writeText(std::string_view text, bool toStandardOutput, const std::atomic<bool>& stop) {
    const std::string clean = terminalText(text);
    if (toStandardOutput) {
        StandardOutput::write(clean, stop);
        return;
    }
    if (stop.load())
        throw ScanError::cancelled();
    std::fputs(clean.c_str(), stderr);
}

} // namespace

std::string CliReport::summaryText(const ScanResult& result) {
    const SummaryDTO summary = Serialization::summary(result);
    const Totals t = totalsOf(result);
    std::string out = modeLine(result);
    out += fmt::format("V iCloudu celkem:   {:>10}  ({} souborů, {} složek)\n", sizeText(t.qta),
                       t.docs, t.dirs);
    out += fmt::format("Jen v cloudu:       {:>10}\n", sizeText(t.cloud));
    out += fmt::format("Staženo na disku:   {:>10}\n", sizeText(t.local));
    out += fmt::format("Volná kvóta:        {:>10}\n",
                       summary.quotaRemaining ? sizeText(*summary.quotaRemaining) : "neznámá");
    if (t.unenum > 0)
        out += fmt::format("Neprozkoumané složky: {}\n", t.unenum);
    out +=
        fmt::format("Smazané položky:    {} ({})\n", summary.deadCount, sizeText(summary.deadQta));
    appendContainers(out, summary);
    appendWarnings(out, summary.warnings);
    return out;
}

std::string CliReport::topListsText(const ScanResult& result, const CliOptions& o,
                                    const ScanComparison* changes) {
    std::string out;
    if (o.topFiles) {
        const auto rows = Serialization::topFiles(result, *o.topFiles, o.cloudOnly);
        out += o.cloudOnly ? "Největší soubory jen v cloudu:\n" : "Největší soubory:\n";
        for (std::size_t i = 0; i < rows.size(); ++i)
            out += fileRow(i + 1, rows[i]);
    }
    if (o.topDirs) {
        const auto rows = Serialization::topDirs(result, *o.topDirs);
        out += "Složky s nejvíce daty přímo v nich:\n";
        for (std::size_t i = 0; i < rows.size(); ++i)
            out += dirRow(i + 1, rows[i]);
    }
    if (o.changes)
        out += CliChanges::text(changes, result, *o.changes);
    return out;
}

std::string CliReport::topListsJSON(const ScanResult& result, const CliOptions& o,
                                    const ScanComparison* changes) {
    nlohmann::ordered_json doc = nlohmann::ordered_json::object();
    if (o.topFiles)
        doc["top_files"] = recordsJSON(Serialization::topFiles(result, *o.topFiles, o.cloudOnly));
    if (o.topDirs)
        doc["top_dirs"] = recordsJSON(Serialization::topDirs(result, *o.topDirs));
    if (o.changes)
        doc["changes"] = CliChanges::json(changes, result, *o.changes);
    return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

void CliReport::write(const ScanResult& result, const CliOptions& o, const std::atomic<bool>& stop,
                      const ScanComparison* changes) {
    const bool dataOnStdout = exportsToStandardOutput(o) || (o.formatJson && wantsTopLists(o));
    writeText(summaryText(result), !dataOnStdout, stop);
    if (wantsTopLists(o)) {
        if (o.formatJson)
            StandardOutput::write(topListsJSON(result, o, changes), stop);
        else
            writeText(topListsText(result, o, changes), true, stop);
    }
    writeExports(result, o, stop, changes);
}

} // namespace tessary::cli
