#include "TessaryCore/Trash.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/StatInfo.hpp"
#include "TessaryCore/UniqueFd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <utility>
#include <vector>

namespace tessary {

namespace {

Trash::Seams& seams() {
    static Trash::Seams installed;
    return installed;
}

// Folders on the way to an item are opened only to reach the next one: a descriptor that can
// do no more than that needs no read permission, and none of them follows a link.
#ifdef O_PATH
constexpr int passOnly = O_PATH;
#else
constexpr int passOnly = O_RDONLY;
#endif
constexpr int passFlags = passOnly | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// The Trash's own folders are also synced, which takes a descriptor opened for reading.
constexpr int ownFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

[[noreturn]] void refuse(const char* reason) {
    throw ScanError::message(reason);
}

// Why the system refused, in the user's words for the cases a user can act on.
[[noreturn]] void failWith(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        refuse("Systém přesun do Koše nepovolil (chybí oprávnění).");
    case EROFS:
        refuse("Disk s položkou je jen pro čtení.");
    case EBUSY:
        refuse("Položka je právě používána.");
    case EXDEV:
        refuse("Koš na disku s položkou nelze použít.");
    default:
        throw ScanError::message("Přesun do Koše se nepodařil: " + FSError::systemText(err) + ".");
    }
}

// The info record could not be written: nothing moves.
[[noreturn]] void failInfo(int err) {
    if (err == ENOSPC || err == EDQUOT)
        refuse(Trash::noSpace);
    throw ScanError::message("Záznam v Koši se nepodařilo zapsat: " + FSError::systemText(err) +
                             ".");
}

// The components of `path` below `home`, each a plain name; none when the path is not below the
// home folder component by component ("." and ".." and empty components count as not below).
std::optional<std::vector<std::string>> componentsBelow(std::string_view home,
                                                        std::string_view path) {
    while (home.size() > 1 && home.back() == '/')
        home.remove_suffix(1);
    if (home.empty() || home.front() != '/')
        return std::nullopt;
    const std::string_view prefix = home == "/" ? std::string_view() : home;
    if (!path.starts_with(prefix) || path.size() <= prefix.size() + 1 || path[prefix.size()] != '/')
        return std::nullopt;
    std::vector<std::string> parts;
    std::string_view rest = path.substr(prefix.size() + 1);
    for (;;) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == "..")
            return std::nullopt;
        parts.emplace_back(part);
        if (slash == std::string_view::npos)
            return parts;
        rest.remove_prefix(slash + 1);
    }
}

// The folder that holds an item, open, and what it holds under the item's name right now.
struct Located {
    UniqueFd folder;
    std::string name;
    StatInfo entry;
};

// A component that could not be opened as a folder on the way down: a link (which nothing
// follows here), a file where a folder was, or gone.
[[noreturn]] void refuseStep(int folder, const std::string& part, int err) {
    if (err == ELOOP || err == ENOTDIR) {
        const std::optional<StatInfo> st = FS::lstatAt(folder, part);
        if (st && st->isLink())
            refuse(Trash::outsideHome);
        refuse(Trash::gone);
    }
    if (err == ENOENT)
        refuse(Trash::gone);
    failWith(err);
}

StatInfo examine(int folder, const std::string& name) {
    std::optional<StatInfo> st = FS::lstatAt(folder, name);
    if (!st) {
        if (errno == ENOENT)
            refuse(Trash::gone);
        failWith(errno);
    }
    if (seams().examine)
        seams().examine(*st);
    return *st;
}

