#include "TessaryCore/StatInfo.hpp"

#include <fmt/format.h>

#include <ostream>

namespace tessary {

void PrintTo(const StatInfo& info, std::ostream* os) {
    *os << fmt::format("StatInfo{{mode={:o}, flags={:#x}, size={}, mtime={}, blocks={}, dev={}, "
                       "ino={}}}",
                       info.mode, info.flags, info.size, info.mtime, info.blocks, info.dev,
                       info.ino);
}

} // namespace tessary
