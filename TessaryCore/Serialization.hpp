#pragma once

#include "TessaryCore/ExportDTO.hpp"
#include "TessaryCore/NodeDTO.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/SortKey.hpp"
#include "TessaryCore/SummaryDTO.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Listings, the scan summary, the JSON and CSV exports and the core's size text. All of them
// read an aggregated tree and never change it.
struct Serialization {
    Serialization() = delete;

    // The deepest listing `exportJSON` and `exportTree` accept: the encoder nests one JSON level
    // per folder level on the calling thread's stack.
    static constexpr std::int64_t maxExportDepth = 1000;

    // Writes an ExportDTO as pretty-printed UTF-8 JSON: two-space indentation, members in the
    // records' field order, "/" not escaped, 64-bit integers exact. Bytes that are not UTF-8 are
    // written as U+FFFD, so the output is always valid JSON.
    struct JSONEncoder {
        int indent = 2;
        [[nodiscard]] std::string encode(const ExportDTO& data) const;
    };

    // The item's children in listing order: `qta` by aggQta then aggSz, `cloud` by aggCloud then
    // aggQta, `local` by aggLocal then aggQta (all largest first), `name` by the lower-cased
    // name in code-point order; ties keep the children's order. The item is not changed.
    [[nodiscard]] static std::vector<Item*> childrenSorted(const Item& item, SortKey key);
    // The record of one item, the same as NodeDTO(item).
    [[nodiscard]] static NodeDTO nodeDict(const ScanResult& result, const Item& item);
    // Containers with a root, largest root quota first (ties by order, then index), the main
    // root, the dead items' count and own quota, the counters and warnings.
    [[nodiscard]] static SummaryDTO summary(const ScanResult& result);
    // The summary, every root listed down to `maxDepth` levels below it (subfolders first, then
    // at most `topFilesPerDir` files per folder; folders at `maxDepth` carry no "children"), and
    // the 500 dead items with the largest quota with their display paths. `topFilesPerDir` must
    // not be negative: callers check it (exportJSON and exportTree refuse it); a negative value
    // that slips through lists no files.
    [[nodiscard]] static ExportDTO exportData(const ScanResult& result, std::int64_t maxDepth,
                                              std::int64_t topFilesPerDir);
    [[nodiscard]] static JSONEncoder jsonEncoder() { return JSONEncoder{}; }
    // exportData encoded by jsonEncoder(). Throws ScanError for a negative `topFilesPerDir` or a
    // `maxDepth` above maxExportDepth, before any work.
    [[nodiscard]] static std::string exportJSON(const ScanResult& result, std::int64_t maxDepth,
                                                std::int64_t topFilesPerDir);
    // exportJSON written to `path`: into a new temporary file in the same folder, flushed to the
    // disk, then renamed over `path`, so a failure never leaves a truncated or half-replaced
    // file. An existing file's permission bits are kept. Throws ScanError with a Czech text.
    static void exportTree(const ScanResult& result, const std::string& path, std::int64_t maxDepth,
                           std::int64_t topFilesPerDir);

    // The largest documents below `root` (below every root when null), by aggQta, at most `n`
    // (none when `n` <= 0); with `cloudOnly` only cloud-only documents. Records carry `dpath`
    // and `parent`. Links and folders are never listed.
    [[nodiscard]] static std::vector<NodeDTO> topFiles(const ScanResult& result, std::int64_t n,
                                                       bool cloudOnly, Item* root = nullptr);
    // The non-synthetic folders below and including `root` ranked by the quota of the files
    // lying directly in them, at most `n`. Records carry those direct files' sums in `qta`, `sz`,
    // `cloud`, `local` and `docs`, the subtree's values elsewhere, plus `dpath` and `parent`.
    [[nodiscard]] static std::vector<NodeDTO> topDirs(const ScanResult& result, std::int64_t n,
                                                      Item* root = nullptr);
    // The listing of the item's direct children for spreadsheets: UTF-8 with a byte-order mark,
    // ";" between cells, CR LF after every row, quoted cells where needed, and names and paths
    // that a spreadsheet would run as formulas prefixed with "'".
    [[nodiscard]] static std::string exportCSV(const ScanResult& result, const Item& item);
    // Decimal units with one decimal ("999 B", "1.5 kB", "1.0 MB", up to "PB").
    [[nodiscard]] static std::string formatSize(std::int64_t bytes);
};

} // namespace tessary
