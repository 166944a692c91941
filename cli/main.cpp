#include "cli/CliOptions.hpp"
#include "cli/CliRun.hpp"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> stopRequested{false};

// The first Ctrl-C asks the scan to stop at its next polling point; a second one ends the
// process at once (parsing a large dump cannot be interrupted).
extern "C" void onInterrupt(int signal) {
    stopRequested.store(true);
    std::signal(signal, SIG_DFL);
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed = tessary::cli::parseCommandLine(argc, argv);
    if (!parsed.options)
        return parsed.exitCode;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    return tessary::cli::runCli(*parsed.options, stopRequested);
}
