#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <iosfwd>

#ifndef SF_DATALESS
// The file flag of a cloud-only placeholder: its contents live only in iCloud. macOS defines it
// in <sys/stat.h>; elsewhere the file layer sets it from the stand-in attribute (see FS).
inline constexpr std::uint32_t SF_DATALESS = 0x40000000;
#endif

namespace tessary {

// What one lstat call says about an item. A plain value; nothing is followed.
struct StatInfo {
    std::uint16_t mode = 0;
    // File flags; only SF_DATALESS is of interest here.
    std::uint32_t flags = 0;
    // Logical size in bytes.
    std::int64_t size = 0;
    // Modification time, whole seconds since 1970.
    std::int64_t mtime = 0;
    // 512-byte blocks allocated on the local disk.
    std::int64_t blocks = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    // When the entry was created, in nanoseconds since 1970, where the file system records it;
    // otherwise when its inode last changed. Tells a re-created entry from the one a scan saw
    // even when the file system handed the same inode number out again.
    std::int64_t birth = 0;

    [[nodiscard]] bool isDir() const { return (mode & S_IFMT) == S_IFDIR; }
    [[nodiscard]] bool isLink() const { return (mode & S_IFMT) == S_IFLNK; }
    [[nodiscard]] bool isReg() const { return (mode & S_IFMT) == S_IFREG; }
    [[nodiscard]] bool isDataless() const { return (flags & SF_DATALESS) != 0; }
    // Bytes the item occupies on the local disk; a dataless file has a size but no allocation.
    [[nodiscard]] std::int64_t alloc() const { return blocks * 512; }

    friend bool operator==(const StatInfo&, const StatInfo&) = default;
};

// For test failure messages.
void PrintTo(const StatInfo& info, std::ostream* os);

} // namespace tessary
