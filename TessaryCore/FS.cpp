#include "TessaryCore/FS.hpp"

#include "TessaryCore/IOPolicy.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef __APPLE__
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <fmt/format.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <thread>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace tessary {

namespace {

// A std::string may hold NUL bytes that the C calls would silently cut the path at.
bool hasNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

#ifndef __APPLE__
constexpr const char* datalessAttr = "user.tessary.dataless";
constexpr const char* busyAttr = "user.tessary.busy";
// A slow folder never blocks longer than this, whatever its mark says.
constexpr double busyCap = 1e6;

// Blocks for the seconds written in a busy mark read through `read` (fgetxattr or getxattr).
template <typename Read> void blockWhileBusy(Read read) {
    char text[64];
    const ssize_t n = read(text, sizeof text);
    if (n <= 0)
        return;
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text, text + n, seconds);
    (void)end;
    if (ec != std::errc() || !std::isfinite(seconds) || seconds <= 0)
        return;
    std::this_thread::sleep_for(std::chrono::duration<double>(std::min(seconds, busyCap)));
}

struct DirMarks {
    bool dataless = false;
    bool busy = false;
};

// One flistxattr answers both questions for an open folder; almost always the list is empty.
DirMarks dirMarks(int fd) {
    DirMarks marks;
    char small[512];
    std::unique_ptr<char[]> large;
    char* names = small;
    ssize_t n = ::flistxattr(fd, small, sizeof small);
    if (n < 0 && errno == ERANGE) {
        const ssize_t needed = ::flistxattr(fd, nullptr, 0);
        if (needed > 0) {
            large = std::make_unique<char[]>(static_cast<std::size_t>(needed));
            names = large.get();
            n = ::flistxattr(fd, names, static_cast<std::size_t>(needed));
        }
    }
    if (n <= 0)
        return marks;
    const std::string_view all(names, static_cast<std::size_t>(n));
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find('\0', pos);
        if (end == std::string_view::npos)
            end = all.size();
        const std::string_view name = all.substr(pos, end - pos);
        if (name == datalessAttr)
            marks.dataless = true;
        else if (name == busyAttr)
            marks.busy = true;
        pos = end + 1;
    }
    return marks;
}
#endif

enum class DatalessFolder {
    // Listing: refused unless this thread materializes, which then clears the mark.
    listOrRefuse,
    // Package walk: a cloud-only folder holds nothing local and is never downloaded.
    refuse,
};

// opendir plus what a cloud-backed folder does to it. On failure returns null and sets `err`.
DirHandle openFolder(const std::string& path, DatalessFolder dataless, int& err) {
    if (hasNul(path)) {
        err = EINVAL;
        return nullptr;
    }
    DirHandle dir(::opendir(path.c_str()));
    if (!dir) {
        err = errno;
        return nullptr;
    }
#ifdef __APPLE__
    (void)dataless;
#else
    const int fd = ::dirfd(dir.get());
    const DirMarks marks = dirMarks(fd);
    if (marks.busy)
        blockWhileBusy(
            [fd](char* buf, std::size_t size) { return ::fgetxattr(fd, busyAttr, buf, size); });
    if (marks.dataless) {
        if (dataless == DatalessFolder::refuse || !IOPolicy::materializesOnThisThread()) {
            err = EDEADLK;
            return nullptr;
        }
        // Materialized now. Failing to drop the mark (someone else's folder) leaves it
        // cloud-only for the next look, which is what the system would report too.
        (void)::fremovexattr(fd, datalessAttr);
    }
#endif
    return dir;
}

#ifdef __APPLE__
StatInfo fromStat(const struct stat& st) {
    StatInfo info;
    info.mode = static_cast<std::uint16_t>(st.st_mode);
    info.size = static_cast<std::int64_t>(st.st_size);
    info.blocks = static_cast<std::int64_t>(st.st_blocks);
    info.dev = static_cast<std::uint64_t>(st.st_dev);
    info.ino = static_cast<std::uint64_t>(st.st_ino);
    info.flags = static_cast<std::uint32_t>(st.st_flags);
    info.mtime = static_cast<std::int64_t>(st.st_mtimespec.tv_sec);
    info.birth = static_cast<std::int64_t>(st.st_birthtimespec.tv_sec) * 1'000'000'000 +
                 st.st_birthtimespec.tv_nsec;
    return info;
}

// lstat of `name` relative to the open folder `fd` (AT_FDCWD for a path); 0 or the errno.
int statEntry(int fd, const char* name, StatInfo& out) {
    struct stat st;
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    out = fromStat(st);
    return 0;
}
#else
// statx rather than lstat: it costs the same and also tells the birth time.
constexpr unsigned statxMask = STATX_BASIC_STATS | STATX_BTIME;

