#include "TessaryCore/Brctl.hpp"

#include "TessaryCore/Bytes.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/UniqueFd.hpp"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tessary {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view progressMessage = "Načítám databázi iCloud Drive (brctl dump)…";
constexpr std::int64_t minimumDumpBytes = 1000;
constexpr std::size_t logTailBytes = 500;
constexpr std::size_t blockBytes = 8 * 1024 * 1024;
constexpr std::size_t blockOverlap = 32;
constexpr std::string_view clientMarker = "client items";
constexpr std::string_view serverMarker = "server items";

// Size of the file at `path` without following a symbolic link, or nothing when it cannot be
// looked at.
std::optional<std::int64_t> lstatSize(const std::string& path) {
    if (const auto st = FS::lstat(path))
        return st->size;
    return std::nullopt;
}

std::string decodeUTF8(std::string_view bytes) {
    // ICU replaces every ill-formed sequence by U+FFFD.
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(
        bytes.data(), static_cast<std::int32_t>(std::min<std::size_t>(
                          bytes.size(), std::numeric_limits<std::int32_t>::max()))));
    std::string out;
    text.toUTF8String(out);
    return out;
}

Clock::duration seconds(double s) {
    // Negative, NaN and absurdly long waits are clamped so the arithmetic cannot overflow.
    if (!(s > 0))
        return Clock::duration::zero();
    s = std::min(s, 365.0 * 24 * 3600);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// What the child needs after the fork, prepared before it: after a fork in a process with
// threads only async-signal-safe calls may be made until the exec.
struct ChildPlan {
    std::vector<std::string> copies;
    std::vector<char*> argv;
    int outFd = -1;
    int errFd = -1;
    int reportFd = -1; // write end of the pipe that carries a failed exec's errno
    pid_t parent = 0;
    int maxFd = 0; // descriptors below this are closed one by one without close_range
};

// Moves `fd` (or the null device for -1) to a descriptor above standard error, so that the
// redirections below cannot overwrite a source they still need. -1 on failure.
int aboveStandard(int fd, int flags) {
    if (fd < 0) {
        const int opened = ::open("/dev/null", flags | O_CLOEXEC);
        if (opened < 0 || opened > STDERR_FILENO)
            return opened;
        fd = opened;
    }
    return ::fcntl(fd, F_DUPFD, STDERR_FILENO + 1);
}

// Closes the descriptors `from` to `to`, with the system call where the kernel has it.
void closeRange(int from, int to, int maxFd) {
    if (from > to)
        return;
    if (::syscall(SYS_close_range, static_cast<unsigned>(from), static_cast<unsigned>(to), 0) == 0)
        return;
    for (int fd = from; fd <= to && fd < maxFd; ++fd)
        ::close(fd);
}

[[noreturn]] void failInChild(int reportFd) {
    const int err = errno;
    [[maybe_unused]] const ssize_t n = ::write(reportFd, &err, sizeof err);
    ::_exit(127);
}

// The child's side of the fork: its own process group (so that a terminal's Ctrl-C reaches
// only this process, which then stops the whole group), death with its parent on Linux,
// standard descriptors, nothing else inherited, default signals, then the exec.
[[noreturn]] void execInChild(const ChildPlan& plan) {
    ::setpgid(0, 0);
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != plan.parent) // the parent died before the request was made
        ::_exit(127);
#endif
    const int out = aboveStandard(plan.outFd, O_WRONLY);
    const int err = aboveStandard(plan.errFd, O_WRONLY);
    const int in = aboveStandard(-1, O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
        ::dup2(err, STDERR_FILENO) < 0 || ::dup2(in, STDIN_FILENO) < 0)
        failInChild(plan.reportFd);
    // Every other descriptor goes, whether or not it was opened with O_CLOEXEC; the report
    // pipe has O_CLOEXEC and is kept until the exec.
    closeRange(STDERR_FILENO + 1, plan.reportFd - 1, plan.maxFd);
    closeRange(plan.reportFd + 1, std::numeric_limits<int>::max(), plan.maxFd);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(plan.argv[0], plan.argv.data(), environ);
    failInChild(plan.reportFd);
}

