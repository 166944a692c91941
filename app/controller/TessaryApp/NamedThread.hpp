#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tessary {

// A detached background thread with a name (shown by debuggers and `top -H`; at most 15
// characters on Linux) and a chosen stack size, for the controller's long operations.
struct NamedThread {
    NamedThread() = delete;

    static constexpr std::size_t defaultStack = 0;
    static constexpr std::size_t largeStack = 16u * 1024u * 1024u;

    // Starts `work` on a new thread; `stackBytes` 0 keeps the system's default. Returns false
    // when the system could not start the thread (then `work` never runs).
    [[nodiscard]] static bool start(const std::string& name, std::size_t stackBytes,
                                    std::function<void()> work);
};

} // namespace tessary
