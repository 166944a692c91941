#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

namespace tessary::cli {

// Standard output written with every write checked: a full disk, a closed or broken output
// fails the run instead of leaving a half-written result behind an exit code of 0.
struct StandardOutput {
    StandardOutput() = delete;

    // Writes `bytes` in pieces and flushes, asking `stop` between two pieces. Throws ScanError:
    // cancelled when `stop` is set, else a Czech message naming the reason of the failure.
    static void write(std::string_view bytes, const std::atomic<bool>& stop);

    // Flushes and closes standard output at the end of the run; the Czech message of a failure,
    // or nothing.
    [[nodiscard]] static std::optional<std::string> close();

    // Why a write failed, in words for the usual cases.
    [[nodiscard]] static std::string reason(int err);

    // The pieces in which outputs are written; a stop request is noticed between two.
    static constexpr std::size_t pieceBytes = 64 * 1024;
};

} // namespace tessary::cli
