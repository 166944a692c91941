#include "TessaryCore/CategoryStat.hpp"

#include "TessaryCore/Hashing.hpp"

#include <ostream>

namespace tessary {

std::ostream& operator<<(std::ostream& os, const CategoryStat& s) {
    return os << "{" << toText(s.category) << " qta " << s.qta << " cloud " << s.cloud << " count "
              << s.count << "}";
}

} // namespace tessary

std::size_t
std::hash<tessary::CategoryStat>::operator()(const tessary::CategoryStat& s) const noexcept {
    std::size_t seed = 0;
    tessary::Hashing::combine(seed, s.category);
    tessary::Hashing::combine(seed, s.qta);
    tessary::Hashing::combine(seed, s.cloud);
    tessary::Hashing::combine(seed, s.count);
    return seed;
}
