#include "TessaryCore/Scanner.hpp"

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Brctl.hpp"
#include "TessaryCore/ContainerMapper.hpp"
#include "TessaryCore/DiskWalker.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FilesystemScanner.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <unordered_set>

namespace tessary {
namespace {

constexpr double quotaTimeout = 30.0;
// Entries of the disk listed before the resolver asks for them, at most: a quarter of a
// million-item world, little beside what the scan keeps.
constexpr std::size_t listedAheadEntries = 256 * 1024;
constexpr std::size_t hydrateFrontierLimit = 200;

std::int64_t secondsNow() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool cachedDumpIsFresh(const Scanner::Options& options, const ScanEnvironment& env) {
    if (options.refresh)
        return false;
    const auto info = FS::lstat(env.dumpFile);
    return info && Scanner::isFresh(info->mtime, secondsNow(), options.maxAgeHours);
}

void checkCancel(const CancelCallback& cancel) {
    if (cancelRequested(cancel))
        throw ScanError::cancelled();
}

// The quota query, asked on a thread of its own when the scan starts: the tool may take seconds
// to answer, and the scan need not wait for it at its end. A scan that ends early (failed or
// stopped) stops the query too and waits for its tool to be gone.
class QuotaAside {
public:
    explicit QuotaAside(const CancelCallback& cancel)
        : m_answer(std::async(std::launch::async, [this, cancel] {
              return Brctl::quota(quotaTimeout, {}, [this, &cancel] {
                  return m_stop.load() || cancelRequested(cancel);
              });
          })) {}
    QuotaAside(const QuotaAside&) = delete;
    QuotaAside& operator=(const QuotaAside&) = delete;
    ~QuotaAside() {
        m_stop.store(true);
        if (m_answer.valid())
            m_answer.wait();
    }

