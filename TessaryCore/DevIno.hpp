#pragma once

#include <cstddef>
#include <cstdint>

namespace tessary {

struct StatInfo;

// The identity of a folder on disk: a walk remembers the folders it listed by these, so a link
// back to an ancestor does not list a folder twice.
struct DevIno {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;

    [[nodiscard]] static DevIno of(const StatInfo& info);
    friend bool operator==(const DevIno&, const DevIno&) = default;

    struct Hash {
        [[nodiscard]] std::size_t operator()(const DevIno& d) const;
    };
};

} // namespace tessary
