#pragma once

#include "TessaryCore/ScanResult.hpp"

namespace tessary {

// Fills the eight subtree totals (`aggSz` ... `aggDatalessDocs`) of every item reachable from
// the result's roots, and of its dead items, from the items' own fields. Always recomputes the
// whole tree; items that are neither reachable nor dead keep their values.
struct Aggregator {
    Aggregator() = delete;

    // Runs on the thread that owns `result`; takes no lock and does not fail. Walks with an
    // explicit stack, so the depth of the tree does not matter. Each item is counted once even if
    // the children lists contain a cycle or list an item under several folders.
    static void aggregate(ScanResult& result);

private:
    // The fast walk for children lists that form trees; false when an item is reached twice.
    static bool aggregateTrees(ScanResult& result);
};

} // namespace tessary
