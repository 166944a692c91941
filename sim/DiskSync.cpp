#include "DiskSync.hpp"

#include "Content.hpp"

#include "TessaryCore/FS.hpp"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sim {

namespace {

using tessary::FS;
using tessary::StatInfo;

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string rootOf(std::int64_t container) {
    return "root[" + std::to_string(container) + "]";
}

// The names in a folder, or none when it cannot be read.
std::optional<std::vector<std::string>> namesIn(const std::string& path) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir)
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

class Sync {
public:
    Sync(ServerDb& db, std::string home) : m_db(db), m_home(std::move(home)) {
        for (std::size_t i = 0; i < db.items.size(); ++i) {
            m_byId.emplace(db.items[i].id, i);
            if (!db.items[i].path.empty())
                m_known[db.items[i].parent].insert(baseName(db.items[i].path));
        }
    }

    void deletionsAndChanges();
    void newEntries();
    [[nodiscard]] const DiskSync::Changes& changes() const { return m_changes; }

private:
    // Takes a changed download's size and time; false when it had not changed.
    bool update(ServerItem& item, const StatInfo& st);
    // Adds what `folderPath` holds that no item of `parentId` stands for.
    void addNew(const std::string& parentId, std::int64_t container, const std::string& folderPath);
    std::string freshId();

    ServerDb& m_db;
    std::string m_home;
    std::unordered_map<std::string, std::size_t> m_byId;
    // The local names each parent id's items have, as the system tracks them.
    std::unordered_map<std::string, std::unordered_set<std::string>> m_known;
    std::int64_t m_nextId = 0;
    DiskSync::Changes m_changes;
};

void Sync::deletionsAndChanges() {
    std::unordered_set<std::string> goneNow;
    // Items come parents first, so a folder's fate is known when its contents come.
    for (ServerItem& item : m_db.items) {
        if (item.dead)
            continue;
        // Whatever a deleted folder held goes with it, also what was only on the server.
        if (goneNow.contains(item.parent)) {
            item.dead = true;
            goneNow.insert(item.id);
            ++m_changes.deleted;
            continue;
        }
        if (item.path.empty())
            continue;
        const std::string path = m_home + "/" + item.path;
        const std::optional<StatInfo> st = FS::lstatAt(AT_FDCWD, path);
        if (!st) {
            // Only a missing entry is a deletion; an unreadable one is not known to be gone.
            if (errno == ENOENT || errno == ENOTDIR) {
                item.dead = true;
                goneNow.insert(item.id);
                ++m_changes.deleted;
            }
            continue;
        }
        if (item.kind != Kind::doc || !st->isReg())
            continue;
        // The placeholder mark is read only for a file that may be one.
        if (const std::optional<StatInfo> full = FS::lstat(path); full && !full->isDataless())
            if (update(item, *full))
                // The server now has what the disk has: its copy is these bytes.
                if (const std::optional<std::string> bytes = Content::read(path))
                    Content::keep(m_home, item.id, *bytes);
    }
}

bool Sync::update(ServerItem& item, const StatInfo& st) {
    if (st.size == item.size && st.mtime == item.mt)
        return false;
    if (st.size != item.size) {
        m_db.quotaFree -= st.size - item.qta;
        item.qta = st.size;
        item.size = st.size;
    }
    item.mt = st.mtime;
    ++m_changes.updated;
    return true;
}

void Sync::newEntries() {
    // Only the items there were before: new folders are walked when they are added.
    const std::size_t before = m_db.items.size();
    for (const ServerContainer& c : m_db.containers)
        if (!c.path.empty())
            addNew(rootOf(c.index), c.index, m_home + "/" + c.path);
    for (std::size_t i = 0; i < before; ++i) {
        const ServerItem& item = m_db.items[i];
        if (item.dead || item.path.empty() || item.kind != Kind::dir)
            continue;
        const std::string path = m_home + "/" + item.path;
        const std::optional<StatInfo> st = FS::lstat(path);
        // A never-opened folder holds only what the server knows already. The item is copied
        // out: adding items moves them.
        if (st && st->isDir() && !st->isDataless())
            addNew(std::string(item.id), item.container, path);
    }
}

void Sync::addNew(const std::string& parentId, std::int64_t container,
                  const std::string& folderPath) {
    const std::optional<std::vector<std::string>> names = namesIn(folderPath);
    if (!names)
        return;
    std::unordered_set<std::string>& known = m_known[parentId];
    std::vector<std::pair<std::string, std::string>> folders; // (id, path) to walk
    for (const std::string& name : *names) {
        if (name.front() == '.' || name.find_first_of("\t\n\r") != std::string::npos ||
            known.contains(name))
            continue;
        const std::string path = folderPath + "/" + name;
        const std::optional<StatInfo> st = FS::lstat(path);
        if (!st || !(st->isReg() || st->isDir()))
            continue;
        ServerItem item;
        item.id = freshId();
        item.parent = parentId;
        item.container = container;
        item.kind = st->isDir() ? Kind::dir : Kind::doc;
        item.size = item.qta = st->isDir() ? 0 : st->size;
        item.mt = st->mtime;
        item.name = name;
        item.path = path.substr(m_home.size() + 1);
        m_db.quotaFree -= item.qta;
        if (const auto parent = m_byId.find(parentId); parent != m_byId.end())
            ++m_db.items[parent->second].cc;
        known.insert(name);
        if (st->isDir())
            folders.emplace_back(item.id, path);
        m_byId.emplace(item.id, m_db.items.size());
        m_db.items.push_back(std::move(item));
        ++m_changes.added;
    }
    for (const auto& [id, path] : folders)
        addNew(id, container, path);
}

std::string Sync::freshId() {
    for (;;) {
        std::string id = "local-" + std::to_string(++m_nextId);
        if (!m_byId.contains(id))
            return id;
    }
}

} // namespace

DiskSync::Changes DiskSync::reconcile(ServerDb& db, const std::string& home) {
    Sync sync(db, home);
    sync.deletionsAndChanges();
    sync.newEntries();
    return sync.changes();
}

} // namespace sim