// Starts `args[0]` with `args` as its argument vector, standard input from the null device,
// standard output to `outFd` and standard error to `errFd` (the null device for -1), in a
// process group of its own (see execInChild). Returns 0 and the child's id, or the errno of
// the failure (a failed exec included: the child then reports it and is reaped here).
int spawnChild(const std::vector<std::string>& args, int outFd, int errFd, pid_t& pid) {
    ChildPlan plan{.copies = args,
                   .argv = {},
                   .outFd = outFd,
                   .errFd = errFd,
                   .reportFd = -1,
                   .parent = ::getpid(),
                   .maxFd = 0};
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    plan.maxFd = openMax > 0 && openMax < 1 << 20 ? static_cast<int>(openMax) : 1 << 20;
    for (std::string& a : plan.copies)
        plan.argv.push_back(a.data());
    plan.argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    const UniqueFd reportRead(report[0]);
    UniqueFd reportWrite(report[1]);
    plan.reportFd = reportWrite.get();

    // No handler of this process may run in the child before its signals are reset.
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t child = ::fork();
    if (child == 0)
        execInChild(plan);
    const int forkErr = child < 0 ? errno : 0;
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (child < 0)
        return forkErr;
    // Set here too, so the group exists before the parent signals it, whoever runs first.
    ::setpgid(child, child);
    reportWrite.reset();

    int execErr = 0;
    ssize_t n = 0;
    do
        n = ::read(reportRead.get(), &execErr, sizeof execErr);
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof execErr)) {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        return execErr != 0 ? execErr : ECHILD;
    }
    pid = child;
    return 0;
}

// A started child process, leader of its own process group. It is reaped exactly once; the
// destructor stops and reaps a child that is still running, so no way out of a caller leaves it
// behind. Signals go to the whole group, so a script's own children stop with it; the group is
// signalled only while the leader is not yet reaped, when its id cannot belong to anyone else.
class Child {
public:
    Child(pid_t pid, const BrctlTiming& timing) : m_pid(pid), m_timing(timing) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // Whether the child still runs. An exited child is left unreaped until `stop()`.
    bool running() {
        if (!m_exited)
            look(WNOHANG);
        return !m_exited;
    }

    // SIGTERM to the group, then up to the grace period for the leader to exit, then SIGKILL;
    // whatever else of the group is still left is killed too. Always reaped afterwards.
    void stop() {
        if (m_reaped)
            return;
        if (running()) {
            signalGroup(SIGTERM);
            const auto deadline = Clock::now() + seconds(m_timing.termGraceSeconds);
            const auto step = std::max(seconds(m_timing.termPollSeconds),
                                       Clock::duration(std::chrono::milliseconds(1)));
            while (running() && Clock::now() < deadline)
                std::this_thread::sleep_for(std::min(step, deadline - Clock::now()));
        }
        signalGroup(SIGKILL);
        if (!m_exited)
            look(0);
        reap();
    }

    // Exited normally with status 0.
    [[nodiscard]] bool succeeded() const { return m_known && m_exitedNormally && m_status == 0; }

    // The exit status, or the number of the signal that ended the child, or -1 when unknown.
    [[nodiscard]] int code() const { return m_known ? m_status : -1; }

    // The exit status when the child exited by itself; none after a signal or when unknown.
    [[nodiscard]] std::optional<int> exitStatus() const {
        return m_known && m_exitedNormally ? std::optional<int>(m_status) : std::nullopt;
    }

private:
    void signalGroup(int sig) const {
        if (!m_reaped && !m_gone)
            ::kill(-m_pid, sig);
    }

    // Notes whether the child has exited, without reaping it (WNOWAIT keeps its id taken).
    void look(int options) {
        for (;;) {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT | options) ==
                0) {
                if (info.si_pid != m_pid)
                    return; // still running
                m_exited = true;
                m_known = true;
                m_exitedNormally = info.si_code == CLD_EXITED;
                m_status = info.si_status;
                return;
            }
            if (errno == EINTR)
                continue;
            // ECHILD: someone else reaped it (or SIGCHLD is ignored); it is gone either way,
            // and its id may already be another's.
            m_exited = true;
            m_gone = true;
            return;
        }
    }

    void reap() {
        if (!m_gone)
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        m_reaped = true;
    }

    pid_t m_pid;
    BrctlTiming m_timing;
    bool m_exited = false;
    bool m_reaped = false;
    bool m_gone = false;
    bool m_known = false;
    bool m_exitedNormally = false;
    int m_status = 0;
};

