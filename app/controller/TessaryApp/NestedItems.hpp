#pragma once

#include <vector>

namespace tessary {

class Item;
class ScanResult;

// Which of a group of items lie inside another of the group. A folder on the delete list takes
// the listed items inside it along: they move with it and are counted once, with it.
struct NestedItems {
    NestedItems() = delete;

    // For each of `items`, in the same order, whether another of them is its folder or one of
    // that folder's folders. A null item lies inside nothing. One walk up per item.
    [[nodiscard]] static std::vector<bool> insideAnother(const ScanResult& result,
                                                         const std::vector<const Item*>& items);
};

} // namespace tessary
