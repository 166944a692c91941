#include "TessaryCore/FilesystemScanner.hpp"

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/DiskWalker.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <cerrno>
#include <chrono>
#include <optional>

namespace tessary {

namespace {

using Clock = std::chrono::steady_clock;

// The state of one build: the result, the numbering and the counters shared by all roots.
class Walk {
public:
    Walk(ScanResult& result, const ProgressCallback& progress, const CancelCallback& cancel,
         const ScanEnvironment& env, TimeoutPool& pool, double listLimit)
        : m_result(result), m_progress(progress), m_cancel(cancel), m_env(env), m_pool(pool),
          m_listLimit(listLimit) {}

    void root(std::int64_t index, const std::string& name, const std::string& path);
    // Warnings about the folders that could not be listed; adds their counters to `result`.
    void finish(ScanResult& result) const;

private:
    bool take(Item& item, const DiskWalker::Folder& folder);
    void addChild(Item& parent, std::int64_t index, DiskWalker::Folder& folder, std::size_t i,
                  std::vector<std::pair<Item*, std::string>>& stack);
    void report(const Item& folder);

    ScanResult& m_result;
    const ProgressCallback& m_progress;
    const CancelCallback& m_cancel;
    const ScanEnvironment& m_env;
    TimeoutPool& m_pool;
    const double m_listLimit;
    std::int64_t m_files = 0;
    std::int64_t m_created = 0;
    std::int64_t m_timedOut = 0;
    std::int64_t m_denied = 0;
    std::vector<std::string> m_deniedNames;
    std::int64_t m_tooDeep = 0;
    bool m_reported = false;
    Clock::time_point m_lastReport = Clock::now();
    std::string m_id;
};

// The disk is listed on threads of their own, roughly in the order this walk takes the folders;
// each folder popped here is asked for by the path the listers reached it by.
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

    DiskWalker walker(path, m_env.home, m_listLimit, m_pool);
    std::vector<std::pair<Item*, std::string>> stack;
    stack.emplace_back(&root, path);
    while (!stack.empty()) {
        auto [item, at] = std::move(stack.back());
        stack.pop_back();
        if (cancelRequested(m_cancel))
            throw ScanError::cancelled();
        std::optional<DiskWalker::Folder> folder = walker.take(at, m_cancel);
        if (!folder || !take(*item, *folder))
            continue;
        for (std::size_t i = 0; i < folder->entries.size(); ++i)
            addChild(*item, index, *folder, i, stack);
        report(*item);
    }
    m_result.roots.push_back(&root);
}

// Notes on the item how its folder's listing went; true when it holds entries to file.
// Cancellation and unexpected errors of the listing are thrown.
bool Walk::take(Item& item, const DiskWalker::Folder& folder) {
    switch (folder.outcome) {
    case DiskWalker::Outcome::listed:
        item.enumerated = true;
        return true;
    case DiskWalker::Outcome::skipped:
        return false;
    case DiskWalker::Outcome::dataless:
        item.enumerated = false;
        return false;
    case DiskWalker::Outcome::timedOut:
        item.enumerated = false;
        item.timeout = true;
        ++m_timedOut;
        return false;
    case DiskWalker::Outcome::failed:
        break;
    }
    item.enumerated = false;
    try {
        std::rethrow_exception(folder.error);
    } catch (const FSError& e) {
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
    return false;
}

void Walk::finish(ScanResult& result) const {
    result.stats["dirs_timeout"] = m_timedOut;
    result.stats["dirs_denied"] = m_denied;
    if (m_timedOut > 0)
        result.warnings.push_back(std::to_string(m_timedOut) + " složek se nepodařilo vypsat do " +
                                  TimeoutPool::timeoutText(m_listLimit) +
                                  " – nebyly prozkoumány a počítají se mezi neprozkoumané.");
    if (m_denied > 0)
        result.warnings.push_back(NameResolver::deniedWarning(m_denied, m_deniedNames));
    if (m_tooDeep > 0) {
        result.stats["dirs_too_deep"] = m_tooDeep;
        result.warnings.push_back(std::to_string(m_tooDeep) +
                                  " složek leží tak hluboko, že jejich cesta je delší, než systém "
                                  "dovolí – nebyly prozkoumány a počítají se mezi neprozkoumané.");
    }
}

void Walk::addChild(Item& parent, std::int64_t index, DiskWalker::Folder& folder, std::size_t i,
                    std::vector<std::pair<Item*, std::string>>& stack) {
    FS::Entry& entry = folder.entries[i];
    if (!entry.stat)
        return; // gone since the listing
    const StatInfo& st = *entry.stat;
    ItemKind kind;
    if (st.isDir() || (st.isLink() && folder.descendsInto(i)))
        kind = ItemKind::dir;
    else if (st.isReg())
        kind = ItemKind::doc;
    else
        return; // links elsewhere, devices, sockets, pipes
    std::string path = FS::join(folder.listed, entry.name);
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
        stack.emplace_back(child, std::move(path));
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
                                    const ScanEnvironment& env, TimeoutPool& pool,
                                    double listLimit) {
    IOPolicy::disableMaterialization();
    ScanResult result;
    result.mode = ScanMode::fs;
    Walk walk(result, progress, cancel, env, pool, listLimit);
    for (std::size_t i = 0; i < roots.size(); ++i)
        walk.root(static_cast<std::int64_t>(i + 1), roots[i].first, roots[i].second);
    result.stopGrowing();
    result.stats["items_parsed"] = static_cast<std::int64_t>(result.itemCount());
    walk.finish(result);
    Aggregator::aggregate(result);
    return result;
}

} // namespace tessary
