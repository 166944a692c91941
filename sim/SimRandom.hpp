#pragma once
// splitmix64: the same sequence on every machine and with every standard library, so a seed
// always gives the same world.

#include <cstdint>
#include <string>

namespace sim {

class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 .. n - 1 (0 when n is 0).
    std::int64_t below(std::int64_t n) {
        return n <= 0 ? 0 : static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(n));
    }
    std::int64_t between(std::int64_t lo, std::int64_t hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T, std::size_t N> const T& pick(const T (&options)[N]) {
        return options[below(static_cast<std::int64_t>(N))];
    }
    // An item id as the database writes them: 36 characters, upper-case hex with dashes.
    std::string itemId() {
        static const char hex[] = "0123456789ABCDEF";
        std::string id(36, '-');
        std::uint64_t bits = next();
        for (int i = 0, used = 0; i < 36; ++i) {
            if (i == 8 || i == 13 || i == 18 || i == 23)
                continue;
            if (used == 16) {
                bits = next();
                used = 0;
            }
            id[static_cast<std::size_t>(i)] = hex[bits & 15];
            bits >>= 4;
            ++used;
        }
        return id;
    }

private:
    std::uint64_t m_state;
};

} // namespace sim
