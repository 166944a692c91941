#include "TessaryCore/Eviction.hpp"

#include "TessaryCore/Brctl.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/StatInfo.hpp"
#include "TessaryCore/Trash.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <unordered_set>

namespace tessary {

namespace {

std::string lastComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool onICloudDrive(const ScanResult& result, const ScanEnvironment& env, const Item& item) {
    if (result.mode != ScanMode::dump)
        return false;
    const std::optional<std::string> path = item.path();
    return !path || path->starts_with(env.mobileDocs + "/");
}

bool insidePackage(const ScanResult& result, const Item& item) {
    const std::vector<Item*> above = result.ancestors(item);
    return std::any_of(above.begin(), above.end(),
                       [](const Item* a) { return a->kind() == ItemKind::doc; });
}

// What a walk down from a folder on the iCloud Drive already knows of the documents it meets:
// they are on the iCloud Drive too, and not inside a package (the walk never enters one). Saves
// a path and a list of ancestors for each of them.
struct Place {
    bool known = false;
};
constexpr Place belowDriveFolder{true};

std::optional<std::string> documentReason(const Item& doc, const ScanResult& result,
                                          const ScanEnvironment& env, Place place = {}) {
    if (doc.kind() == ItemKind::symlink)
        return Eviction::link;
    if (doc.dataless)
        return Eviction::onlyInCloud;
    const std::optional<LocalIdentity> seen = doc.localIdentity();
    if (!doc.resolved || doc.ambiguous || !doc.hasPath() || !seen)
        return Eviction::notPaired;
    if (!place.known && !onICloudDrive(result, env, doc))
        return Eviction::notOnICloudDrive;
    if ((seen->type & S_IFMT) == S_IFDIR)
        return Eviction::package;
    if (!place.known && insidePackage(result, doc))
        return Eviction::insidePackage;
    // Another size, or a newer time, than the server's copy: edits not uploaded yet.
    if (seen->size != doc.sz || seen->mtime > doc.mt)
        return Eviction::localChanges;
    return std::nullopt;
}

// Whether the document takes room on this disk, so that leaving it is worth a word.
bool holdsBytes(const Item& doc) {
    return doc.resolved && !doc.dataless && doc.localAlloc > 0;
}

// Whether something below `folder` may be freed. A folder seen from far above would cost a walk
// of everything below it; after `budget` items the answer is yes, and the confirmation says
// exactly what is freed.
bool holdsFreeable(const Item& folder, const ScanResult& result, const ScanEnvironment& env,
                   std::size_t budget = 20000) {
    std::vector<const Item*> stack{&folder};
    while (!stack.empty()) {
        const Item* at = stack.back();
        stack.pop_back();
        for (const Item* child : at->children) {
            if (budget-- == 0)
                return true;
            if (child->dead || child->aggLocal <= 0)
                continue;
            if (child->isDir())
                stack.push_back(child);
            else if (!documentReason(*child, result, env, belowDriveFolder))
                return true;
        }
    }
    return false;
}

// The part of the tool's output about `path` ("brctl: PATH: reason"), or none.
std::optional<std::string> toolReason(const std::string& output, const std::string& path) {
    const std::string prefix = "brctl: " + path + ": ";
    const std::size_t at = output.find(prefix);
    if (at == std::string::npos)
        return std::nullopt;
    const std::size_t from = at + prefix.size();
    const std::size_t end = output.find('\n', from);
    return output.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// Why the job's file must not be handed to the tool now; none when it may.
std::optional<std::string> checkNow(const std::string& home, const Eviction::Job& job) {
    const std::optional<StatInfo> st = FS::lstat(job.path);
    if (!st)
        return Trash::gone;
    if (st->isReg() && !st->isDataless() && (st->size != job.size || st->mtime > job.mtime))
        return Eviction::localChanges;
    try {
        Trash::verifyEntry(home, job.path, job.expected);
    } catch (const ScanError& e) {
        return e.what();
    }
    return std::nullopt;
}

bool isPlaceholder(const std::string& path) {
    const std::optional<StatInfo> st = FS::lstat(path);
    return st && st->isReg() && st->isDataless();
}

// Hands `ready` to the tool and sorts them into done and failed by what the disk shows after.
void evictBatch(const std::vector<const Eviction::Job*>& ready, Eviction::Outcome& outcome) {
    std::vector<std::string> args{Brctl::toolPath(), "evict"};
    for (const Eviction::Job* job : ready)
        args.push_back(job->path);
    std::string output;
    bool ran = true;
    try {
        output = Brctl::run(args, Eviction::toolTimeout, true).output;
    } catch (const std::exception&) {
        ran = false;
    }
    for (const Eviction::Job* job : ready) {
        if (isPlaceholder(job->path)) {
            outcome.done.push_back(job->id);
            continue;
        }
        const std::string reason = !ran
                                       ? Eviction::toolFailed
                                       : toolReason(output, job->path).value_or(Eviction::notFreed);
        outcome.failed.push_back({job->id, lastComponent(job->path), reason});
    }
}

} // namespace

std::optional<std::string> Eviction::reason(const Item& item, const ScanResult& result,
                                            const ScanEnvironment& env) {
    if (item.dead)
        return deleted;
    if (!item.isDir())
        return documentReason(item, result, env);
    if (!onICloudDrive(result, env, item))
        return notOnICloudDrive;
    if (item.aggLocal <= 0 || !holdsFreeable(item, result, env))
        return nothingDownloaded;
    return std::nullopt;
}

Eviction::Selection Eviction::select(const std::vector<const Item*>& chosen,
                                     const ScanResult& result, const ScanEnvironment& env) {
    Selection selection;
    std::unordered_set<const Item*> seen;
    // Only several chosen items can overlap (a folder and something inside it).
    const bool overlap = chosen.size() > 1;
    const auto take = [&](const Item& doc, bool chosenItself) {
        if (overlap && !seen.insert(&doc).second)
            return;
        if (const std::optional<std::string> why =
                documentReason(doc, result, env, chosenItself ? Place{} : belowDriveFolder)) {
            if (chosenItself || holdsBytes(doc))
                selection.refused.push_back({&doc, *why});
            return;
        }
        selection.documents.push_back(&doc);
        selection.bytes += doc.localAlloc;
    };
    for (const Item* item : chosen) {
        if (item->dead) {
            selection.refused.push_back({item, deleted});
            continue;
        }
        if (!item->isDir()) {
            take(*item, true);
            continue;
        }
        if (!onICloudDrive(result, env, *item)) {
            selection.refused.push_back({item, notOnICloudDrive});
            continue;
        }
        std::vector<const Item*> stack{item};
        while (!stack.empty()) {
            const Item* at = stack.back();
            stack.pop_back();
            if (overlap && at != item && !seen.insert(at).second)
                continue;
            for (const Item* child : at->children) {
                if (child->dead)
                    continue;
                if (child->isDir())
                    stack.push_back(child);
                else
                    take(*child, false);
            }
        }
    }
    return selection;
}

Eviction::Job Eviction::jobFor(const Item& document) {
    return Job{std::string(document.id()), document.path().value_or(std::string()),
               document.localIdentity(), document.sz, document.mt};
}

Eviction::Outcome Eviction::run(const std::string& home, const std::vector<Job>& jobs,
                                const ProgressCallback& progress, const CancelCallback& cancel) {
    Outcome outcome;
    const auto total = static_cast<std::int64_t>(jobs.size());
    for (std::size_t start = 0; start < jobs.size(); start += batchSize) {
        if (cancelRequested(cancel)) {
            outcome.skipped = total - static_cast<std::int64_t>(start);
            break;
        }
        const std::size_t end = std::min(jobs.size(), start + batchSize);
        if (progress)
            progress("evict", static_cast<std::int64_t>(start), total,
                     std::string("Uvolňuji z tohoto Macu… ") + lastComponent(jobs[start].path));
        std::vector<const Job*> ready;
        for (std::size_t i = start; i < end; ++i) {
            const Job& job = jobs[i];
            if (isPlaceholder(job.path)) {
                outcome.done.push_back(job.id); // freed already, by someone else
            } else if (const std::optional<std::string> why = checkNow(home, job)) {
                outcome.failed.push_back({job.id, lastComponent(job.path), *why});
            } else {
                ready.push_back(&job);
            }
        }
        if (!ready.empty())
            evictBatch(ready, outcome);
    }
    if (progress && outcome.skipped == 0)
        progress("evict", total, total, "Uvolňuji z tohoto Macu…");
    return outcome;
}

} // namespace tessary
