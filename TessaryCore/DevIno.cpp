#include "TessaryCore/DevIno.hpp"

#include "TessaryCore/Hashing.hpp"
#include "TessaryCore/StatInfo.hpp"

namespace tessary {

DevIno DevIno::of(const StatInfo& info) {
    return DevIno{info.dev, info.ino};
}

std::size_t DevIno::Hash::operator()(const DevIno& d) const {
    std::size_t seed = 0;
    Hashing::combine(seed, d.dev);
    Hashing::combine(seed, d.ino);
    return seed;
}

} // namespace tessary
