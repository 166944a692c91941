#pragma once

#include <string>
#include <string_view>

namespace tessary {

// Static operations over the POSIX file calls. None follows a symbolic link unless it says so.
struct FS {
    FS() = delete;

    // Appends the path component `b` to `a` with exactly one "/" between them (a trailing "/"
    // of `a` and a leading "/" of `b` are not doubled). An empty `a` gives `b`.
    [[nodiscard]] static std::string join(std::string_view a, std::string_view b);
};

} // namespace tessary
