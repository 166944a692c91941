#include "TessaryCore/AtomicFile.hpp"

#include "TessaryCore/ScanError.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {
namespace {

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
    int fd = -1;
    bool keep = false;
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd >= 0)
            ::close(fd);
        if (!keep && !path.empty())
            ::unlink(path.c_str());
    }
};

// Creates a fresh temporary file beside `path`, so that the rename stays on one file system.
void createBeside(const std::string& path, TempFile& tmp) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = parentFolder(path);
    const std::string base = path.substr(path.rfind('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            fmt::format("{}/.{}.{}-{}.tmp", folder, base, ::getpid(), counter++);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            tmp.path = candidate;
            tmp.fd = fd;
            return;
        }
        if (errno != EEXIST)
            throw writeError(path, errno);
    }
    throw writeError(path, EEXIST);
}

void writeAll(const std::string& path, int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw writeError(path, errno);
        }
        written += static_cast<std::size_t>(n);
    }
}

} // namespace

void AtomicFile::write(const std::string& path, std::string_view bytes) {
    if (path.empty() || path.back() == '/')
        throw writeError(path, EISDIR);
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throw writeError(path, EISDIR);
    TempFile tmp;
    createBeside(path, tmp);
    if (exists && S_ISREG(old.st_mode))
        (void)::fchmod(tmp.fd, old.st_mode & 07777);
    writeAll(path, tmp.fd, bytes);
    if (::fsync(tmp.fd) != 0)
        throw writeError(path, errno);
    const int fd = tmp.fd;
    tmp.fd = -1;
    if (::close(fd) != 0)
        throw writeError(path, errno);
    if (::rename(tmp.path.c_str(), path.c_str()) != 0)
        throw writeError(path, errno);
    tmp.keep = true;
}

} // namespace tessary
