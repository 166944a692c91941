#include "TessaryCore/AtomicFile.hpp"

#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/UniqueFd.hpp"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {
namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int maxLinks = 40;

std::string parentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

ScanError writeError(const std::string& path, int err) {
    return ScanError::message(
        fmt::format("Soubor „{}“ se nepodařilo zapsat: {}", path, std::strerror(err)));
}

// Removes the temporary file unless the rename has taken it over.
struct TempFile {
    std::string path;
    UniqueFd file;
    bool keep = false;
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!keep && !path.empty())
            ::unlink(path.c_str());
    }
};

// Creates a fresh temporary file beside `path`, so that the rename stays on one file system.
// `shown` is the path named in an error.
void createBeside(const std::string& path, const std::string& shown, TempFile& tmp) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = parentFolder(path);
    const std::string base = path.substr(path.rfind('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            fmt::format("{}/.{}.{}-{}.tmp", folder, base, ::getpid(), counter++);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            tmp.path = candidate;
            tmp.file.reset(fd);
            return;
        }
        if (errno != EEXIST)
            throw writeError(shown, errno);
    }
    throw writeError(shown, EEXIST);
}

void writeAll(const std::string& shown, int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw writeError(shown, errno);
        }
        written += static_cast<std::size_t>(n);
    }
}

// The path that a chain of symbolic links at `path` finally leads to (which need not exist
// yet: a link to a new file creates that file). `path` itself when it is not a link.
std::string throughLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < maxLinks; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), target, sizeof target);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof target)
            throw writeError(path, n < 0 ? errno : ENAMETOOLONG);
        const std::string link(target, static_cast<std::size_t>(n));
        current = link.starts_with('/') ? link : parentFolder(current) + "/" + link;
    }
    throw writeError(path, ELOOP);
}

// Writes everything `writer` produces to the open descriptor `fd` and closes it.
void writeTo(UniqueFd out, const std::string& shown, const AtomicFile::Writer& writer) {
    writer([&](std::string_view piece) { writeAll(shown, out.get(), piece); });
    if (const int err = out.close(); err != 0)
        throw writeError(shown, err);
}

// A device, FIFO or socket: written in place, as a shell redirection would.
void writeInPlace(const std::string& target, const std::string& shown,
                  const AtomicFile::Writer& writer) {
    UniqueFd out(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    if (!out.valid())
        throw writeError(shown, errno);
    writeTo(std::move(out), shown, writer);
}

// The descriptor that a name of this process's own open descriptors stands for ("/dev/stdout",
// "/dev/fd/3", "/proc/self/fd/3"), or -1 for any other path.
int ownDescriptor(const std::string& path) {
    if (path == "/dev/stdout")
        return STDOUT_FILENO;
    if (path == "/dev/stderr")
        return STDERR_FILENO;
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!path.starts_with(prefix))
            continue;
        const std::string_view digits = std::string_view(path).substr(prefix.size());
        int fd = -1;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
        return ec == std::errc() && end == digits.data() + digits.size() ? fd : -1;
    }
    return -1;
}

// A pipe or socket that the caller handed over as one of the process's descriptors (a shell's
// `| reader` or `>(…)`). Its name under /proc leads nowhere a file could be made, and a socket
// cannot be opened again at all: the descriptor itself is written. False when `path` is no such
// descriptor, or one that leads to a file, which then takes the usual way.
bool writeToOwnPipe(const std::string& path, const AtomicFile::Writer& writer) {
    const int fd = ownDescriptor(path);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return false;
    UniqueFd out(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!out.valid())
        throw writeError(path, errno);
    writeTo(std::move(out), path, writer);
    return true;
}

void replaceRegular(const std::string& target, const std::string& shown, bool exists, mode_t mode,
                    const AtomicFile::Writer& writer) {
    TempFile tmp;
    createBeside(target, shown, tmp);
    if (exists)
        (void)::fchmod(tmp.file.get(), mode & 07777);
    writer([&](std::string_view piece) { writeAll(shown, tmp.file.get(), piece); });
    if (::fsync(tmp.file.get()) != 0)
        throw writeError(shown, errno);
    if (const int err = tmp.file.close(); err != 0)
        throw writeError(shown, err);
    if (::rename(tmp.path.c_str(), target.c_str()) != 0)
        throw writeError(shown, errno);
    tmp.keep = true;
}

} // namespace

void AtomicFile::write(const std::string& path, std::string_view bytes) {
    write(path, [bytes](const Put& put) { put(bytes); });
}

void AtomicFile::write(const std::string& path, const Writer& writer) {
    if (path.empty() || path.back() == '/')
        throw writeError(path, EISDIR);
    if (writeToOwnPipe(path, writer))
        return;
    const std::string target = throughLinks(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throw writeError(path, EISDIR);
    if (exists && !S_ISREG(old.st_mode))
        writeInPlace(target, path, writer);
    else
        replaceRegular(target, path, exists, old.st_mode, writer);
}

} // namespace tessary
