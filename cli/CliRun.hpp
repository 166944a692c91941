#pragma once

#include "cli/CliOptions.hpp"

#include <atomic>

namespace tessary::cli {

// Runs one invocation of varnelo-cli: the scan (or the analysis of a given dump), the optional
// hydration, then the summary, top lists and exports the options ask for. Progress goes to
// standard error, results to standard output or the named files. `stop` is polled as the scan's
// cancel flag. Returns the process exit code: 0 done, 1 failed (the Czech error text is the last
// line on standard error), 130 stopped by the user.
[[nodiscard]] int runCli(const CliOptions& options, const std::atomic<bool>& stop);

} // namespace tessary::cli