std::int64_t nanoseconds(const struct statx_timestamp& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

StatInfo fromStatx(const struct statx& st) {
    StatInfo info;
    info.mode = static_cast<std::uint16_t>(st.stx_mode);
    info.size = static_cast<std::int64_t>(st.stx_size);
    info.blocks = static_cast<std::int64_t>(st.stx_blocks);
    info.dev = static_cast<std::uint64_t>(makedev(st.stx_dev_major, st.stx_dev_minor));
    info.ino = static_cast<std::uint64_t>(st.stx_ino);
    info.mtime = static_cast<std::int64_t>(st.stx_mtime.tv_sec);
    info.birth = nanoseconds((st.stx_mask & STATX_BTIME) != 0 ? st.stx_btime : st.stx_ctime);
    return info;
}

// lstat of `name` relative to the open folder `fd` (AT_FDCWD for a path); 0 or the errno.
int statEntry(int fd, const char* name, StatInfo& out) {
    struct statx st;
    if (::statx(fd, name, AT_SYMLINK_NOFOLLOW, statxMask, &st) != 0)
        return errno;
    out = fromStatx(st);
    return 0;
}
#endif

// Only a folder or a file without blocks can be a placeholder; the mark of anything else is not
// worth a system call.
bool mayBePlaceholder(const StatInfo& info) {
    return info.isDir() || (info.isReg() && info.blocks == 0);
}

// lstat into `out`; returns 0 or the errno of the failure.
int lstatInto(const std::string& path, StatInfo& out) {
    if (hasNul(path))
        return EINVAL;
    if (const int err = statEntry(AT_FDCWD, path.c_str(), out); err != 0)
        return err;
#ifndef __APPLE__
    if (mayBePlaceholder(out) && ::lgetxattr(path.c_str(), datalessAttr, nullptr, 0) >= 0)
        out.flags |= SF_DATALESS;
#endif
    return 0;
}

} // namespace

std::string FS::join(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.back() == '/')
        a.remove_suffix(1);
    while (!b.empty() && b.front() == '/')
        b.remove_prefix(1);
    while (b.size() > 1 && b.back() == '/')
        b.remove_suffix(1);
    if (a.empty())
        return std::string(b);
    if (b.empty())
        return std::string(a);
    std::string out;
    out.reserve(a.size() + 1 + b.size());
    out += a;
    if (a.back() != '/')
        out += '/';
    out += b;
    return out;
}

std::optional<StatInfo> FS::lstat(const std::string& path) {
    StatInfo info;
    if (lstatInto(path, info) != 0)
        return std::nullopt;
    return info;
}

StatInfo FS::lstatThrowing(const std::string& path) {
    StatInfo info;
    if (const int err = lstatInto(path, info); err != 0)
        throw FSError(err, path);
    return info;
}

std::optional<StatInfo> FS::lstatAt(int folder, const std::string& name) {
    StatInfo info;
    if (hasNul(name)) {
        errno = EINVAL;
        return std::nullopt;
    }
    if (const int err = statEntry(folder, name.c_str(), info); err != 0) {
        errno = err;
        return std::nullopt;
    }
    return info;
}

bool FS::exists(const std::string& path) {
    // Existence needs no flags, so no attribute is read.
    struct stat st;
    return !hasNul(path) && ::lstat(path.c_str(), &st) == 0;
}

