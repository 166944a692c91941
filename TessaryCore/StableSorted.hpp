#pragma once

#include <algorithm>
#include <vector>

namespace tessary {

// The one sort of the core: a copy of `list` ordered by `less`, where elements that compare
// equal keep their input order. Every listing and export sorts through it, so equal sizes
// always come out in the same order.
template <class T, class Less>
[[nodiscard]] std::vector<T> stableSorted(std::vector<T> list, Less&& less) {
    std::stable_sort(list.begin(), list.end(), less);
    return list;
}

} // namespace tessary
