#include "TessaryCore/NameResolver.hpp"

#include "TessaryCore/DevIno.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/Masking.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/StableSorted.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tessary {

namespace {

constexpr double reportEvery = 0.2;

std::string wholeSeconds(double seconds) {
    return std::to_string(static_cast<long long>(std::llround(seconds)));
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i)
            out += ", ";
        out += names[i];
    }
    return out;
}

} // namespace

std::string NameResolver::deniedWarning(std::int64_t count, const std::vector<std::string>& names) {
    return "K " + std::to_string(count) + " složkám systém odepřel přístup (" + joined(names) +
           ") – povolte aplikaci přístup k souborům v Nastavení systému → Soukromí a "
           "zabezpečení → Soubory a složky.";
}

LocalListing NameResolver::listDir(const std::string& path, const std::string& home,
                                   TimeoutPool& pool) {
    LocalListing out;
    for (FS::Entry& listed : FS::listStats(path, FS::noLimit)) {
        const std::optional<StatInfo>& st = listed.stat;
        if (!st)
            continue;
        const std::string& name = listed.name;
        std::string child = FS::join(path, name);
        StatInfo info = *st;
        ItemKind kinds[2];
        int nk = 0;
        bool link = false;
        if (st->isDir()) {
            kinds[nk++] = ItemKind::dir;
        } else if (st->isReg()) {
            kinds[nk++] = ItemKind::doc;
        } else if (st->isLink()) {
            link = true;
            kinds[nk++] = ItemKind::symlink;
            if (const auto real = FS::realpath(child); real && FS::isInsideHome(*real, home)) {
                if (const auto target = FS::lstat(*real); target && target->isDir()) {
                    kinds[nk++] = ItemKind::dir;
                    info = *target;
                }
            }
        } else {
            continue;
        }
        auto entry = std::make_shared<LocalEntry>(name, std::move(child), kinds[nk - 1], pool);
        entry->size = info.size;
        entry->mtime = info.mtime;
        entry->dataless = info.isDataless();
        entry->alloc = info.alloc();
        entry->isLink = link;
        for (std::string& mask : Masking::maskVariants(name)) {
            for (int k = 0; k < nk; ++k)
                out[LocalKey{mask, kinds[k]}].push_back(entry);
        }
    }
    return out;
}

std::int64_t NameResolver::resolveNames(ScanResult& result, const ProgressCallback& progress,
                                        const std::unordered_set<std::string>& allowDatalessIDs,
                                        Item* start, const std::optional<std::string>& startPath,
                                        const CancelCallback& cancel,
                                        std::optional<double> listLimit,
                                        std::optional<double> hydrateLimit,
                                        const ScanEnvironment& env, TimeoutPool& pool) {
    using Clock = std::chrono::steady_clock;
    const ProgressCallback report = progress ? progress : ProgressCallback(noopProgress);

    std::int64_t dirsTotal = 0;
    if (auto it = result.stats.find("dirs_total"); it != result.stats.end()) {
        dirsTotal = it->second;
    } else {
        result.forEachItem([&](Item& item) {
            if (item.kind() == ItemKind::dir)
                ++dirsTotal;
        });
        result.stats["dirs_total"] = dirsTotal;
    }

    ResolveStack stack;
    if (start) {
        std::string p = startPath ? *startPath : std::string(start->path().value_or(""));
        stack.emplace_back(start, std::move(p));
    } else {
        std::vector<const Container*> containers;
        for (const auto& [index, c] : result.containers)
            containers.push_back(&c);
        containers =
            stableSorted(std::move(containers), [](const Container* a, const Container* b) {
                return a->index < b->index;
            });
        for (const Container* c : containers)
            if (c->root && c->localPath)
                stack.emplace_back(c->root, *c->localPath);
    }

    std::unordered_set<DevIno, DevIno::Hash> seen;
    std::int64_t listed = 0;
    std::int64_t newly = 0;
    std::int64_t resolvedNames = 0;
    std::int64_t timedOut = 0;
    // The time limit that the timed-out listings had: a hydrated folder waits far longer than
    // one met during a scan, and the warning must name the limit that applied.
    double timedOutLimit = 0;
    std::int64_t denied = 0;
    std::vector<std::string> deniedNames;
    auto lastReport = Clock::now();

    while (!stack.empty()) {
        auto [item, path] = std::move(stack.back());
        stack.pop_back();
        if (cancelRequested(cancel))
            throw ScanError::cancelled();
        const auto now = Clock::now();
        if (std::chrono::duration<double>(now - lastReport).count() > reportEvery) {
            lastReport = now;
            report("resolve", listed, dirsTotal,
                   "Porovnávám s diskem… " + std::string(item->name()));
        }

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

        const bool hydrate = allowDatalessIDs.count(std::string(item->id())) != 0;
        std::string_view phase = "resolve";
        std::optional<double> limit = listLimit;
        if (hydrate) {
            phase = "hydrate";
            limit = hydrateLimit;
        } else if (st->isDataless()) {
            // A cloud-only folder is not listed during a scan.
            item->enumerated = false;
            item->setPath(path);
            continue;
        }

        const std::string itemName(item->name());
        const std::string phaseText(phase);
        auto waiting = [&, itemName, phaseText](double elapsed) {
            report(phaseText, listed, dirsTotal,
                   "Čekám na iCloud Drive u složky „" + itemName + "“ (" + wholeSeconds(elapsed) +
                       " s)…");
        };
        LocalListing local;
        try {
            local = pool.run(limit, waiting, cancel, hydrate,
                             [p = path, h = env.home, &pool] { return listDir(p, h, pool); });
        } catch (const ScanError& e) {
            if (!e.isTimeout())
                throw;
            item->enumerated = false;
            item->timeout = true;
            item->setPath(path);
            ++timedOut;
            timedOutLimit = std::max(timedOutLimit, limit.value_or(0));
            continue;
        } catch (const FSError& e) {
            if (e.isPermission()) {
                item->enumerated = false;
                item->denied = true;
                item->setPath(path);
                ++denied;
                if (deniedNames.size() < 3)
                    deniedNames.emplace_back(item->name());
            } else if (e.isCloudOnly()) {
                item->enumerated = false;
                item->setPath(path);
            }
            continue;
        }
        ++listed;
        if (!item->enumerated)
            ++newly;
        item->enumerated = true;
        item->timeout = false;
        item->denied = false;
        item->setPath(path);
        resolvedNames += NameMatching::matchChildren(*item, local, stack, pool);
    }

    result.stats["dirs_enumerated"] += newly;
    result.stats["names_resolved"] += resolvedNames;
    result.stats["dirs_timeout"] += timedOut;
    result.stats["dirs_denied"] += denied;

    if (timedOut > 0)
        result.warnings.push_back(
            std::to_string(timedOut) + " složek se nepodařilo vypsat do " +
            wholeSeconds(timedOutLimit) +
            " s (iCloud Drive je zrovna synchronizoval) – počítají se jako „jen v cloudu“. "
            "Zkuste později „Znovu porovnat“.");
    if (denied > 0)
        result.warnings.push_back(deniedWarning(denied, deniedNames));

    report("resolve", dirsTotal, dirsTotal, "Porovnání s diskem hotovo");
    return newly;
}

} // namespace tessary