// Drains a pipe on its own thread so that a child writing much output never blocks on a full
// pipe while the caller waits. `stop()` makes the thread take what is already buffered and end,
// even when the write end is still open somewhere (a grandchild of the tool, for instance).
class PipeReader {
public:
    explicit PipeReader(int fd) : m_fd(fd) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe2");
        m_stopRead.reset(p[0]);
        m_stopWrite.reset(p[1]);
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
        m_thread = std::thread([this] { run(); });
        // Thread names are at most 15 characters on Linux; this one fits.
        ::pthread_setname_np(m_thread.native_handle(), "brctl-read");
    }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;
    ~PipeReader() { stop(); }

    // Waits at most `d` for the end of the output; true when it was reached.
    bool waitDone(Clock::duration d) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, d, [this] { return m_done; });
    }

    void stop() {
        if (!m_thread.joinable())
            return;
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_stopWrite.get(), &c, 1);
        m_thread.join();
    }

    // Everything read; call after `stop()`.
    [[nodiscard]] const std::string& data() const { return m_data; }

private:
    // Reads what is available right now; false at the end of the output or on an error.
    bool readAvailable() {
        std::array<char, 65536> buf{};
        for (;;) {
            const ssize_t n = ::read(m_fd, buf.data(), buf.size());
            if (n > 0) {
                m_data.append(buf.data(), static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }

    void run() {
        std::array<pollfd, 2> fds{pollfd{m_fd, POLLIN, 0}, pollfd{m_stopRead.get(), POLLIN, 0}};
        for (;;) {
            const int r = ::poll(fds.data(), fds.size(), -1);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds[1].revents != 0) {
                // A last bounded helping, so a writer that never stops cannot keep us here.
                for (int i = 0; i < 16 && readAvailable(); ++i) {
                    pollfd one{m_fd, POLLIN, 0};
                    if (::poll(&one, 1, 0) <= 0)
                        break;
                }
                break;
            }
            if (fds[0].revents != 0 && !readAvailable())
                break;
        }
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_cv.notify_all();
    }

    int m_fd;
    UniqueFd m_stopRead;
    UniqueFd m_stopWrite;
    std::string m_data;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};

// The exclusive lock on the dump lock file, released (unlock, then close) on every way out.
class DumpLock {
public:
    explicit DumpLock(int fd) : m_fd(fd) {}
    DumpLock(const DumpLock&) = delete;
    DumpLock& operator=(const DumpLock&) = delete;
    ~DumpLock() {
        if (m_locked)
            ::flock(m_fd.get(), LOCK_UN);
    }

    // 0 when the lock was taken, else the errno of flock (EWOULDBLOCK: held elsewhere).
    int tryLock() {
        for (;;) {
            if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0) {
                m_locked = true;
                return 0;
            }
            if (errno != EINTR)
                return errno;
        }
    }

private:
    UniqueFd m_fd;
    bool m_locked = false;
};

// Deletes the partial dump on every way out unless it was moved into place.
class PartialDump {
public:
    explicit PartialDump(std::string path) : m_path(std::move(path)) {}
    PartialDump(const PartialDump&) = delete;
    PartialDump& operator=(const PartialDump&) = delete;
    ~PartialDump() {
        if (m_owned)
            ::unlink(m_path.c_str());
    }
    [[nodiscard]] const std::string& path() const { return m_path; }
    void release() { m_owned = false; }

private:
    std::string m_path;
    bool m_owned = true;
};

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads up to `want` bytes at the current offset; fewer only at the end of the file.
// Nothing on a read error.
std::optional<std::size_t> readFully(int fd, char* into, std::size_t want) {
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, into + got, want - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// The last `count` bytes of the file, decoded; empty when it cannot be read.
std::string fileTail(const std::string& path, std::size_t count) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return {};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return {};
    const auto size = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0));
    const std::size_t from = size > count ? size - count : 0;
    if (::lseek(fd.get(), static_cast<off_t>(from), SEEK_SET) < 0)
        return {};
    std::string buf(count, '\0');
    const auto got = readFully(fd.get(), buf.data(), count);
    if (!got)
        return {};
    buf.resize(*got);
    return decodeUTF8(buf);
}

