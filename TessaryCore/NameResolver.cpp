#include "TessaryCore/NameResolver.hpp"

#include "TessaryCore/DevIno.hpp"
#include "TessaryCore/DiskWalker.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ListingsAhead.hpp"
#include "TessaryCore/LocalListing.hpp"
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
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tessary {

namespace {

constexpr double reportEvery = 0.2;
// Folders listed ahead, while the walk is matching: the next ones on the stack. Listing is
// nearly all system calls, so two listings per core keep both cores busy while this thread
// matches; more only holds more listings in memory.
constexpr std::size_t lookAhead = 4;

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

// The kinds a listed entry may stand for, and its stat as the matching sees it (a link to a
// folder inside the home folder also stands for that folder, with the folder's stat).
struct EntryKinds {
    ItemKind kinds[2];
    std::size_t count = 0;
    bool link = false;
};

std::optional<EntryKinds> kindsOf(const std::string& folder, const FS::Entry& listed,
                                  const std::string& home, StatInfo& info) {
    const StatInfo& st = *listed.stat;
    EntryKinds out;
    if (st.isDir()) {
        out.kinds[out.count++] = ItemKind::dir;
    } else if (st.isReg()) {
        out.kinds[out.count++] = ItemKind::doc;
    } else if (st.isLink()) {
        out.link = true;
        out.kinds[out.count++] = ItemKind::symlink;
        const std::string child = FS::join(folder, listed.name);
        if (const auto real = FS::realpath(child); real && FS::isInsideHome(*real, home)) {
            if (const auto target = FS::lstat(*real); target && target->isDir()) {
                out.kinds[out.count++] = ItemKind::dir;
                info = *target;
            }
        }
    } else {
        return std::nullopt;
    }
    return out;
}

// The listing of a folder listed ahead, or the failure its listing met (thrown as a listing on
// the pool would throw it).
LocalListing fileAhead(DiskWalker::Folder& folder, const std::string& home, TimeoutPool& pool,
                       std::optional<double> limit) {
    switch (folder.outcome) {
    case DiskWalker::Outcome::timedOut:
        throw ScanError::timeout(TimeoutPool::timeoutText(limit.value_or(0)));
    case DiskWalker::Outcome::failed:
        std::rethrow_exception(folder.error);
    default:
        return NameResolver::fileEntries(folder.listed, std::move(folder.entries), home, pool);
    }
}

// Whether a folder from the walker listing ahead answers for `path`: listed there (not through a
// link, nor skipped as seen through another path or as cloud-only), or failed there.
bool isListing(const DiskWalker::Folder& folder, const std::string& path) {
    return folder.listed == path && folder.outcome != DiskWalker::Outcome::skipped &&
           folder.outcome != DiskWalker::Outcome::dataless;
}

// One walk of the dump tree against the disk: the folders still to list, the folders already
// seen, and the counters that end up in the result's stats and warnings.
class ResolveWalk {
public:
    ResolveWalk(ScanResult& result, const ProgressCallback& progress,
                const std::unordered_set<std::string>& allowDatalessIDs,
                const CancelCallback& cancel, std::optional<double> listLimit,
                std::optional<double> hydrateLimit, const ScanEnvironment& env, TimeoutPool& pool,
                DiskWalker* listedAhead)
        : m_result(result), m_report(progress ? progress : ProgressCallback(noopProgress)),
          m_allowDataless(allowDatalessIDs), m_cancel(cancel), m_listLimit(listLimit),
          m_hydrateLimit(hydrateLimit), m_env(env), m_pool(pool), m_listedAhead(listedAhead) {}

    void countFolders();
    void startAt(Item* start, const std::optional<std::string>& startPath);
    void run();
    // Writes the counters to the result's stats and warnings; returns the folders that became
    // enumerated.
    std::int64_t finish();

private:
    void prefetch();
    void guessChildren(const Item& folder, const LocalListing& local);
    void dropWrongGuesses(std::size_t below);
    void step(Item& item, std::string& path, TimeoutPool::Ticket<LocalListing> ahead);
    void reportProgress(const Item& item);
    [[nodiscard]] bool toFolder(std::string& path, std::optional<StatInfo>& st) const;
    [[nodiscard]] bool hydrates(const Item& item) const {
        return !m_allowDataless.empty() && m_allowDataless.count(std::string(item.id())) != 0;
    }
    TimeoutPool::Ticket<LocalListing> startListing(const std::string& path, bool hydrate);
    TimeoutPool::Ticket<LocalListing> listOnPool(const std::string& path, bool hydrate);
    std::optional<LocalListing> list(Item& item, const std::string& path, bool hydrate,
                                     TimeoutPool::Ticket<LocalListing> ticket);
    void flagTimeout(Item& item, const std::string& path, std::optional<double> limit);
    void flagUnlisted(Item& item, const std::string& path, const FSError& e);
    void markListed(Item& item, const std::string& path);

    ScanResult& m_result;
    const ProgressCallback m_report;
    const std::unordered_set<std::string>& m_allowDataless;
    const CancelCallback& m_cancel;
    const std::optional<double> m_listLimit;
    const std::optional<double> m_hydrateLimit;
    const ScanEnvironment& m_env;
    TimeoutPool& m_pool;
    DiskWalker* const m_listedAhead;

    ResolveStack m_stack;
    ListingsAhead<LocalListing> m_ahead;
    // Child folders of the folder in hand whose listings were begun on a guess.
    std::vector<const Item*> m_guessed;
    std::unordered_set<DevIno, DevIno::Hash> m_seen;
    std::int64_t m_dirsTotal = 0;
    std::int64_t m_listed = 0;
    std::int64_t m_newly = 0;
    std::int64_t m_resolvedNames = 0;
    std::int64_t m_timedOut = 0;
    // The time limit that the timed-out listings had: a hydrated folder waits far longer than
    // one met during a scan, and the warning must name the limit that applied.
    double m_timedOutLimit = 0;
    std::int64_t m_denied = 0;
    std::vector<std::string> m_deniedNames;
    std::chrono::steady_clock::time_point m_lastReport = std::chrono::steady_clock::now();
};

void ResolveWalk::countFolders() {
    if (auto it = m_result.stats.find("dirs_total"); it != m_result.stats.end()) {
        m_dirsTotal = it->second;
        return;
    }
    m_result.forEachItem([this](Item& item) {
        if (item.kind() == ItemKind::dir)
            ++m_dirsTotal;
    });
    m_result.stats["dirs_total"] = m_dirsTotal;
}

// The walk begins at `start`, or at every container root with a local folder, first container
// first.
void ResolveWalk::startAt(Item* start, const std::optional<std::string>& startPath) {
    if (start) {
        std::string p = startPath ? *startPath : std::string(start->path().value_or(""));
        m_stack.emplace_back(start, std::move(p));
        return;
    }
    std::vector<const Container*> containers;
    for (const auto& [index, c] : m_result.containers)
        containers.push_back(&c);
    containers = stableSorted(std::move(containers), [](const Container* a, const Container* b) {
        return a->index < b->index;
    });
    for (const Container* c : containers)
        if (c->root && c->localPath)
            m_stack.emplace_back(c->root, *c->localPath);
}

void ResolveWalk::run() {
    while (!m_stack.empty()) {
        auto [item, path] = std::move(m_stack.back());
        m_stack.pop_back();
        if (cancelRequested(m_cancel))
            throw ScanError::cancelled();
        reportProgress(*item);
        TimeoutPool::Ticket<LocalListing> ahead = m_ahead.take(item, path);
        prefetch();
        const std::size_t below = m_stack.size();
        step(*item, path, std::move(ahead));
        dropWrongGuesses(below);
    }
}

// Begins the listings of the next folders on the stack, so that the pool reads them while this
// thread matches. The walk still takes each listing in its own turn, and only when the folder
// is listed at all; a listing begun for nothing is dropped. A folder to be downloaded is never
// listed ahead: that listing changes the disk.
void ResolveWalk::prefetch() {
    const std::size_t n = std::min(lookAhead, m_stack.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto& [item, path] = m_stack[m_stack.size() - 1 - i];
        if (hydrates(*item) || m_ahead.has(item))
            continue;
        try {
            if (TimeoutPool::Ticket<LocalListing> ticket = startListing(path, false);
                ticket.valid())
                m_ahead.add(item, path, std::move(ticket));
        } catch (const ScanError&) {
            return; // no thread to spare now: the folder is listed in its turn
        }
    }
}

// Begins, while this thread matches, the listings of the folders that the matching is about to
// push on top of the stack, the last child first as the walk will take them. A child folder whose
// printed name fits exactly one local folder is guessed to be that one; the walk takes such a
// listing only if the matching paired the child with that very folder.
void ResolveWalk::guessChildren(const Item& folder, const LocalListing& local) {
    std::size_t planned = 0;
    const std::vector<Item*>& kids = folder.children;
    for (auto it = kids.rbegin(); it != kids.rend() && planned < lookAhead; ++it) {
        const Item* child = *it;
        if (child->kind() != ItemKind::dir)
            continue;
        ++planned;
        const LocalListing::Candidates fits = local.find(child->pat(), ItemKind::dir);
        if (fits.size() != 1 || fits.front()->isLink || fits.front()->dataless ||
            hydrates(*child) || m_ahead.has(child))
            continue;
        std::string at = fits.front()->path();
        try {
            TimeoutPool::Ticket<LocalListing> ticket = startListing(at, false);
            if (!ticket.valid())
                continue;
            m_ahead.add(child, std::move(at), std::move(ticket));
        } catch (const ScanError&) {
            return; // no thread to spare now: the folder is listed in its turn
        }
        m_guessed.push_back(child);
    }
}

// Drops what was listed ahead for guessed child folders that the last step did not push onto
// the stack above `below` (paired with another folder, not paired, or not matched at all): the
// walk never takes those listings.
void ResolveWalk::dropWrongGuesses(std::size_t below) {
    const auto pushed = m_stack.begin() + static_cast<std::ptrdiff_t>(below);
    for (const Item* guess : m_guessed)
        if (std::none_of(pushed, m_stack.end(),
                         [guess](const auto& e) { return e.first == guess; }))
            m_ahead.drop(guess);
    m_guessed.clear();
}

void ResolveWalk::reportProgress(const Item& item) {
    const auto now = std::chrono::steady_clock::now();
    if (std::chrono::duration<double>(now - m_lastReport).count() <= reportEvery)
        return;
    m_lastReport = now;
    m_report("resolve", m_listed, m_dirsTotal, "Porovnávám s diskem… " + std::string(item.name()));
}

// One folder: listed (unless cloud-only, already seen or not a folder at all), then its dump
// children paired with what the listing holds.
void ResolveWalk::step(Item& item, std::string& path, TimeoutPool::Ticket<LocalListing> ahead) {
    std::optional<StatInfo> st;
    const std::string stackPath = path;
    if (!toFolder(path, st) || !m_seen.insert(DevIno::of(*st)).second)
        return;
    const bool hydrate = hydrates(item);
    if (!hydrate && st->isDataless()) {
        // A cloud-only folder is not listed during a scan.
        item.enumerated = false;
        item.setPath(path);
        return;
    }
    // A listing begun ahead lists the path as it stood on the stack: not the target of a link.
    if (path != stackPath || hydrate)
        ahead = {};
    std::optional<LocalListing> local = list(item, path, hydrate, std::move(ahead));
    if (!local)
        return;
    markListed(item, path);
    guessChildren(item, *local);
    m_resolvedNames += NameMatching::matchChildren(item, *local, m_stack, m_pool);
}

// Stats `path`, following a link only to a folder inside the home folder (and then moving `path`
// to the link's target). False when it is not a folder to walk.
bool ResolveWalk::toFolder(std::string& path, std::optional<StatInfo>& st) const {
    std::tie(st, path) = FS::lstatDir(path, m_env.home);
    return st && st->isDir();
}

// A folder listed ahead is only filed on the worker; one that the walker listing ahead has yet
// to list is left to it (an empty ticket: the walk takes the listing in its turn); any other is
// listed on the worker.
TimeoutPool::Ticket<LocalListing> ResolveWalk::startListing(const std::string& path, bool hydrate) {
    if (!hydrate && m_listedAhead != nullptr) {
        if (std::optional<DiskWalker::Folder> folder = m_listedAhead->takeReady(path);
            folder && isListing(*folder, path))
            return m_pool.start(false,
                                [f = std::make_shared<DiskWalker::Folder>(std::move(*folder)),
                                 h = m_env.home, &pool = m_pool,
                                 limit = m_listLimit] { return fileAhead(*f, h, pool, limit); });
        if (m_listedAhead->willList(path))
            return {};
    }
    return listOnPool(path, hydrate);
}

TimeoutPool::Ticket<LocalListing> ResolveWalk::listOnPool(const std::string& path, bool hydrate) {
    return m_pool.start(hydrate, [p = path, h = m_env.home, &pool = m_pool] {
        return NameResolver::listDir(p, h, pool);
    });
}

// Lists the folder on a pool worker within its time limit (or takes the listing begun ahead in
// `ticket`, or the one the walker listing ahead makes). None when it could not be listed (the
// item says why); cancellation and unexpected errors are thrown.
std::optional<LocalListing> ResolveWalk::list(Item& item, const std::string& path, bool hydrate,
                                              TimeoutPool::Ticket<LocalListing> ticket) {
    const std::optional<double> limit = hydrate ? m_hydrateLimit : m_listLimit;
    if (!ticket.valid())
        ticket = startListing(path, hydrate);
    try {
        if (!ticket.valid()) {
            // Left to the walker listing ahead: taken from it, and filed on this thread.
            std::optional<DiskWalker::Folder> folder = m_listedAhead->take(path, m_cancel);
            if (folder && isListing(*folder, path))
                return fileAhead(*folder, m_env.home, m_pool, limit);
            ticket = listOnPool(path, false);
        }
        auto waiting = [this, itemName = std::string(item.name()),
                        phase = std::string(hydrate ? "hydrate" : "resolve")](double elapsed) {
            m_report(phase, m_listed, m_dirsTotal,
                     "Čekám na iCloud Drive u složky „" + itemName + "“ (" + wholeSeconds(elapsed) +
                         " s)…");
        };
        return m_pool.wait(ticket, limit, waiting, m_cancel);
    } catch (const ScanError& e) {
        if (!e.isTimeout())
            throw;
        flagTimeout(item, path, limit);
    } catch (const FSError& e) {
        flagUnlisted(item, path, e);
    }
    return std::nullopt;
}

void ResolveWalk::flagTimeout(Item& item, const std::string& path, std::optional<double> limit) {
    item.enumerated = false;
    item.timeout = true;
    item.setPath(path);
    ++m_timedOut;
    m_timedOutLimit = std::max(m_timedOutLimit, limit.value_or(0));
}

// A refused folder is counted and named in the warning; a cloud-only one keeps its path; any
// other failure leaves the item as it was.
void ResolveWalk::flagUnlisted(Item& item, const std::string& path, const FSError& e) {
    if (e.isPermission()) {
        item.enumerated = false;
        item.denied = true;
        item.setPath(path);
        ++m_denied;
        if (m_deniedNames.size() < 3)
            m_deniedNames.emplace_back(item.name());
    } else if (e.isCloudOnly()) {
        item.enumerated = false;
        item.setPath(path);
    }
}

void ResolveWalk::markListed(Item& item, const std::string& path) {
    ++m_listed;
    if (!item.enumerated)
        ++m_newly;
    item.enumerated = true;
    item.timeout = false;
    item.denied = false;
    item.setPath(path);
}

std::int64_t ResolveWalk::finish() {
    m_result.stats["dirs_enumerated"] += m_newly;
    m_result.stats["names_resolved"] += m_resolvedNames;
    m_result.stats["dirs_timeout"] += m_timedOut;
    m_result.stats["dirs_denied"] += m_denied;

    if (m_timedOut > 0)
        m_result.warnings.push_back(
            std::to_string(m_timedOut) + " složek se nepodařilo vypsat do " +
            wholeSeconds(m_timedOutLimit) +
            " s (iCloud Drive je zrovna synchronizoval) – počítají se jako „jen v cloudu“. "
            "Zkuste později „Znovu porovnat“.");
    if (m_denied > 0)
        m_result.warnings.push_back(NameResolver::deniedWarning(m_denied, m_deniedNames));

    m_report("resolve", m_dirsTotal, m_dirsTotal, "Porovnání s diskem hotovo");
    return m_newly;
}

} // namespace

std::string NameResolver::deniedWarning(std::int64_t count, const std::vector<std::string>& names) {
    return "K " + std::to_string(count) + " složkám systém odepřel přístup (" + joined(names) +
           ") – povolte aplikaci přístup k souborům v Nastavení systému → Soukromí a "
           "zabezpečení → Soubory a složky.";
}

LocalListing NameResolver::listDir(const std::string& path, const std::string& home,
                                   TimeoutPool& pool) {
    return fileEntries(path, FS::listStats(path, FS::noLimit), home, pool);
}

LocalListing NameResolver::fileEntries(const std::string& path, std::vector<FS::Entry> entries,
                                       const std::string& home, TimeoutPool& pool) {
    LocalListing out;
    const auto folder = std::make_shared<const std::string>(path);
    for (FS::Entry& listed : entries) {
        if (!listed.stat)
            continue;
        StatInfo info = *listed.stat;
        const StatInfo seen = info; // the entry itself, before a link is followed
        const std::optional<EntryKinds> kinds = kindsOf(path, listed, home, info);
        if (!kinds)
            continue;
        std::vector<std::string> masks = Masking::maskVariants(listed.name);
        LocalEntry entry(std::move(listed.name), folder, kinds->kinds[kinds->count - 1], pool,
                         masks.front());
        entry.size = info.size;
        entry.mtime = info.mtime;
        entry.seen = LocalIdentity::of(seen);
        entry.dataless = info.isDataless();
        entry.alloc = info.alloc();
        entry.isLink = kinds->link;
        out.add(std::move(entry), masks, std::span(kinds->kinds, kinds->count));
    }
    out.seal();
    return out;
}

std::int64_t NameResolver::resolveNames(ScanResult& result, const ProgressCallback& progress,
                                        const std::unordered_set<std::string>& allowDatalessIDs,
                                        Item* start, const std::optional<std::string>& startPath,
                                        const CancelCallback& cancel,
                                        std::optional<double> listLimit,
                                        std::optional<double> hydrateLimit,
                                        const ScanEnvironment& env, TimeoutPool& pool,
                                        DiskWalker* listedAhead) {
    ResolveWalk walk(result, progress, allowDatalessIDs, cancel, listLimit, hydrateLimit, env, pool,
                     listedAhead);
    walk.countFolders();
    walk.startAt(start, startPath);
    walk.run();
    return walk.finish();
}

} // namespace tessary
