#include "TessaryCore/Brctl.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"

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
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
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

// An owned file descriptor, closed on every way out.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }
    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Starts `args[0]` with `args` as its argument vector, standard input from the null device,
// standard output to `outFd` and standard error to `errFd` (the null device for -1). Every other
// descriptor is closed in the child, whether or not it was opened with O_CLOEXEC, and the
// child's signal mask and dispositions are reset so that SIGTERM reaches it even when this
// process ignores or blocks it. Returns 0 and the child's id, or the errno of the failure.
int spawnChild(const std::vector<std::string>& args, int outFd, int errFd, pid_t& pid) {
    std::vector<std::string> copies(args);
    std::vector<char*> argv;
    argv.reserve(copies.size() + 1);
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (int err = ::posix_spawn_file_actions_init(&actions); err != 0)
        return err;
    posix_spawnattr_t attr;
    if (int err = ::posix_spawnattr_init(&attr); err != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return err;
    }
    int err = 0;
    auto step = [&err](int r) {
        if (err == 0)
            err = r;
    };
    // Both targets are redirected before standard input is replaced, so an `outFd` that happens
    // to be 0 (this process had its standard input closed) is still duplicated correctly.
    if (outFd >= 0)
        step(::posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO));
    else
        step(::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0));
    if (errFd >= 0)
        step(::posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO));
    else
        step(::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0));
    step(::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    step(::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1));

    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    step(::posix_spawnattr_setsigmask(&attr, &none));
    step(::posix_spawnattr_setsigdefault(&attr, &all));
    step(::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));

    if (err == 0)
        err = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
    ::posix_spawnattr_destroy(&attr);
    ::posix_spawn_file_actions_destroy(&actions);
    return err;
}

// A started child process. It is reaped exactly once; the destructor stops and reaps a child
// that is still running, so no way out of a caller leaves it behind.
class Child {
public:
    Child(pid_t pid, const BrctlTiming& timing) : m_pid(pid), m_timing(timing) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (!m_reaped)
            stop();
    }

    // Whether the child still runs; reaps it (without blocking) once it has exited.
    bool running() {
        if (!m_reaped)
            reap(WNOHANG);
        return !m_reaped;
    }

    [[nodiscard]] bool reaped() const { return m_reaped; }

    // SIGTERM, then up to the grace period for it to exit, then SIGKILL; always reaped.
    void stop() {
        if (!running())
            return;
        ::kill(m_pid, SIGTERM);
        const auto deadline = Clock::now() + seconds(m_timing.termGraceSeconds);
        const auto step = std::max(seconds(m_timing.termPollSeconds),
                                   Clock::duration(std::chrono::milliseconds(1)));
        while (running() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::min(step, deadline - Clock::now()));
        if (!running())
            return;
        ::kill(m_pid, SIGKILL);
        reap(0);
    }

    // Exited normally with status 0.
    [[nodiscard]] bool succeeded() const {
        return m_known && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0;
    }

    // The exit status, or the number of the signal that ended the child, or -1 when unknown.
    [[nodiscard]] int code() const {
        if (!m_known)
            return -1;
        if (WIFEXITED(m_status))
            return WEXITSTATUS(m_status);
        if (WIFSIGNALED(m_status))
            return WTERMSIG(m_status);
        return -1;
    }

private:
    void reap(int options) {
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, options);
            if (r == m_pid) {
                m_reaped = true;
                m_known = true;
                m_status = status;
                return;
            }
            if (r == 0)
                return; // still running
            if (errno == EINTR)
                continue;
            // ECHILD: someone else reaped it (or SIGCHLD is ignored); it is gone either way.
            m_reaped = true;
            return;
        }
    }

    pid_t m_pid;
    BrctlTiming m_timing;
    bool m_reaped = false;
    bool m_known = false;
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
                              const BrctlTiming& timing) {
    if (args.empty())
        throw std::invalid_argument("Brctl::runCapture: the argument list is empty");

    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    const UniqueFd readEnd(p[0]);
    UniqueFd writeEnd(p[1]);

    pid_t pid = 0;
    const int err = spawnChild(args, writeEnd.get(), -1, pid);
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
        child.running();
        if (done && child.reaped())
            break;
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        done = reader.waitDone(
                   std::min<Clock::duration>(std::chrono::milliseconds(10), deadline - now)) ||
               done;
    }
    child.stop();
    reader.stop();
    return decodeUTF8(reader.data());
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

std::optional<std::int64_t> Brctl::quota(double timeout, const BrctlTiming& timing) {
    try {
        return parseQuota(runCapture({toolPath(), "quota"}, timeout, timing));
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

    // A file left by an earlier process with the same id must not count as progress.
    ::unlink(partial.path().c_str());

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

    const std::int64_t size = lstatSize(partial.path()).value_or(0);
    const bool accepted =
        child.succeeded() && size >= minimumDumpBytes && dumpComplete(partial.path());
    if (!accepted) {
        const std::string tail = fileTail(logPath, logTailBytes);
        throw ScanError::message("brctl dump selhal nebo je neúplný (kód " +
                                 std::to_string(child.code()) + "). " + tail);
    }

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
    if (!fd.valid())
        return false;
    // Each block is searched with the last bytes of the previous one in front of it, so a
    // marker split by a block boundary is found.
    std::vector<char> buf(blockOverlap + blockBytes);
    std::size_t carried = 0;
    for (;;) {
        const auto got = readFully(fd.get(), buf.data() + carried, blockBytes);
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