Located locate(const std::string& home, const std::string& path) {
    std::optional<std::vector<std::string>> parts = componentsBelow(home, path);
    if (!parts || home.find('\0') != std::string::npos || path.find('\0') != std::string::npos)
        refuse(Trash::outsideHome);
    // The home folder itself may be reached through links its owner set up; nothing below it.
    UniqueFd folder(::open(home.c_str(), passOnly | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        failWith(errno);
    for (std::size_t i = 0; i + 1 < parts->size(); ++i) {
        UniqueFd next(::openat(folder.get(), (*parts)[i].c_str(), passFlags));
        if (!next.valid())
            refuseStep(folder.get(), (*parts)[i], errno);
        struct stat st {};
        // With O_PATH and O_NOFOLLOW a link may open as itself: only a real folder goes on.
        if (::fstat(next.get(), &st) != 0 || !S_ISDIR(st.st_mode))
            refuse(Trash::outsideHome);
        folder = std::move(next);
    }
    Located found{std::move(folder), std::move(parts->back()), {}};
    found.entry = examine(found.folder.get(), found.name);
    return found;
}

void checkIdentity(const StatInfo& now, const std::optional<LocalIdentity>& expected) {
    if (expected && !expected->isSameEntry(LocalIdentity::of(now)))
        refuse(Trash::changed);
}

} // namespace

void Trash::setSeams(Seams installed) {
    seams() = std::move(installed);
}

std::string Trash::homeTrash(const std::string& home) {
    // A data folder named by a relative path is to be ignored, as for every XDG variable.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return FS::join(data, "Trash");
    return FS::join(FS::join(home, ".local/share"), "Trash");
}

void Trash::verifyEntry(const std::string& home, const std::string& path,
                        const std::optional<LocalIdentity>& expected) {
    const Located found = locate(home, path);
    checkIdentity(found.entry, expected);
}

#ifndef __APPLE__

namespace {

// The Trash folders one move writes to.
struct TrashDirs {
    UniqueFd files;
    UniqueFd info;
};

// Opens the folder `name` in `parent`, creating it (mode 700) when missing. It must be a real
// folder of this user's: a link, someone else's folder or a file is refused.
UniqueFd ownFolder(int parent, const char* name) {
    if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST)
        failWith(errno);
    UniqueFd folder(::openat(parent, name, ownFlags));
    if (!folder.valid())
        failWith(errno == ELOOP ? EPERM : errno);
    struct stat st {};
    if (::fstat(folder.get(), &st) != 0)
        failWith(errno);
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        failWith(EPERM);
    return folder;
}

TrashDirs filesAndInfo(int trash) {
    TrashDirs dirs;
    dirs.files = ownFolder(trash, "files");
    dirs.info = ownFolder(trash, "info");
    return dirs;
}

// Creates the folders of `path` that are missing (mode 700), following the links the user set
// up on the way, and opens it.
UniqueFd makeFolders(const std::string& path) {
    for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        (void)::mkdir(path.substr(0, at).c_str(), 0700);
    (void)::mkdir(path.c_str(), 0700);
    UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        failWith(errno);
    return folder;
}

// The device of `path` or, while it does not exist yet, of its nearest existing folder.
std::optional<std::uint64_t> deviceOf(std::string path) {
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            return static_cast<std::uint64_t>(st.st_dev);
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos || path.size() <= 1)
            return std::nullopt;
        path.resize(slash == 0 ? 1 : slash);
    }
}

// The top folder of the file system that holds `folder`: the highest folder above it on the
// same device, reached through "..", which is never a link.
UniqueFd topFolder(int folder, std::uint64_t device) {
    UniqueFd current(::openat(folder, ".", passFlags));
    if (!current.valid())
        failWith(errno);
    struct stat here {};
    if (::fstat(current.get(), &here) != 0)
        failWith(errno);
    for (;;) {
        UniqueFd up(::openat(current.get(), "..", passFlags));
        struct stat above {};
        if (!up.valid() || ::fstat(up.get(), &above) != 0)
            failWith(errno);
        if (static_cast<std::uint64_t>(above.st_dev) != device ||
            (above.st_ino == here.st_ino && above.st_dev == here.st_dev))
            return current;
        current = std::move(up);
        here = above;
    }
}

// $topdir/.Trash/$uid when $topdir/.Trash is a real folder with the sticky bit (shared by the
// users of a removable disk), else $topdir/.Trash-$uid.
TrashDirs topTrash(int folder, std::uint64_t device) {
    const UniqueFd top = topFolder(folder, device);
    const std::string uid = std::to_string(::getuid());
    struct stat shared {};
    if (::fstatat(top.get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) != 0) {
        const UniqueFd sharedFd(::openat(top.get(), ".Trash", passFlags));
        if (sharedFd.valid()) {
            try {
                const UniqueFd own = ownFolder(sharedFd.get(), uid.c_str());
                return filesAndInfo(own.get());
            } catch (const ScanError&) {
                // Not usable for this user: the per-user folder below is.
            }
        }
    }
    const UniqueFd own = ownFolder(top.get(), (".Trash-" + uid).c_str());
    return filesAndInfo(own.get());
}

// The Trash on the entry's own device: a move never crosses file systems.
TrashDirs trashFor(const std::string& home, const Located& found) {
    const std::uint64_t device = found.entry.dev;
    struct stat folder {};
    if (::fstat(found.folder.get(), &folder) != 0)
        failWith(errno);
    if (static_cast<std::uint64_t>(folder.st_dev) != device)
        failWith(EBUSY); // the entry is where another file system is mounted
    TrashDirs dirs;
    const std::string homeTrash = Trash::homeTrash(home);
    if (deviceOf(homeTrash) == device) {
        const std::size_t slash = homeTrash.rfind('/');
        const UniqueFd data = makeFolders(homeTrash.substr(0, slash));
        const UniqueFd trash = ownFolder(data.get(), homeTrash.c_str() + slash + 1);
        dirs = filesAndInfo(trash.get());
    } else {
        dirs = topTrash(found.folder.get(), device);
    }
    struct stat files {};
    if (::fstat(dirs.files.get(), &files) != 0)
        failWith(errno);
    if (static_cast<std::uint64_t>(files.st_dev) != device)
        failWith(EXDEV);
    return dirs;
}