// Whether "client items" occurs from the current offset of `fd` on. Each 8 MiB block is
// searched with the last bytes of the previous one in front of it, so a marker split by a
// block boundary is found.
bool markerFollows(int fd) {
    std::vector<char> buf(blockOverlap + blockBytes);
    std::size_t carried = 0;
    for (;;) {
        const auto got = readFully(fd, buf.data() + carried, blockBytes);
        if (!got || *got == 0)
            return false;
        const std::size_t filled = carried + *got;
        if (::memmem(buf.data(), filled, clientMarker.data(), clientMarker.size()) != nullptr)
            return true;
        if (*got < blockBytes)
            return false;
        const std::size_t keep = std::min(blockOverlap, filled);
        std::memmove(buf.data(), buf.data() + filled - keep, keep);
        carried = keep;
    }
}

// The offset just after the first line that is the server section header (as the parser
// recognises it), or nothing. Only the first bytes of each line are kept across blocks: they
// are all that decides whether a line is the header.
std::optional<std::int64_t> serverHeaderEnd(int fd) {
    constexpr std::size_t prefixBytes = 64;
    std::vector<char> buf(blockBytes);
    std::string prefix; // the start of a line that began in an earlier block
    bool carrying = false;
    std::int64_t base = 0;
    for (;;) {
        const auto got = readFully(fd, buf.data(), blockBytes);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            return carrying && Bytes::sectionHeader(prefix, serverMarker)
                       ? std::optional<std::int64_t>(base)
                       : std::nullopt;
        const char* p = buf.data();
        const char* const end = p + *got;
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
            const char* stop = lf != nullptr ? lf : end;
            if (!carrying)
                prefix.clear();
            const std::size_t room = prefixBytes - std::min(prefixBytes, prefix.size());
            prefix.append(p, std::min(static_cast<std::size_t>(stop - p), room));
            if (lf == nullptr) {
                carrying = true;
                break;
            }
            carrying = false;
            if (Bytes::sectionHeader(prefix, serverMarker))
                return base + (lf - buf.data()) + 1;
            p = lf + 1;
        }
        base += static_cast<std::int64_t>(*got);
    }
}

// Deletes the partial dumps ("dump-v.<pid>.part") in `cacheDir` whose process no longer
// exists. Called under the dump lock, so no running dump of this cache loses its file.
void removeAbandonedPartials(const std::string& cacheDir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(cacheDir, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("dump-v.") || !name.ends_with(".part"))
            continue;
        const std::string digits = name.substr(7, name.size() - 7 - 5);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const auto pid = static_cast<pid_t>(std::stol(digits));
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            ::unlink(entry.path().c_str());
    }
}

// "last_dump_bytes" as an integer: JSON integers, and numbers without a fraction that fit.
std::int64_t previousDumpBytes(const nlohmann::ordered_json& meta) {
    const auto it = meta.find("last_dump_bytes");
    if (it == meta.end())
        return 0;
    if (it->is_number_unsigned()) {
        const auto v = it->get<std::uint64_t>();
        return v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? 0
                   : static_cast<std::int64_t>(v);
    }
    if (it->is_number_integer())
        return it->get<std::int64_t>();
    if (it->is_number_float()) {
        const double d = it->get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18)
            return static_cast<std::int64_t>(d);
    }
    return 0;
}

std::string readWholeFile(const std::string& path, bool& ok) {
    ok = false;
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return {};
    std::string out;
    std::array<char, 65536> buf{};
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        if (n == 0)
            break;
        out.append(buf.data(), static_cast<std::size_t>(n));
    }
    ok = true;
    return out;
}

} // namespace

std::string Brctl::toolPath() {
    const char* path = std::getenv("TESSARY_BRCTL");
    if (path != nullptr && *path != '\0')
        return path;
    return "/usr/bin/brctl";
}

std::string Brctl::runCapture(const std::vector<std::string>& args, double timeout,
                              const BrctlTiming& timing, const CancelCallback& cancel) {
    return run(args, timeout, false, timing, cancel).output;
}

