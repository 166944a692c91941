#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// One item that aging changed, with what a dump-mode scan charges for it and what it takes on
// this disk before and after. A folder that is new, deleted or moved stands for everything
// below it: its numbers are totals, and the items below it have no entries of their own.
struct AgeChange {
    std::string id;
    std::string change; // new, grown, shrunk, deleted, moved, downloaded, evicted
    std::string kind;   // dir, doc
    std::string path;   // below the home folder: after the change, before it when deleted
    // The quota charge as a scan sums it over the live tree: 0 before the item existed and once
    // it is dead (the server still charges a dead item until it is purged, but a scan sets it
    // aside from the tree it sums).
    std::int64_t qtaBefore = 0;
    std::int64_t qtaAfter = 0;
    // Allocated bytes on the disk.
    std::int64_t localBefore = 0;
    std::int64_t localAfter = 0;
};

// What one aging did, as written to truth/changes.json.
struct AgeLog {
    std::uint64_t seed = 0;
    std::int64_t days = 0;
    std::int64_t from = 0; // the world's clock before and after
    std::int64_t to = 0;
    std::vector<AgeChange> changes;

    // Writes the log to `path` (through a temporary file); throws std::runtime_error with a
    // Czech message on failure.
    void write(const std::string& path) const;
};

} // namespace sim
