#include "cli/ProgressPrinter.hpp"

#include <chrono>
#include <fmt/format.h>
#include <unistd.h>

namespace tessary::cli {

namespace {

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Plain lines (a log file, a pipe) at most once per second within one phase.
constexpr double plainInterval = 1.0;

} // namespace

ProgressPrinter::ProgressPrinter(std::FILE* out, bool quiet)
    : m_out(out), m_quiet(quiet), m_terminal(::isatty(::fileno(out)) == 1) {}

std::string ProgressPrinter::lineFor(std::int64_t done, std::int64_t total,
                                     std::string_view message) {
    if (total > 0 && done >= 0 && done <= total) {
        const double pct = 100.0 * static_cast<double>(done) / static_cast<double>(total);
        return fmt::format("[{:3.0f} %] {}", pct, message);
    }
    return std::string(message);
}

void ProgressPrinter::report(std::string_view phase, std::int64_t done, std::int64_t total,
                             std::string_view message) {
    if (m_quiet)
        return;
    const std::string line = lineFor(done, total, message);
    if (m_terminal) {
        // \r and clear-to-end-of-line rewrite the one status line in place.
        fmt::print(m_out, "\r\033[K{}", line);
        std::fflush(m_out);
        m_lineOpen = true;
        return;
    }
    const double now = monotonicSeconds();
    const bool newPhase = phase != m_lastPhase;
    if (!newPhase && now - m_lastPlain < plainInterval && phase != "done")
        return;
    m_lastPhase = std::string(phase);
    m_lastPlain = now;
    fmt::print(m_out, "{}\n", line);
    std::fflush(m_out);
}

void ProgressPrinter::finish() {
    if (m_lineOpen) {
        fmt::print(m_out, "\n");
        std::fflush(m_out);
        m_lineOpen = false;
    }
}

} // namespace tessary::cli