std::optional<std::string> FS::realpath(const std::string& path) {
    if (hasNul(path))
        return std::nullopt;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool FS::isDirectory(const std::string& path) {
    struct stat st;
    return !hasNul(path) && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FS::isInsideHome(std::string_view path, std::string_view home) {
    while (home.size() > 1 && home.back() == '/')
        home.remove_suffix(1);
    if (home.empty())
        return false;
    if (home == "/")
        return !path.empty() && path.front() == '/';
    // path + "/" begins with home + "/", without building either string.
    if (!path.starts_with(home))
        return false;
    return path.size() == home.size() || path[home.size()] == '/';
}

std::pair<std::optional<StatInfo>, std::string> FS::lstatDir(const std::string& path,
                                                             const std::string& home) {
    const std::optional<StatInfo> own = lstat(path);
    if (!own)
        return {std::nullopt, path};
    if (!own->isLink())
        return {own, path};
    std::optional<std::string> target = realpath(path);
    if (!target || !isInsideHome(*target, home))
        return {std::nullopt, path};
    const std::optional<StatInfo> resolved = lstat(*target);
    if (!resolved || !resolved->isDir())
        return {std::nullopt, path};
    return {resolved, std::move(*target)};
}

namespace {

// Reads the open folder `dir` to its end (or until more than `limit` names were taken), handing
// each name other than "." and ".." to `take`, which returns how many names are now held.
template <typename Take>
void readNames(DIR* dir, const std::string& path, std::int64_t limit, Take take) {
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            // A read error must not pass for the end of the folder: the names would look
            // complete when they are not.
            if (errno != 0)
                throw FSError(errno, path);
            return;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        if (take(name) > limit)
            return;
    }
}

#ifndef __APPLE__
// getxattrat (Linux 6.13): reads an attribute of `name` relative to an open folder, so the path is
// not looked up again component by component for every entry.
struct XattrArgs {
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};
constexpr long getxattratCall = 464;
std::atomic<bool> getxattratMissing{false};

// Whether `name` in the open folder `fd` (whose path is `dirPath`) carries the attribute `attr`,
// without following a link. Falls back to the whole path on kernels without getxattrat.
bool hasMarkAt(int fd, const std::string& dirPath, const char* name, const char* attr) {
    if (!getxattratMissing.load(std::memory_order_relaxed)) {
        XattrArgs args{0, 0, 0};
        const long n =
            ::syscall(getxattratCall, fd, name, AT_SYMLINK_NOFOLLOW, attr, &args, sizeof args);
        if (n >= 0)
            return true;
        if (errno != ENOSYS)
            return false;
        getxattratMissing.store(true, std::memory_order_relaxed);
    }
    const std::string full = FS::join(dirPath, name);
    return ::lgetxattr(full.c_str(), attr, nullptr, 0) >= 0;
}
#endif

// lstat of `name` in the open folder `fd` (whose path is `dirPath`).
std::optional<StatInfo> statAt(int fd, const std::string& dirPath, const char* name) {
    StatInfo info;
    if (statEntry(fd, name, info) != 0)
        return std::nullopt;
#ifndef __APPLE__
    // Only the entries that can be placeholders at all have their mark read.
    if (mayBePlaceholder(info) && hasMarkAt(fd, dirPath, name, datalessAttr))
        info.flags |= SF_DATALESS;
#else
    (void)dirPath;
#endif
    return info;
}

} // namespace

std::vector<std::string> FS::listNames(const std::string& path, std::int64_t limit) {
    int err = 0;
    const DirHandle dir = openFolder(path, DatalessFolder::listOrRefuse, err);
    if (!dir)
        throw FSError(err, path);
    std::vector<std::string> names;
    readNames(dir.get(), path, limit, [&names](const char* name) {
        names.emplace_back(name);
        return static_cast<std::int64_t>(names.size());
    });
    return names;
}

std::vector<FS::Entry> FS::listStats(const std::string& path, std::int64_t limit) {
    int err = 0;
    const DirHandle dir = openFolder(path, DatalessFolder::listOrRefuse, err);
    if (!dir)
        throw FSError(err, path);
    const int fd = ::dirfd(dir.get());
    std::vector<Entry> entries;
    readNames(dir.get(), path, limit, [&](const char* name) {
        entries.push_back(Entry{name, statAt(fd, path, name)});
        return static_cast<std::int64_t>(entries.size());
    });
    return entries;
}

std::int64_t FS::packageAlloc(const std::string& path, std::int64_t limit) {
#ifndef __APPLE__
    // A package inside a folder that is being synchronised waits for that folder first.
    if (!hasNul(path)) {
        std::string_view own = path;
        while (own.size() > 1 && own.back() == '/')
            own.remove_suffix(1);
        const std::size_t slash = own.find_last_of('/');
        const std::string parent(own.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
        if (!parent.empty())
            blockWhileBusy([&parent](char* buf, std::size_t size) {
                return ::getxattr(parent.c_str(), busyAttr, buf, size);
            });
    }
#endif
    std::int64_t sum = 0;
    std::int64_t entries = 0;
    std::vector<std::string> stack{path};
    while (!stack.empty()) {
        const std::string dirPath = std::move(stack.back());
        stack.pop_back();
        if (entries >= limit)
            break;
#ifdef __APPLE__
        if (const std::optional<StatInfo> own = lstat(dirPath); !own || own->isDataless())
            continue;
#endif
        // Off macOS the folder's own dataless mark is read when it is opened.
        int err = 0;
        const DirHandle dir = openFolder(dirPath, DatalessFolder::refuse, err);
        if (!dir)
            continue;
        const int fd = ::dirfd(dir.get());
        while (const dirent* entry = ::readdir(dir.get())) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            ++entries;
            // The entry's type spares a stat: folders are looked at when they are opened,
            // links and devices add nothing. Only files (and unknown types) need their blocks.
            const unsigned char type = entry->d_type;
            if (type == DT_DIR) {
                stack.push_back(join(dirPath, name));
                continue;
            }
            if (type != DT_REG && type != DT_UNKNOWN)
                continue;
            struct stat st;
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                stack.push_back(join(dirPath, name));
            } else if (S_ISREG(st.st_mode)) {
#ifdef __APPLE__
                if ((st.st_flags & SF_DATALESS) != 0)
                    continue;
#endif
                // Off macOS a placeholder has no blocks, so its mark need not be read: it adds
                // nothing either way.
                sum += static_cast<std::int64_t>(st.st_blocks) * 512;
            }
        }
    }
    return sum;
}

#ifndef __APPLE__

void FS::markDataless(const std::string& path) {
    if (hasNul(path))
        throw FSError(EINVAL, path);
    if (::lsetxattr(path.c_str(), datalessAttr, "1", 1, 0) != 0)
        throw FSError(errno, path);
}

void FS::markBusy(const std::string& path, double seconds) {
    if (hasNul(path))
        throw FSError(EINVAL, path);
    if (!(seconds > 0)) {
        if (::lremovexattr(path.c_str(), busyAttr) != 0 && errno != ENODATA)
            throw FSError(errno, path);
        return;
    }
    const std::string text = fmt::format("{}", seconds);
    if (::lsetxattr(path.c_str(), busyAttr, text.data(), text.size(), 0) != 0)
        throw FSError(errno, path);
}

#endif

} // namespace tessary