// The path as the info record holds it: every byte but the unreserved ones and "/" as %XX.
std::string percentEncoded(std::string_view path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~' ||
                           c == '/';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(text, n);
}

constexpr std::string_view infoSuffix = ".trashinfo";
// The longest name most file systems take.
constexpr std::size_t nameMax = 255;

// The name in the Trash for attempt `n`: the item's own name, then "name.2", "name.3", … Cut so
// that the info record's name still fits, never inside a UTF-8 sequence.
std::string trashName(const std::string& name, int n) {
    const std::string counter = n == 1 ? std::string() : "." + std::to_string(n);
    const std::size_t room = nameMax - infoSuffix.size() - counter.size();
    std::size_t keep = std::min(name.size(), room);
    if (keep < name.size())
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep;
    return name.substr(0, keep) + counter;
}

long writeSome(int fd, const char* data, std::size_t size) {
    if (seams().writeInfo)
        return seams().writeInfo(fd, data, size);
    return ::write(fd, data, size);
}

// 0, or the errno of the write, the read-back or the sync that failed.
int writeRecord(int fd, std::string_view record) {
    std::size_t done = 0;
    while (done < record.size()) {
        const long n = writeSome(fd, record.data() + done, record.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    std::string back(record.size() + 1, '\0');
    const ssize_t got = ::pread(fd, back.data(), back.size(), 0);
    if (got < 0)
        return errno;
    if (std::string_view(back.data(), static_cast<std::size_t>(got)) != record)
        return EIO;
    return ::fsync(fd) == 0 ? 0 : errno;
}

// Removes the info record again unless the move went through.
struct RecordGuard {
    int folder;
    std::string name;
    bool keep = false;
    RecordGuard(int f, std::string n) : folder(f), name(std::move(n)) {}
    RecordGuard(const RecordGuard&) = delete;
    RecordGuard& operator=(const RecordGuard&) = delete;
    ~RecordGuard() {
        if (!keep)
            (void)::unlinkat(folder, name.c_str(), 0);
    }
};

bool sameFolder(int a, int b) {
    struct stat sa {};
    struct stat sb {};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// renameat that never replaces what stands at the target; where the file system cannot promise
// that, a plain rename after the caller found the name free.
int renameNoReplace(int fromFolder, const std::string& from, int toFolder, const std::string& to) {
    if (::renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    return ::renameat(fromFolder, from.c_str(), toFolder, to.c_str()) == 0 ? 0 : errno;
}

} // namespace

void Trash::moveItem(const std::string& home, const std::string& path,
                     const std::optional<LocalIdentity>& expected) {
    const Located found = locate(home, path);
    checkIdentity(found.entry, expected);
    const TrashDirs dirs = trashFor(home, found);
    const std::string record =
        "[Trash Info]\nPath=" + percentEncoded(path) + "\nDeletionDate=" + deletionDate() + "\n";
    // Whatever the caller recorded, the entry must still be the one examined above.
    const LocalIdentity examined = LocalIdentity::of(found.entry);
    for (int n = 1; n <= 10000; ++n) {
        const std::string name = trashName(found.name, n);
        const std::string infoName = name + std::string(infoSuffix);
        UniqueFd info(::openat(dirs.info.get(), infoName.c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!info.valid()) {
            if (errno == EEXIST)
                continue;
            failInfo(errno);
        }
        RecordGuard guard(dirs.info.get(), infoName);
        if (FS::lstatAt(dirs.files.get(), name))
            continue; // taken in files/ by an item whose record was lost
        if (errno != ENOENT)
            failWith(errno);
        if (const int err = writeRecord(info.get(), record); err != 0)
            failInfo(err);
        if (const int err = info.close(); err != 0)
            failInfo(err);
        (void)::fsync(dirs.info.get());
        // The last look before the move, down from the home folder again: while the record was
        // written the item's folder may have been moved away (a link put in its place) or the
        // entry replaced.
        const Located again = locate(home, path);
        if (!sameFolder(found.folder.get(), again.folder.get()) ||
            !examined.isSameEntry(LocalIdentity::of(again.entry)))
            refuse(Trash::changed);
        checkIdentity(again.entry, expected);
        const int err = renameNoReplace(again.folder.get(), again.name, dirs.files.get(), name);
        if (err == EEXIST)
            continue;
        if (err != 0)
            failWith(err);
        guard.keep = true;
        (void)::fsync(dirs.files.get());
        return;
    }
    failWith(EEXIST);
}

#endif

} // namespace tessary
