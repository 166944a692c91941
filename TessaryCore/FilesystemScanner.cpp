#include "TessaryCore/FilesystemScanner.hpp"

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/DevIno.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/ListingsAhead.hpp"
#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <unordered_set>

namespace tessary {

namespace {

using Clock = std::chrono::steady_clock;

using Ticket = TimeoutPool::Ticket<std::vector<FS::Entry>>;

// Folders listed ahead, while the walk files the entries of the one before.
constexpr std::size_t lookAhead = 2;

// A folder waiting to be walked. `stat` is the lstat taken when the folder was listed in its
// parent, so it need not be looked up again; a root, or a link to a folder, has none and is
// stat-ed (and resolved) when it is popped.
struct Pending {
    Item* item;
    std::string path;
    std::optional<StatInfo> stat;
};

// The state of one build: the result, the numbering and the counters shared by all roots.
class Walk {
public:
    Walk(ScanResult& result, const ProgressCallback& progress, const CancelCallback& cancel,
         const ScanEnvironment& env, TimeoutPool& pool)
        : m_result(result), m_progress(progress), m_cancel(cancel), m_env(env), m_pool(pool) {}

    void root(std::int64_t index, const std::string& name, const std::string& path);
    // Warnings about the folders that could not be listed; adds their counters to `result`.
    void finish(ScanResult& result) const;

private:
    std::optional<StatInfo> folderStat(Pending& p) const;
    void prefetch(const std::vector<Pending>& stack);
    Ticket startListing(const std::string& path);
    std::optional<std::vector<FS::Entry>> list(Item& item, const std::string& path, Ticket ticket);
    void addChild(Item& parent, std::int64_t index, const std::string& parentPath, FS::Entry& entry,
                  std::vector<Pending>& stack);
    void report(const Item& folder);

