#include "TessaryCore/FilesystemScanner.hpp"

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/DevIno.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/StatInfo.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <chrono>
#include <unordered_set>

namespace tessary {
namespace {

constexpr double reportInterval = 0.2;

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The state of one build call, shared by the walks of all its roots.
class Walk {
public:
    Walk(ScanResult& result, const ProgressCallback& progress, const CancelCallback& cancel,
         const ScanEnvironment& env, TimeoutPool& pool)
        : m_result(result), m_progress(progress), m_cancel(cancel), m_env(env), m_pool(pool) {}

    void root(std::int64_t index, const std::string& name, const std::string& path);
    [[nodiscard]] std::int64_t timedOut() const { return m_timedOut; }

private:
    struct Pending {
        Item* folder;
        std::string path;
    };

    void visit(const Pending& pending, std::unordered_set<DevIno, DevIno::Hash>& seen);
    [[nodiscard]] bool list(Item& folder, const std::string& path, std::vector<std::string>& names);
    void addChild(Item& folder, const std::string& folderPath, const std::string& name);
    Item& newChild(Item& folder, const std::string& name, const std::string& path, ItemKind kind);
    void report(const Item& folder);

    ScanResult& m_result;
    const ProgressCallback& m_progress;
    const CancelCallback& m_cancel;
    const ScanEnvironment& m_env;
    TimeoutPool& m_pool;
    std::vector<Pending> m_stack;
    std::int64_t m_nextID = 1;
    std::int64_t m_files = 0;
    std::int64_t m_timedOut = 0;
    std::optional<double> m_lastReport;
};

void Walk::root(std::int64_t index, const std::string& name, const std::string& path) {
    const std::string id = "root[" + std::to_string(index) + "]";
    Item& root = m_result.add(Item(id, "", name, ItemKind::dir, index));
    root.setPath(path);
    root.resolved = true;
    auto [it, inserted] = m_result.containers.try_emplace(index, index, name);
    Container& container = it->second;
    container.name = name;
    container.localPath = path;
    container.order = index - 1;
    container.root = &root;

    std::unordered_set<DevIno, DevIno::Hash> seen;
    m_stack.push_back({&root, path});
    while (!m_stack.empty()) {
        const Pending pending = std::move(m_stack.back());
        m_stack.pop_back();
        visit(pending, seen);
    }
    m_result.roots.push_back(&root);
}

void Walk::visit(const Pending& pending, std::unordered_set<DevIno, DevIno::Hash>& seen) {
    if (cancelRequested(m_cancel))
        throw ScanError::cancelled();
    // Links are followed only to folders inside the home folder; the walk goes on at the target.
    const auto [info, path] = FS::lstatDir(pending.path, m_env.home);
    if (!info || !info->isDir() || !seen.insert(DevIno::of(*info)).second)
        return;
    Item& folder = *pending.folder;
    if (info->isDataless()) {
        // Listing a never-opened folder would make the system fetch it from the server.
        folder.enumerated = false;
        return;
    }
    std::vector<std::string> names;
    if (!list(folder, path, names))
        return;
    for (const std::string& name : names)
        addChild(folder, path, name);
    report(folder);
}

bool Walk::list(Item& folder, const std::string& path, std::vector<std::string>& names) {
    try {
        names = m_pool.run(FilesystemScanner::listTimeout, nullptr, m_cancel, false,
                           [path] { return FS::listNames(path); });
        folder.enumerated = true;
        return true;
    } catch (const FSError& error) {
        folder.enumerated = false;
        folder.denied = error.isPermission();
    } catch (const ScanError& error) {
        if (!error.isTimeout())
            throw;
        folder.enumerated = false;
        folder.timeout = true;
        ++m_timedOut;
    }
    return false;
}

void Walk::addChild(Item& folder, const std::string& folderPath, const std::string& name) {
    std::string path = FS::join(folderPath, name);
    const auto info = FS::lstat(path);
    if (!info)
        return;
    if (info->isDir() || (info->isLink() && FS::isDirectory(path) && [&] {
            const auto target = FS::realpath(path);
            return target && FS::isInsideHome(*target, m_env.home);
        }())) {
        // A link to a folder keeps its own path; the walk resolves it again when it gets there.
        Item& child = newChild(folder, name, path, ItemKind::dir);
        child.mt = info->mtime;
        m_stack.push_back({&child, std::move(path)});
    } else if (info->isReg()) {
        Item& child = newChild(folder, name, path, ItemKind::doc);
        child.mt = info->mtime;
        child.sz = child.qta = info->size;
        child.dataless = info->isDataless();
        child.localAlloc = child.dataless ? 0 : info->alloc();
        ++m_files;
    }
}

Item& Walk::newChild(Item& folder, const std::string& name, const std::string& path,
                     ItemKind kind) {
    const std::string id = "fs" + std::to_string(m_nextID++);
    Item& child = m_result.add(Item(id, folder.id(), name, kind, folder.container()));
    child.setPath(path);
    child.resolved = true;
    folder.children.push_back(&child);
    return child;
}

void Walk::report(const Item& folder) {
    const double now = monotonicSeconds();
    if (m_lastReport && now - *m_lastReport <= reportInterval)
        return;
    m_lastReport = now;
    m_progress("fs", m_files, 0,
               "Procházím disk… " + std::to_string(m_files) + " souborů, " +
                   std::string(folder.name()));
}

} // namespace

ScanResult FilesystemScanner::build(const std::vector<std::pair<std::string, std::string>>& roots,
                                    const ProgressCallback& progress, const CancelCallback& cancel,
                                    const ScanEnvironment& env, TimeoutPool& pool) {
    (void)IOPolicy::disableMaterialization();
    ScanResult result;
    result.mode = ScanMode::fs;
    Walk walk(result, progress, cancel, env, pool);
    for (std::size_t i = 0; i < roots.size(); ++i)
        walk.root(static_cast<std::int64_t>(i) + 1, roots[i].first, roots[i].second);
    result.stats["items_parsed"] = static_cast<std::int64_t>(result.itemCount());
    result.stats["dirs_timeout"] = walk.timedOut();
    Aggregator::aggregate(result);
    return result;
}

} // namespace tessary
