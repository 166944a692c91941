#pragma once

#include "TessaryCore/CategoryStat.hpp"
#include "TessaryCore/NodeDTO.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace tessary {

class ScanResult;

// What the scan summary shows after a scan: the main root's totals, its file categories, its
// biggest file and folder, and the summary's quota and dead-item figures.
struct ScanReport {
    std::int64_t total = 0;
    std::int64_t cloud = 0;
    std::int64_t local = 0;
    std::int64_t docs = 0;
    std::int64_t cloudDocs = 0;
    std::int64_t unenum = 0;
    std::vector<CategoryStat> categories;
    std::optional<NodeDTO> biggestFile;
    std::optional<NodeDTO> biggestDir;
    std::optional<std::int64_t> quotaRemaining;
    std::int64_t deadCount = 0;
    std::int64_t deadQta = 0;
    std::optional<double> dumpTime;

    // Needs an aggregated result. Without a main root the first six figures are 0, the
    // categories empty and the biggest file and folder absent.
    [[nodiscard]] static ScanReport build(const ScanResult& result);

    friend bool operator==(const ScanReport&, const ScanReport&) = default;
};

} // namespace tessary
