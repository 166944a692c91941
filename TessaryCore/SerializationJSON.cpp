#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/Serialization.hpp"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

std::string Serialization::JSONEncoder::encode(const ExportDTO& data) const {
    const nlohmann::ordered_json doc = data;
    // nlohmann never escapes "/"; control characters become \u escapes, and `replace` turns
    // bytes that are not UTF-8 (a local path on Linux may hold any bytes) into U+FFFD instead of
    // failing the whole export.
    return doc.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

namespace {

void checkArguments(std::int64_t maxDepth, std::int64_t topFilesPerDir) {
    if (topFilesPerDir < 0)
        throw ScanError::message(
            fmt::format("Počet souborů na složku nesmí být záporný ({}).", topFilesPerDir));
    if (maxDepth > Serialization::maxExportDepth)
        throw ScanError::message(fmt::format("Hloubka exportu může být nejvýše {} úrovní ({}).",
                                             Serialization::maxExportDepth, maxDepth));
}

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
        fmt::format("Export do souboru „{}“ se nepodařil: {}", path, std::strerror(err)));
}

// Removes the temporary file unless the rename has taken it over.
struct TempFile {
    std::string path;
    int fd = -1;
    bool keep = false;
    ~TempFile() {
        if (fd >= 0)
            ::close(fd);
        if (!keep && !path.empty())
            ::unlink(path.c_str());
    }
};

} // namespace

std::string Serialization::exportJSON(const ScanResult& result, std::int64_t maxDepth,
                                      std::int64_t topFilesPerDir) {
    checkArguments(maxDepth, topFilesPerDir);
    return jsonEncoder().encode(exportData(result, maxDepth, topFilesPerDir));
}

void Serialization::exportTree(const ScanResult& result, const std::string& path,
                               std::int64_t maxDepth, std::int64_t topFilesPerDir) {
    const std::string bytes = exportJSON(result, maxDepth, topFilesPerDir);
    if (path.empty() || path.back() == '/')
        throw writeError(path, EISDIR);

    // The temporary file sits beside the target so that the rename stays on one file system.
    static std::atomic<unsigned> counter{0};
    const std::string folder = parentFolder(path);
    const std::string base = path.substr(path.rfind('/') + 1);
    TempFile tmp;
    for (int attempt = 0; attempt < 100 && tmp.fd < 0; ++attempt) {
        tmp.path = fmt::format("{}/.{}.{}-{}.tmp", folder, base, ::getpid(), counter++);
        tmp.fd = ::open(tmp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (tmp.fd < 0 && errno != EEXIST) {
            const int err = errno;
            tmp.path.clear();
            throw writeError(path, err);
        }
    }
    if (tmp.fd < 0) {
        tmp.path.clear();
        throw writeError(path, EEXIST);
    }

    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            throw writeError(path, EISDIR);
        if (S_ISREG(old.st_mode))
            (void)::fchmod(tmp.fd, old.st_mode & 07777);
    }

    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(tmp.fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw writeError(path, errno);
        }
        written += static_cast<std::size_t>(n);
    }
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
