#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tessary::cli {

// Shows progress reports on standard error: one line rewritten in place on a terminal, plain
// lines otherwise (one per change of message, throttled), nothing when quiet. Not thread-safe:
// the scan reports from its own thread, one report at a time.
class ProgressPrinter {
public:
    ProgressPrinter(std::FILE* out, bool quiet);
    ProgressPrinter(const ProgressPrinter&) = delete;
    ProgressPrinter& operator=(const ProgressPrinter&) = delete;

    void report(std::string_view phase, std::int64_t done, std::int64_t total,
                std::string_view message);
    // Ends an updating line so that later output starts on a fresh line.
    void finish();

private:
    [[nodiscard]] static std::string lineFor(std::int64_t done, std::int64_t total,
                                             std::string_view message);

    std::FILE* m_out;
    bool m_quiet;
    bool m_terminal;
    bool m_lineOpen = false;
    std::string m_lastPhase;
    double m_lastPlain = 0;
};

} // namespace tessary::cli
