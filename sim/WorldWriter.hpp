#pragma once

#include "World.hpp"

#include <string>

namespace sim {

// Puts a world on disk below `out`: out/home (the fake home folder with Library/Mobile
// Documents and the server database), out/outside (a folder a link leads to) and
// out/truth/world.json. Fills each item's relPath, alloc and expectation as written.
// Throws std::runtime_error with a Czech message on failure.
struct WorldWriter {
    WorldWriter() = delete;

    static void write(World& world, const std::string& out);
    // Writes the server database and the truth of a world whose disk below `out` already holds
    // it (all of `write` but the disk).
    static void record(const World& world, const std::string& out);
    // Removes a world written by `write` (also its folders without permissions).
    static void remove(const std::string& out);
};

} // namespace sim
