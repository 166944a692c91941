#pragma once

#include <cstdint>
#include <iosfwd>

namespace tessary {

struct StatInfo;

// What a scan saw of a local entry when it paired it with an item: the entry's device, inode,
// kind and birth time, and its logical size and modification time (whole seconds). Lets a later
// action check that the path still holds the very entry the user saw before it touches it.
struct LocalIdentity {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    // StatInfo::birth: the creation time in nanoseconds, or the inode change time where the
    // file system records no creation time.
    std::int64_t birth = 0;
    // The kind of entry: the S_IFMT bits of its mode (a file, a folder, a link, …).
    std::uint32_t type = 0;

    // The identity of the entry that `info` describes (an lstat: a link's own, not its target's).
    [[nodiscard]] static LocalIdentity of(const StatInfo& info);

    // Whether `now` is still the entry this identity was taken of. The same device, inode, kind
    // and birth time make the same entry (a reused inode number is told apart by its birth
    // time); a regular file must also keep its size and modification time, or its contents are
    // not what was seen. A folder whose contents changed is still the same folder.
    [[nodiscard]] bool isSameEntry(const LocalIdentity& now) const;

    friend bool operator==(const LocalIdentity&, const LocalIdentity&) = default;
};

// For test failure messages.
void PrintTo(const LocalIdentity& identity, std::ostream* os);

} // namespace tessary
