#include "TessaryCore/FS.hpp"

namespace tessary {

std::string FS::join(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.back() == '/')
        a.remove_suffix(1);
    while (!b.empty() && b.front() == '/')
        b.remove_prefix(1);
    while (b.size() > 1 && b.back() == '/')
        b.remove_suffix(1);
    if (a.empty())
        return std::string(b);
    if (b.empty())
        return std::string(a);
    std::string out;
    out.reserve(a.size() + 1 + b.size());
    out += a;
    if (a.back() != '/')
        out += '/';
    out += b;
    return out;
}

} // namespace tessary