    ScanResult& m_result;
    const ProgressCallback& m_progress;
    const CancelCallback& m_cancel;
    const ScanEnvironment& m_env;
    TimeoutPool& m_pool;
    std::int64_t m_files = 0;
    std::int64_t m_created = 0;
    std::int64_t m_timedOut = 0;
    std::int64_t m_denied = 0;
    std::vector<std::string> m_deniedNames;
    std::int64_t m_tooDeep = 0;
    bool m_reported = false;
    Clock::time_point m_lastReport = Clock::now();
    std::string m_id;
    ListingsAhead<std::vector<FS::Entry>> m_ahead;
};

void Walk::root(std::int64_t index, const std::string& name, const std::string& path) {
    Container& c = m_result.containers.try_emplace(index, index, name).first->second;
    c.name = name;
    c.localPath = path;
    c.order = index - 1;
    Item& root =
        m_result.add(Item("root[" + std::to_string(index) + "]", "", name, ItemKind::dir, index));
    root.setName(name);
    root.setPath(path);
    root.resolved = true;
    c.root = &root;

    std::unordered_set<DevIno, DevIno::Hash> seen;
    std::vector<Pending> stack;
    stack.push_back(Pending{&root, path, std::nullopt});
    while (!stack.empty()) {
        Pending p = std::move(stack.back());
        stack.pop_back();
        if (cancelRequested(m_cancel))
            throw ScanError::cancelled();
        Ticket ahead = m_ahead.take(p.item, p.path);
        prefetch(stack);
        const std::string stackPath = p.path;
        const std::optional<StatInfo> st = folderStat(p);
        if (!st || !seen.insert(DevIno::of(*st)).second)
            continue;
        if (st->isDataless()) {
            p.item->enumerated = false;
            continue;
        }
        if (p.path != stackPath)
            ahead = {};
        std::optional<std::vector<FS::Entry>> entries = list(*p.item, p.path, std::move(ahead));
        if (!entries)
            continue;
        for (FS::Entry& entry : *entries)
            addChild(*p.item, index, p.path, entry, stack);
        report(*p.item);
    }
    m_result.roots.push_back(&root);
}

// The folder's own stat, following a link only to a folder inside the home folder (and then
// moving `p.path` to the link's target); none when it is not a folder to walk.
std::optional<StatInfo> Walk::folderStat(Pending& p) const {
    std::optional<StatInfo> st = p.stat ? p.stat : FS::lstat(p.path);
    if (st && st->isLink()) {
        const std::optional<std::string> real = FS::realpath(p.path);
        if (!real || !FS::isInsideHome(*real, m_env.home))
            return std::nullopt;
        st = FS::lstat(*real);
        p.path = *real;
    }
    if (!st || !st->isDir())
        return std::nullopt;
    return st;
}

// Begins the listings of the next folders on the stack whose stat says they will be listed, so
// that the pool reads them while this thread files the entries of the folder before. Each is
// still taken in its own turn, and dropped if the walk does not list that folder after all.
void Walk::prefetch(const std::vector<Pending>& stack) {
    const std::size_t n = std::min(lookAhead, stack.size());
    for (std::size_t i = 0; i < n; ++i) {
        const Pending& next = stack[stack.size() - 1 - i];
        if (!next.stat || !next.stat->isDir() || next.stat->isDataless() || m_ahead.has(next.item))
            continue;
        try {
            m_ahead.add(next.item, next.path, startListing(next.path));
        } catch (const ScanError&) {
            return; // no thread to spare now: the folder is listed in its turn
        }
    }
}

Ticket Walk::startListing(const std::string& path) {
    return m_pool.start(false, [p = path] { return FS::listStats(p, FS::noLimit); });
}

// Lists the folder on a pool worker (or takes the listing begun ahead in `ticket`). None when
// it could not be listed (the item says why); cancellation and unexpected errors are thrown.
std::optional<std::vector<FS::Entry>> Walk::list(Item& item, const std::string& path,
                                                 Ticket ticket) {
    if (!ticket.valid())
        ticket = startListing(path);
    try {
        auto entries = m_pool.wait(ticket, FilesystemScanner::listTimeout, {}, m_cancel);
        item.enumerated = true;
        return entries;
    } catch (const ScanError& e) {
        if (!e.isTimeout())
            throw;
        item.enumerated = false;
        item.timeout = true;
        ++m_timedOut;
    } catch (const FSError& e) {
        item.enumerated = false;
        if (e.isPermission()) {
            item.denied = true;
            if (m_deniedNames.size() < 3)
                m_deniedNames.emplace_back(item.name());
            ++m_denied;
        } else if (e.code() == ENAMETOOLONG) {
            // Deeper than a path can reach: the folder stays unlisted, and the user is told.
            ++m_tooDeep;
        }
    }
    return std::nullopt;
}

void Walk::finish(ScanResult& result) const {
    result.stats["dirs_timeout"] = m_timedOut;
    result.stats["dirs_denied"] = m_denied;
    if (m_denied > 0)
        result.warnings.push_back(NameResolver::deniedWarning(m_denied, m_deniedNames));
    if (m_tooDeep > 0) {
        result.stats["dirs_too_deep"] = m_tooDeep;
        result.warnings.push_back(std::to_string(m_tooDeep) +
                                  " složek leží tak hluboko, že jejich cesta je delší, než systém "
                                  "dovolí – nebyly prozkoumány a počítají se mezi neprozkoumané.");
    }
}

void Walk::addChild(Item& parent, std::int64_t index, const std::string& parentPath,
                    FS::Entry& entry, std::vector<Pending>& stack) {
    if (!entry.stat)
        return; // gone since the listing
    const StatInfo& st = *entry.stat;
    std::string path = FS::join(parentPath, entry.name);
    ItemKind kind;
    bool throughLink = false;
    if (st.isDir()) {
        kind = ItemKind::dir;
    } else if (st.isReg()) {
        kind = ItemKind::doc;
    } else if (st.isLink()) {
        const std::optional<std::string> real = FS::realpath(path);
        if (!real || !FS::isInsideHome(*real, m_env.home) || !FS::isDirectory(*real))
            return;
        kind = ItemKind::dir;
        throughLink = true;
    } else {
        return; // devices, sockets, pipes
    }
    m_id = "fs" + std::to_string(++m_created);
    Item* child = m_result.addNew(m_id, parent.id(), entry.name, kind, index);
    if (child == nullptr)
        return; // fresh numbers never collide
    // A folder keeps its path as text, for its entries' paths to follow; a file's path follows
    // its folder's.
    child->setLocal(entry.name, path, LocalIdentity::of(st),
                    kind == ItemKind::dir ? nullptr : &parent);
    child->resolved = true;
    child->mt = st.mtime;
    if (kind == ItemKind::doc) {
        child->sz = child->qta = st.size;
        child->dataless = st.isDataless();
        child->localAlloc = child->dataless ? 0 : st.alloc();
        ++m_files;
    }
    parent.children.push_back(child);
    if (kind == ItemKind::dir)
        stack.push_back(Pending{child, std::move(path),
                                throughLink ? std::nullopt : std::optional<StatInfo>(st)});
}

// At most one progress line every 0.2 seconds; the first listed folder always reports.
void Walk::report(const Item& folder) {
    if (!m_progress)
        return;
    const auto now = Clock::now();
    if (m_reported && std::chrono::duration<double>(now - m_lastReport).count() <= 0.2)
        return;
    m_reported = true;
    m_lastReport = now;
    m_progress("fs", m_files, 0,
               "Procházím disk… " + std::to_string(m_files) + " souborů, " +
                   std::string(folder.name()));
}

} // namespace

ScanResult FilesystemScanner::build(const std::vector<std::pair<std::string, std::string>>& roots,
                                    const ProgressCallback& progress, const CancelCallback& cancel,
                                    const ScanEnvironment& env, TimeoutPool& pool) {
    IOPolicy::disableMaterialization();
    ScanResult result;
    result.mode = ScanMode::fs;
    Walk walk(result, progress, cancel, env, pool);
    for (std::size_t i = 0; i < roots.size(); ++i)
        walk.root(static_cast<std::int64_t>(i + 1), roots[i].first, roots[i].second);
    result.stopGrowing();
    result.stats["items_parsed"] = static_cast<std::int64_t>(result.itemCount());
    walk.finish(result);
    Aggregator::aggregate(result);
    return result;
}

} // namespace tessary
