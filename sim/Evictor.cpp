#include "Evictor.hpp"

#include "Content.hpp"
#include "ServerDb.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/StatInfo.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace sim {

namespace {

using Outcome = Evictor::Outcome;

Outcome refused(const std::string& text) {
    return {1, "brctl: " + text};
}

// The live document the server knows at `path` (below `home`); null for anything else.
const ServerItem* documentAt(const ServerDb& db, const std::string& home, const std::string& path) {
    if (!path.starts_with(home + "/"))
        return nullptr;
    const std::string relative = path.substr(home.size() + 1);
    for (const ServerItem& item : db.items)
        if (!item.dead && item.kind == Kind::doc && item.path == relative)
            return &item;
    return nullptr;
}

// The document at `path` and its entry on the disk, or why there is none.
struct Target {
    const ServerItem* item = nullptr;
    tessary::StatInfo st;
    std::optional<Outcome> refusal;
};

Target targetAt(const ServerDb& db, const std::string& home, const std::string& path) {
    Target target;
    target.item = documentAt(db, home, path);
    if (!target.item) {
        target.refusal = refused(path + ": není dokument na iCloud Drive");
        return target;
    }
    const std::optional<tessary::StatInfo> st = tessary::FS::lstat(path);
    if (!st || !st->isReg())
        target.refusal = refused(path + ": soubor na disku není");
    else
        target.st = *st;
    return target;
}

bool setTime(int fd, std::int64_t mt) {
    const timespec times[2] = {{mt, 0}, {mt, 0}};
    return ::futimens(fd, times) == 0;
}

} // namespace

Outcome Evictor::evict(const ServerDb& db, const std::string& home, const std::string& path) {
    const Target target = targetAt(db, home, path);
    if (target.refusal)
        return *target.refusal;
    const ServerItem* item = target.item;
    const tessary::StatInfo* st = &target.st;
    if (st->isDataless())
        return {}; // already only in the cloud
    const std::optional<std::string> bytes = Content::read(path);
    if (!bytes)
        return refused(path + ": soubor nelze přečíst: " + std::strerror(errno));
    if (*bytes != Content::serverCopy(home, *item))
        return refused(path + ": soubor má změny, které ještě nejsou na serveru");
    // The bytes equal the server's copy, which stays where serverCopy finds it (kept, or made
    // again from the item), so the local bytes may go.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return refused(path + ": " + std::strerror(errno));
    const bool done = ::ftruncate(fd, 0) == 0 && ::ftruncate(fd, st->size) == 0 &&
                      setTime(fd, st->mtime) &&
                      ::fsetxattr(fd, "user.tessary.dataless", "1", 1, 0) == 0;
    const int err = errno;
    ::close(fd);
    if (!done)
        return refused(path + ": " + std::strerror(err));
    return {};
}

Outcome Evictor::download(const ServerDb& db, const std::string& home, const std::string& path) {
    const Target target = targetAt(db, home, path);
    if (target.refusal)
        return *target.refusal;
    const ServerItem* item = target.item;
    if (!target.st.isDataless())
        return {}; // already downloaded
    const std::string bytes = Content::serverCopy(home, *item);
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return refused(path + ": " + std::strerror(errno));
    bool done = ::ftruncate(fd, 0) == 0;
    std::size_t written = 0;
    while (done && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        done = n > 0;
        written += done ? static_cast<std::size_t>(n) : 0;
    }
    done = done && ::fremovexattr(fd, "user.tessary.dataless") == 0 && setTime(fd, item->mt);
    const int err = errno;
    ::close(fd);
    if (!done)
        return refused(path + ": " + std::strerror(err));
    return {};
}

} // namespace sim
