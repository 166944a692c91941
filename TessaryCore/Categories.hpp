#pragma once

#include "TessaryCore/CategoryStat.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <vector>

namespace tessary {

// Sums a subtree's documents per file category.
struct Categories {
    Categories() = delete;

    // The categories that hold at least one document below `root` (below all of the result's
    // roots when `root` is null), largest quota first, equal quota by the categories' text
    // values. Only children of walked folders are counted: `root` itself never is, symbolic
    // links and dead items never are. Needs an aggregated tree; does not change it.
    [[nodiscard]] static std::vector<CategoryStat> breakdown(const ScanResult& result,
                                                             Item* root = nullptr);
};

} // namespace tessary
