#include "TessaryCore/LocalKey.hpp"

#include "TessaryCore/Hashing.hpp"

#include <string_view>

namespace tessary {

std::size_t LocalKey::Hash::operator()(const LocalKey& k) const {
    std::size_t seed = 0;
    Hashing::combine(seed, k.mask);
    Hashing::combine(seed, toText(k.kind));
    return seed;
}

} // namespace tessary
