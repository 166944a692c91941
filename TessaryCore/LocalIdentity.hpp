#pragma once

#include <cstdint>

namespace tessary {

// What a scan saw at an item's local path when it paired the two: the entry's device and inode,
// its logical size and modification time (whole seconds). Lets a later action check that the
// path still holds the same file before it touches it.
struct LocalIdentity {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::int64_t size = 0;
    std::int64_t mtime = 0;

    friend bool operator==(const LocalIdentity&, const LocalIdentity&) = default;
};

} // namespace tessary