    // The free quota, once the tool has answered; none when it could not say.
    [[nodiscard]] std::optional<std::int64_t> take() { return m_answer.get(); }

private:
    std::atomic<bool> m_stop{false};
    std::future<std::optional<std::int64_t>> m_answer;
};

// Parses the dump, heeding a stop request at each progress report; a cached one that is no dump
// gets the hint how to make a new one.
ScanResult parseDump(const Scanner::Options& options, const ProgressCallback& progress,
                     const CancelCallback& cancel, const ScanEnvironment& env, bool cached) {
    const ProgressCallback stoppable = [&](std::string_view phase, std::int64_t done,
                                           std::int64_t total, std::string_view message) {
        checkCancel(cancel);
        progress(phase, done, total, message);
    };
    try {
        return DumpParser::parse(env.dumpFile, stoppable);
    } catch (const ScanError& e) {
        if (!cached || e.kind() != ScanError::Kind::message || options.refreshHint.empty())
            throw;
        throw ScanError::message(e.payload() + " " + options.refreshHint);
    }
}

std::unique_ptr<ScanResult> scanDump(const Scanner::Options& options,
                                     const ProgressCallback& progress, const CancelCallback& cancel,
                                     const ScanEnvironment& env, TimeoutPool& pool) {
    const bool cached = cachedDumpIsFresh(options, env);
    // The disk is listed on the other core while the tool makes the dump and this thread reads
    // it; the resolver then takes these listings instead of listing those folders again. A scan
    // that ends early stops the listing with it.
    DiskWalker listedAhead(env.mobileDocs, env.home, NameResolver::listTimeout, pool, 1,
                           listedAheadEntries);
    if (!cached)
        (void)Brctl::runDump(env.dumpFile, progress, cancel, env);
    checkCancel(cancel);
    auto result = std::make_unique<ScanResult>(parseDump(options, progress, cancel, env, cached));
    // The resolver lists the rest on the pool, as fast as a lister going on beside it, and with
    // less memory: the lister would run ahead of it in the disk's order, not the database's.
    listedAhead.stop();
    checkCancel(cancel);
    ContainerMapper::mapContainers(*result, env);
    checkCancel(cancel);
    (void)NameResolver::resolveNames(*result, progress, {}, nullptr, std::nullopt, cancel,
                                     NameResolver::listTimeout, NameResolver::hydrateTimeout, env,
                                     pool, &listedAhead);
    checkCancel(cancel);
    progress("aggregate", 0, 1, "Sčítám velikosti…");
    Aggregator::aggregate(*result);
    return result;
}

std::vector<std::pair<std::string, std::string>> fsRootsOf(const Scanner::Options& options,
                                                           const ScanEnvironment& env) {
    if (options.fsRoots)
        return *options.fsRoots;
    return {{"iCloud Drive", env.cloudDocsDir}};
}

// One level of hydration: resolves every unlisted folder of `frontier` and returns the next
// level's frontier. Aggregates before any error leaves, so the tree stays consistent.
std::vector<Item*> hydrateLevel(ScanResult& result, const std::vector<Item*>& frontier,
                                const ProgressCallback& progress, const CancelCallback& cancel,
                                const ScanEnvironment& env, TimeoutPool& pool,
                                std::int64_t& listed) {
    std::vector<Item*> next;
    for (Item* folder : frontier) {
        if (cancelRequested(cancel)) {
            Aggregator::aggregate(result);
            throw ScanError::cancelled();
        }
        if (!folder->enumerated && folder->hasPath()) {
            try {
                const std::unordered_set<std::string> allowed{std::string(folder->id())};
                listed += NameResolver::resolveNames(
                    result, progress, allowed, folder, std::string(*folder->path()), cancel,
                    NameResolver::listTimeout, NameResolver::hydrateTimeout, env, pool);
            } catch (...) {
                Aggregator::aggregate(result);
                throw;
            }
        }
        for (Item* child : folder->children)
            if (child->isDir() && child->hasPath() && !child->enumerated)
                next.push_back(child);
    }
    if (next.size() > hydrateFrontierLimit)
        next.resize(hydrateFrontierLimit);
    return next;
}

} // namespace

Item& Scanner::folder(const ScanResult& result, std::string_view itemID) {
    Item* item = result.get(itemID);
    if (!item)
        throw ScanError::message("Položka „" + std::string(itemID) + "“ ve výsledku skenu není.");
    if (!item->isDir())
        throw ScanError::message("Položka „" + std::string(itemID) + "“ není složka.");
    return *item;
}

bool Scanner::isFresh(std::int64_t mtime, std::int64_t now, double maxAgeHours) {
    const std::int64_t age = now - mtime;
    return static_cast<double>(age) < maxAgeHours * 3600.0;
}

std::unique_ptr<ScanResult> Scanner::scan(const Options& options, const ProgressCallback& progress,
                                          const CancelCallback& cancel, const ScanEnvironment& env,
                                          TimeoutPool& pool) {
    (void)IOPolicy::disableMaterialization();
    QuotaAside quota(cancel);
    std::unique_ptr<ScanResult> result;
    if (options.mode == ScanMode::fs)
        result = std::make_unique<ScanResult>(
            FilesystemScanner::build(fsRootsOf(options, env), progress, cancel, env, pool));
    else
        result = scanDump(options, progress, cancel, env, pool);
    checkCancel(cancel);
    result->quotaRemaining = quota.take();
    checkCancel(cancel);
    progress("done", 1, 1, "Hotovo");
    return result;
}

std::unique_ptr<ScanResult> Scanner::analyseDump(const std::string& path,
                                                 const ProgressCallback& progress,
                                                 const CancelCallback& cancel) {
    // The parser has no cancel callback of its own: its progress reports are where a stop
    // request is heard.
    const ProgressCallback stoppable = [&](std::string_view phase, std::int64_t done,
                                           std::int64_t total, std::string_view message) {
        checkCancel(cancel);
        progress(phase, done, total, message);
    };
    auto result = std::make_unique<ScanResult>(DumpParser::parse(path, stoppable));
    checkCancel(cancel);
    progress("aggregate", 0, 1, "Sčítám velikosti…");
    Aggregator::aggregate(*result);
    checkCancel(cancel);
    progress("done", 1, 1, "Hotovo");
    return result;
}

std::int64_t Scanner::hydrate(ScanResult& result, std::string_view itemID, int depth,
                              const ProgressCallback& progress, const CancelCallback& cancel,
                              const ScanEnvironment& env, TimeoutPool& pool) {
    Item* item = &folder(result, itemID);
    if (!item->hasPath())
        throw ScanError::message("Složka nemá známou cestu na disku.");
    if (item->isVirtual())
        throw ScanError::message("Kořen nelze načítat najednou – vyberte konkrétní složku.");
    const int levels = std::clamp(depth, 1, 3);
    std::int64_t listed = 0;
    std::vector<Item*> frontier{item};
    for (int level = 0; level < levels && !frontier.empty(); ++level)
        frontier = hydrateLevel(result, frontier, progress, cancel, env, pool, listed);
    Aggregator::aggregate(result);
    return listed;
}

} // namespace tessary