Brctl::Finished Brctl::run(const std::vector<std::string>& args, double timeout, bool withErrors,
                           const BrctlTiming& timing, const CancelCallback& cancel) {
    if (args.empty())
        throw std::invalid_argument("Brctl::run: the argument list is empty");

    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    const UniqueFd readEnd(p[0]);
    UniqueFd writeEnd(p[1]);

    pid_t pid = 0;
    const int err = spawnChild(args, writeEnd.get(), withErrors ? writeEnd.get() : -1, pid);
    // Only the child may hold the write end, or the reader would never see the end of output.
    writeEnd.reset();
    if (err != 0)
        throw std::system_error(err, std::generic_category(), args[0]);

    Child child(pid, timing);
    PipeReader reader(readEnd.get());

    // The time limit covers both the end of the output and the exit, so a tool that closes its
    // output and then hangs is stopped as well.
    const auto deadline = Clock::now() + seconds(timeout);
    bool done = false;
    for (;;) {
        if (done && !child.running())
            break;
        const auto now = Clock::now();
        if (now >= deadline || cancelRequested(cancel))
            break;
        done = reader.waitDone(
                   std::min<Clock::duration>(std::chrono::milliseconds(10), deadline - now)) ||
               done;
    }
    // A child still running here ran out of time or was cancelled: its status says nothing.
    const bool ended = !child.running();
    child.stop();
    reader.stop();
    return {decodeUTF8(reader.data()), ended ? child.exitStatus() : std::nullopt};
}

