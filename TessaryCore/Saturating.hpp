#pragma once

#include <cstdint>
#include <limits>

namespace tessary {

// Sums of sizes that stop at the ends of the 64-bit range instead of wrapping around: the
// database prints whatever numbers it holds, and a corrupt one must not turn a total negative.
struct Saturating {
    Saturating() = delete;

    [[nodiscard]] static constexpr std::int64_t add(std::int64_t a, std::int64_t b) {
        std::int64_t out = 0;
        if (__builtin_add_overflow(a, b, &out))
            return b > 0 ? std::numeric_limits<std::int64_t>::max()
                         : std::numeric_limits<std::int64_t>::min();
        return out;
    }
};

} // namespace tessary
