#pragma once
// The values the usage bar is drawn from: which rows have which colour, the drilled-into
// segments and a folder's breakdown. Plain values, so the bar's layout needs no controller.

#include "TessaryCore/NodeDTO.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tessary {

// One drilled-into segment of the usage bar: its item and the colour rank it was shown in.
struct BarFocus {
    std::string id;
    int rank = 0;
    friend bool operator==(const BarFocus&, const BarFocus&) = default;
};

// The drilled-into segments, outermost first.
using BarPath = std::vector<BarFocus>;

// The colour rank of each listed row by id: its place in the listing.
using ColorRanks = std::map<std::string, int>;

// The biggest non-empty children of a folder (at most the first 80 by size), the quota of all its
// children and their number.
struct Breakdown {
    std::vector<NodeDTO> items;
    std::int64_t total = 0;
    std::int64_t count = 0;
    friend bool operator==(const Breakdown&, const Breakdown&) = default;
};

} // namespace tessary