std::optional<std::int64_t> Brctl::parseQuota(std::string_view output) {
    UErrorCode status = U_ZERO_ERROR;
    static const icu::UnicodeString pattern =
        icu::UnicodeString::fromUTF8("(\\d+) bytes of quota remaining");
    icu::RegexMatcher matcher(pattern, 0, status);
    if (U_FAILURE(status))
        return std::nullopt;
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(
        output.data(), static_cast<std::int32_t>(std::min<std::size_t>(
                           output.size(), std::numeric_limits<std::int32_t>::max()))));
    matcher.reset(text);
    if (!matcher.find(status) || U_FAILURE(status))
        return std::nullopt;
    const icu::UnicodeString digits = matcher.group(1, status);
    if (U_FAILURE(status) || digits.isEmpty())
        return std::nullopt;
    // Only ASCII digits make a number; other decimal digits match "\d" but are not converted.
    std::int64_t value = 0;
    for (std::int32_t i = 0; i < digits.length(); ++i) {
        const char16_t c = digits.charAt(i);
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int d = c - u'0';
        if (value > (std::numeric_limits<std::int64_t>::max() - d) / 10)
            return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

std::optional<std::int64_t> Brctl::quota(double timeout, const BrctlTiming& timing,
                                         const CancelCallback& cancel) {
    try {
        return parseQuota(runCapture({toolPath(), "quota"}, timeout, timing, cancel));
    } catch (...) {
        return std::nullopt;
    }
}

std::string Brctl::runDump(const std::optional<std::string>& outPath,
                           const ProgressCallback& progress, const CancelCallback& cancel,
                           const ScanEnvironment& env, const BrctlTiming& timing) {
    const std::string target = outPath.value_or(env.dumpFile);
    {
        std::error_code ec;
        std::filesystem::create_directories(env.cacheDir, ec);
    }

    const int lockFd = ::open(env.lockFile.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0)
        throw ScanError::message("Nelze vytvořit zámek v " + env.cacheDir + ".");
    DumpLock lock(lockFd);
    if (const int err = lock.tryLock(); err != 0) {
        if (err == EWOULDBLOCK)
            throw ScanError::message(
                "Jiná instance Varnelo právě načítá databázi – počkejte, až skončí.");
        // Locking is not possible here at all (e.g. ENOLCK): not another instance's fault.
        throw ScanError::message("Nelze vytvořit zámek v " + env.cacheDir + ".");
    }

    const std::string pid = std::to_string(::getpid());
    PartialDump partial(FS::join(env.cacheDir, "dump-v." + pid + ".part"));
    const std::string logPath = FS::join(env.cacheDir, "brctl-dump.log");
    nlohmann::ordered_json meta = loadMeta(env);
    const std::int64_t previous = previousDumpBytes(meta);
    const auto start = Clock::now();

    const std::string tool = toolPath();
    if (!FS::exists(tool))
        throw ScanError::message("Nástroj brctl nebyl nalezen (je součástí macOS).");

    // A file left by an earlier process with the same id must not count as progress, and
    // partial dumps of processes that no longer exist (killed outright) are nobody's.
    ::unlink(partial.path().c_str());
    removeAbandonedPartials(env.cacheDir);

    pid_t childPid = 0;
    int err = 0;
    {
        const UniqueFd log(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        err =
            spawnChild({tool, "dump", "-v", "-o", partial.path()}, log.get(), log.get(), childPid);
    }
    if (err != 0)
        throw ScanError::message("Nástroj brctl se nepodařilo spustit: " +
                                 std::string(std::strerror(err)));
    Child child(childPid, timing);

    std::int64_t lastReported = -1;
    for (;;) {
        const bool running = child.running();
        const std::int64_t size = lstatSize(partial.path()).value_or(0);
        if (size != lastReported || !running) {
            if (progress)
                progress("dump", size, std::max(size, previous), progressMessage);
            lastReported = size;
        }
        if (!running)
            break;
        if (cancelRequested(cancel)) {
            child.stop();
            throw ScanError::cancelled();
        }
        std::this_thread::sleep_for(seconds(timing.pollSeconds));
    }
    // Once a stop was asked for, the run is cancelled whatever the tool did meanwhile: a
    // terminal's Ctrl-C may have ended it before the poll saw the request.
    child.stop();
    if (cancelRequested(cancel))
        throw ScanError::cancelled();

    const std::int64_t size = lstatSize(partial.path()).value_or(0);
    const DumpShape shape = size >= minimumDumpBytes && child.succeeded()
                                ? dumpShape(partial.path())
                                : DumpShape::incomplete;
    if (shape == DumpShape::incomplete) {
        const std::string tail = fileTail(logPath, logTailBytes);
        throw ScanError::message("brctl dump selhal nebo je neúplný (kód " +
                                 std::to_string(child.code()) + "). " + tail);
    }
    if (shape == DumpShape::notADump)
        throw ScanError::message("Výstup nástroje brctl není výpis databáze (chybí v něm sekce "
                                 "'server items' před sekcí 'client items'). Uložený výpis "
                                 "zůstal beze změny.");

    if (::rename(partial.path().c_str(), target.c_str()) != 0)
        throw ScanError::message("Výpis nelze uložit do " + target + ".");
    partial.release();

    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    meta["last_dump_bytes"] = lstatSize(target).value_or(size);
    meta["last_dump_seconds"] = std::round(elapsed * 10.0) / 10.0;
    meta["last_dump_time"] = now;
    saveMeta(meta, env);
    return target;
}

bool Brctl::dumpComplete(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && markerFollows(fd.get());
}

DumpShape Brctl::dumpShape(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return DumpShape::incomplete;
    const std::optional<std::int64_t> server = serverHeaderEnd(fd.get());
    // The client marker after the server header: a dump. Only elsewhere: not a dump.
    if (server && ::lseek(fd.get(), static_cast<off_t>(*server), SEEK_SET) >= 0 &&
        markerFollows(fd.get()))
        return DumpShape::complete;
    if (::lseek(fd.get(), 0, SEEK_SET) < 0)
        return DumpShape::incomplete;
    return markerFollows(fd.get()) ? DumpShape::notADump : DumpShape::incomplete;
}

nlohmann::ordered_json Brctl::loadMeta(const ScanEnvironment& env) {
    try {
        bool ok = false;
        const std::string text = readWholeFile(env.metaFile, ok);
        if (ok) {
            nlohmann::ordered_json j = nlohmann::ordered_json::parse(text, nullptr, false);
            if (j.is_object())
                return j;
        }
    } catch (...) {
        // Degrades to an empty object like every other unreadable metadata file.
    }
    return nlohmann::ordered_json::object();
}

void Brctl::saveMeta(const nlohmann::ordered_json& meta, const ScanEnvironment& env) {
    try {
        const std::string text = meta.dump();
        std::error_code ec;
        std::filesystem::create_directories(env.cacheDir, ec);
        const std::string tmp = env.metaFile + "." + std::to_string(::getpid()) + ".tmp";
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        bool ok = writeAll(fd, text);
        ok = (::close(fd) == 0) && ok;
        // A half-written file must never replace a good one.
        if (!ok || ::rename(tmp.c_str(), env.metaFile.c_str()) != 0)
            ::unlink(tmp.c_str());
    } catch (...) {
        // Not serialisable (invalid UTF-8 in a string) or out of memory: nothing is written.
    }
}

} // namespace tessary
