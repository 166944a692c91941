#include "cli/CliOptions.hpp"
#include "cli/CliRun.hpp"
#include "cli/StandardOutput.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};

// The first Ctrl-C asks the scan to stop at its next polling point; a second one ends the
// process at once (a stage may be blocked in a call that cannot be interrupted).
extern "C" void onInterrupt(int signal) {
    stopRequested.store(true);
    std::signal(signal, SIG_DFL);
}

// A standard descriptor that was closed when the process started gets a stand-in, so that no
// file opened later takes its number. Standard output gets one open for reading only: every
// write to it then fails, and the run reports that instead of losing its output.
void guardStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    guardStandardDescriptors();
    const auto parsed = tessary::cli::parseCommandLine(argc, argv);
    if (!parsed.options)
        return parsed.exitCode;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // A reader that went away is a write error with a message, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    int code = tessary::cli::runCli(*parsed.options, stopRequested);
    if (const auto failure = tessary::cli::StandardOutput::close()) {
        if (code == 0) {
            std::fprintf(stderr, "%s\n", failure->c_str());
            code = 1;
        }
    }
    return code;
}
