#include "TessaryCore/FilesystemScanner.hpp"

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/DevIno.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <chrono>
#include <unordered_set>

namespace tessary {

ScanResult FilesystemScanner::build(const std::vector<std::pair<std::string, std::string>>& roots,
                                    const ProgressCallback& progress, const CancelCallback& cancel,
                                    const ScanEnvironment& env, TimeoutPool& pool) {
    using Clock = std::chrono::steady_clock;
    IOPolicy::disableMaterialization();
    ScanResult result;
    result.mode = ScanMode::fs;

    std::int64_t files = 0;
    std::int64_t created = 0;
    std::int64_t timedOut = 0;
    bool reported = false;
    auto lastReport = Clock::now();
    std::string id;

    for (std::size_t i = 0; i < roots.size(); ++i) {
        const auto& [rootName, rootPath] = roots[i];
        const auto index = static_cast<std::int64_t>(i + 1);
        Container& c = result.containers.try_emplace(index, index, rootName).first->second;
        c.name = rootName;
        c.localPath = rootPath;
        c.order = static_cast<std::int64_t>(i);
        Item& root = result.add(
            Item("root[" + std::to_string(index) + "]", "", rootName, ItemKind::dir, index));
        root.setName(rootName);
        root.setPath(rootPath);
        root.resolved = true;
        c.root = &root;

        std::unordered_set<DevIno, DevIno::Hash> seen;
        std::vector<std::pair<Item*, std::string>> stack{{&root, rootPath}};
        while (!stack.empty()) {
            auto [item, path] = std::move(stack.back());
            stack.pop_back();
            if (cancelRequested(cancel))
                throw ScanError::cancelled();
            auto st = FS::lstat(path);
            if (!st)
                continue;
            if (st->isLink()) {
                const auto real = FS::realpath(path);
                if (!real || !FS::isInsideHome(*real, env.home))
                    continue;
                st = FS::lstat(*real);
                if (!st || !st->isDir())
                    continue;
                path = *real;
            }
            if (!st->isDir())
                continue;
            if (!seen.insert(DevIno::of(*st)).second)
                continue;
            if (st->isDataless()) {
                item->enumerated = false;
                continue;
            }
            std::vector<std::string> names;
            try {
                names = pool.run(listTimeout, {}, cancel, false,
                                 [p = path] { return FS::listNames(p, FS::noLimit); });
            } catch (const ScanError& e) {
                if (!e.isTimeout())
                    throw;
                item->enumerated = false;
                item->timeout = true;
                ++timedOut;
                continue;
            } catch (const FSError& e) {
                item->enumerated = false;
                if (e.isPermission())
                    item->denied = true;
                continue;
            }
            item->enumerated = true;
            const std::string parentId(item->id());
            for (const std::string& name : names) {
                std::string childPath = FS::join(path, name);
                const auto cst = FS::lstat(childPath);
                if (!cst)
                    continue;
                ItemKind kind;
                if (cst->isDir()) {
                    kind = ItemKind::dir;
                } else if (cst->isReg()) {
                    kind = ItemKind::doc;
                } else if (cst->isLink()) {
                    const auto real = FS::realpath(childPath);
                    if (!real || !FS::isInsideHome(*real, env.home) || !FS::isDirectory(*real))
                        continue;
                    kind = ItemKind::dir;
                } else {
                    continue;
                }
                id = "fs" + std::to_string(++created);
                Item* child = result.addNew(id, parentId, name, kind, index);
                if (!child)
                    continue; // an id already taken cannot happen with fresh numbers
                child->setPath(childPath);
                child->resolved = true;
                child->mt = cst->mtime;
                if (kind == ItemKind::doc) {
                    child->sz = child->qta = cst->size;
                    child->dataless = cst->isDataless();
                    child->localAlloc = child->dataless ? 0 : cst->alloc();
                    ++files;
                }
                item->children.push_back(child);
                if (kind == ItemKind::dir)
                    stack.emplace_back(child, std::move(childPath));
            }
            const auto now = Clock::now();
            if (progress &&
                (!reported || std::chrono::duration<double>(now - lastReport).count() > 0.2)) {
                reported = true;
                lastReport = now;
                progress("fs", files, 0,
                         "Procházím disk… " + std::to_string(files) + " souborů, " +
                             std::string(item->name()));
            }
        }
        result.roots.push_back(&root);
    }
    result.stats["items_parsed"] = static_cast<std::int64_t>(result.itemCount());
    result.stats["dirs_timeout"] = timedOut;
    Aggregator::aggregate(result);
    return result;
}

} // namespace tessary
