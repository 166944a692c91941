#pragma once

#include "TessaryApp/UsageBarData.hpp"
#include "TessaryCore/NodeDTO.hpp"

#include <vector>

namespace tessary {

class Item;
class ScanResult;

// The rows of the listings the windows show, made from a scan result.
struct NodeRows {
    NodeRows() = delete;
    using Rows = std::vector<NodeDTO>;

    // A row of a listing that mixes folders (largest files, search, the delete list): with its
    // display path and parent.
    [[nodiscard]] static NodeDTO listed(const ScanResult& result, const Item& item);
    // Each row's colour rank: its place in `rows`.
    [[nodiscard]] static ColorRanks ranks(const Rows& rows);
    // The rows that lie inside no other of the rows: an item inside a listed folder is drawn, and
    // counted, as part of its folder. All rows without a result.
    [[nodiscard]] static Rows outermost(const ScanResult* result, const Rows& rows);
    // For each row, whether it lies inside another of them.
    [[nodiscard]] static std::vector<bool> insideAnother(const ScanResult& result,
                                                         const Rows& rows);
};

} // namespace tessary
