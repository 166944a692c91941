#include "TessaryCore/LocalIdentity.hpp"

#include "TessaryCore/StatInfo.hpp"

#include <ostream>

namespace tessary {

LocalIdentity LocalIdentity::of(const StatInfo& info) {
    return LocalIdentity{.dev = info.dev,
                         .ino = info.ino,
                         .size = info.size,
                         .mtime = info.mtime,
                         .birth = info.birth,
                         .type = static_cast<std::uint32_t>(info.mode & S_IFMT)};
}

bool LocalIdentity::isSameEntry(const LocalIdentity& now) const {
    if (now.dev != dev || now.ino != ino || now.type != type || now.birth != birth)
        return false;
    if (type != S_IFREG)
        return true;
    return now.size == size && now.mtime == mtime;
}

void PrintTo(const LocalIdentity& identity, std::ostream* os) {
    *os << "{dev " << identity.dev << ", ino " << identity.ino << ", type 0" << std::oct
        << identity.type << std::dec << ", birth " << identity.birth << ", size " << identity.size
        << ", mtime " << identity.mtime << "}";
}

} // namespace tessary
