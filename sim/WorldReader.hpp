#pragma once

#include "World.hpp"

#include <string>

namespace sim {

// Reads back a world that WorldWriter wrote below `out` (and aging may have changed since): the
// truth gives the items and their local state, the server database their child counts and the
// aliases. What only the disk knows (link targets, the files inside packages) is left empty.
struct WorldReader {
    WorldReader() = delete;

    // Throws std::runtime_error with a Czech message when `out` holds no world, or when the
    // database and the truth disagree (the disk changed and a dump synced it since): such a
    // truth is no longer exact, so nothing exact can be built on it.
    [[nodiscard]] static World read(const std::string& out);
};

} // namespace sim
