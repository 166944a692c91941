#pragma once

#include "World.hpp"

namespace sim {

// What a dump-mode scan that may read every folder concludes for each item of a world (the
// `expect` of its truth), from the server's view and the local state alone.
struct Expectations {
    Expectations() = delete;

    // Sets every item's `expect`; items must come parents first.
    static void assign(World& world);
};

} // namespace sim
