#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace tessary {

// Folding field hashes into one value, for the hash functions of the value records.
struct Hashing {
    Hashing() = delete;

    template <class T> static void combine(std::size_t& seed, const T& value) {
        seed ^= one(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    }

private:
    template <class T> static std::size_t one(const T& value) { return std::hash<T>{}(value); }
    template <class T> static std::size_t one(const std::optional<T>& value) {
        std::size_t seed = value.has_value();
        if (value)
            combine(seed, *value);
        return seed;
    }
    template <class T> static std::size_t one(const std::vector<T>& values) {
        std::size_t seed = values.size();
        for (const T& v : values)
            combine(seed, v);
        return seed;
    }
    template <class K, class V> static std::size_t one(const std::map<K, V>& values) {
        std::size_t seed = values.size();
        for (const auto& [k, v] : values) {
            combine(seed, k);
            combine(seed, v);
        }
        return seed;
    }
};

} // namespace tessary
