#include "TessaryCore/DiskWalker.hpp"

#include "TessaryCore/DevIno.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tessary {

namespace {

using Clock = std::chrono::steady_clock;

// Listings ready before a waiting reader is woken.
constexpr std::size_t wakeBatch = 64;
// The longest the reader waits before it asks whether to stop.
constexpr double waitSlice = 2.0;

Clock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::clamp(seconds, 0.0, 1e9)));
}

// A folder waiting to be listed. `stat` is its lstat from its parent's listing; a root, or a
// link to a folder, has none and is looked up when its turn comes.
struct Pending {
    std::string path;
    std::optional<StatInfo> stat;
};

// The stat of the folder to list, following a link only to a folder inside the home folder
// (and then setting `listed` to the link's target); none when it is no folder to walk.
std::optional<StatInfo> folderStat(const Pending& p, const std::string& home, std::string& listed) {
    std::optional<StatInfo> st = p.stat;
    listed = p.path;
    if (!st)
        std::tie(st, listed) = FS::lstatDir(p.path, home);
    if (!st || !st->isDir())
        return std::nullopt;
    return st;
}

// Lists `folder.listed` into `folder`, noting which links lead to folders the walk follows.
void listInto(DiskWalker::Folder& folder, const std::string& home) {
    try {
        folder.entries = FS::listStats(folder.listed, FS::noLimit);
    } catch (...) {
        folder.outcome = DiskWalker::Outcome::failed;
        folder.error = std::current_exception();
        return;
    }
    folder.outcome = DiskWalker::Outcome::listed;
    for (std::size_t i = 0; i < folder.entries.size(); ++i) {
        const FS::Entry& e = folder.entries[i];
        if (!e.stat || !e.stat->isLink())
            continue;
        const std::optional<std::string> real = FS::realpath(FS::join(folder.listed, e.name));
        if (real && FS::isInsideHome(*real, home) && FS::isDirectory(*real))
            folder.folderLinks.push_back(static_cast<std::uint32_t>(i));
    }
}

} // namespace

bool DiskWalker::Folder::descendsInto(std::size_t i) const {
    const std::optional<StatInfo>& st = entries[i].stat;
    return st && (st->isDir() || std::binary_search(folderLinks.begin(), folderLinks.end(),
                                                    static_cast<std::uint32_t>(i)));
}

// What the reader and the listers share, under `mutex`.
struct DiskWalker::Shared {
    // One lister: the folder it lists, since when, and whether the reader gave up on it.
    struct Slot {
        bool busy = false;
        bool givenUp = false;
        std::string current;
        Clock::time_point since;
    };

    Shared(std::string home, double timeout, std::size_t aheadEntries)
        : home(std::move(home)), timeout(timeout), aheadEntries(aheadEntries) {}

    // Too much is held ahead of the reader: on either side (a folder counts as sixteen entries
    // at least).
    [[nodiscard]] bool full() const {
        return readyEntries + taken.load(std::memory_order_relaxed) + 16 * ready.size() >=
               aheadEntries;
    }
    [[nodiscard]] bool anyBusy() const {
        return std::any_of(slots.begin(), slots.end(), [](const Slot& s) { return s.busy; });
    }
    [[nodiscard]] Slot* listing(const std::string& path) {
        for (Slot& s : slots)
            if (s.busy && s.current == path)
                return &s;
        return nullptr;
    }
    [[nodiscard]] std::ptrdiff_t onStack(const std::string& path) const {
        if (stacked.count(path) == 0)
            return -1;
        for (std::size_t i = stack.size(); i-- > 0;)
            if (stack[i].path == path)
                return static_cast<std::ptrdiff_t>(i);
        return -1;
    }
    // Whether lister `id` may go on.
    [[nodiscard]] bool goesOn(std::size_t id) const { return !stopped && !slots[id].givenUp; }
    void lister(std::size_t id);
    // The next folder for a lister to take, or -1 when it is to wait (or end, once `finished`).
    [[nodiscard]] std::ptrdiff_t pick();
    void listFolder(std::unique_lock<std::mutex>& lock, std::size_t id, Pending p);
    void file(Folder folder);
    void waitForWork(std::unique_lock<std::mutex>& lock);

    const std::string home;
    const double timeout;
    const std::size_t aheadEntries;
    std::mutex mutex;
    std::condition_variable readerCond;
    std::condition_variable listerCond;
    std::vector<Pending> stack;
    // The paths on `stack`, to answer quickly whether one is there.
    std::unordered_multiset<std::string> stacked;
    std::unordered_set<DevIno, DevIno::Hash> seen;
    std::unordered_map<std::string, Folder> ready;
    std::size_t readyEntries = 0;
    // Never shrinks while listers run: each lister keeps its place by index.
    std::deque<Slot> slots;
    std::int64_t listersWaiting = 0;
    // Listers wait because too much is held ahead of the reader.
    std::atomic<bool> throttled{false};
    // Entries moved to the reader's side and not yet taken there; the reader counts them down
    // without the lock.
    std::atomic<std::size_t> taken{0};
    // The folder the reader waits for; listers take it first.
    std::string wanted;
    bool readerWaits = false;
    bool finished = false;
    bool stopped = false;
};

// The lister: takes folders off the stack and lists them until the tree is done, the walker is
// stopped or the reader gave up on this lister. The lock is held only between the listings.
void DiskWalker::Shared::lister(std::size_t id) {
    std::unique_lock lock(mutex);
    while (goesOn(id) && !finished) {
        const std::ptrdiff_t at = pick();
        if (at < 0) {
            if (stack.empty() && !anyBusy()) {
                finished = true;
                readerCond.notify_one();
                listerCond.notify_all();
                return;
            }
            waitForWork(lock);
            continue;
        }
        Pending p = std::move(stack[static_cast<std::size_t>(at)]);
        stack.erase(stack.begin() + at);
        stacked.erase(stacked.find(p.path));
        listFolder(lock, id, std::move(p));
    }
}

// The folder the reader waits for, if it is still on the stack; else the top one, unless too
// much is held ahead already.
std::ptrdiff_t DiskWalker::Shared::pick() {
    if (!wanted.empty())
        if (const std::ptrdiff_t at = onStack(wanted); at >= 0)
            return at;
    if (stack.empty())
        return -1;
    if (full()) {
        throttled = true;
        return -1;
    }
    return static_cast<std::ptrdiff_t>(stack.size()) - 1;
}

void DiskWalker::Shared::waitForWork(std::unique_lock<std::mutex>& lock) {
    ++listersWaiting;
    listerCond.wait(lock);
    --listersWaiting;
}

// Lists one folder taken off the stack. A folder known from its parent's listing is checked
// against the folders seen at once; a root or a link is looked up first, without the lock.
void DiskWalker::Shared::listFolder(std::unique_lock<std::mutex>& lock, std::size_t id, Pending p) {
    Slot& me = slots[id];
    me.busy = true;
    me.current = p.path;
    me.since = Clock::now();
    Folder folder;
    folder.path = p.path;
    std::optional<StatInfo> st;
    if (p.stat) {
        st = folderStat(p, home, folder.listed);
    } else {
        lock.unlock();
        st = folderStat(p, home, folder.listed);
        lock.lock();
        if (me.givenUp)
            return;
    }
    const bool fresh = st && seen.insert(DevIno::of(*st)).second;
    if (fresh && !st->isDataless()) {
        lock.unlock();
        listInto(folder, home);
        lock.lock();
        if (me.givenUp)
            return; // the reader has moved on without this folder
    } else if (fresh) {
        folder.outcome = Outcome::dataless;
    }
    me.busy = false;
    file(std::move(folder));
}

// Puts a finished folder where the reader finds it and its child folders on the stack, last one
// on top; wakes the reader once its folder and a batch after it are ready, or nothing more will
// come soon, and a waiting lister when there is a folder to spare.
void DiskWalker::Shared::file(Folder folder) {
    for (std::size_t i = 0; i < folder.entries.size(); ++i)
        if (folder.descendsInto(i)) {
            const FS::Entry& e = folder.entries[i];
            std::string path = FS::join(folder.listed, e.name);
            stacked.insert(path);
            stack.push_back(Pending{std::move(path), e.stat->isDir() ? e.stat : std::nullopt});
        }
    readyEntries += folder.entries.size();
    std::string path = folder.path;
    ready.insert_or_assign(std::move(path), std::move(folder));
    if (readerWaits && ready.count(wanted) != 0 &&
        (ready.size() >= wakeBatch || stack.empty() || full()))
        readerCond.notify_one();
    if (listersWaiting > 0 && stack.size() >= 2)
        listerCond.notify_one();
}

DiskWalker::DiskWalker(std::string root, std::string home, double timeout, TimeoutPool& pool,
                       int listers, std::size_t aheadEntries)
    : m_shared(std::make_shared<Shared>(std::move(home), timeout, aheadEntries)), m_pool(pool) {
    m_shared->stacked.insert(root);
    m_shared->stack.push_back(Pending{std::move(root), std::nullopt});
    for (int i = 0; i < std::max(1, listers); ++i)
        startLister();
}

DiskWalker::~DiskWalker() {
    stop();
}

void DiskWalker::stop() {
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stopped = true;
    }
    m_shared->listerCond.notify_all();
}

bool DiskWalker::willList(const std::string& path) const {
    if (m_taken.count(path) != 0)
        return true;
    Shared& s = *m_shared;
    const std::lock_guard lock(s.mutex);
    if (s.stopped)
        return s.ready.count(path) != 0;
    return s.ready.count(path) != 0 || s.stacked.count(path) != 0 || s.listing(path) != nullptr;
}

bool DiskWalker::done() const {
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->finished;
}

void DiskWalker::startLister() {
    std::size_t id = 0;
    {
        const std::lock_guard lock(m_shared->mutex);
        id = m_shared->slots.size();
        m_shared->slots.emplace_back();
    }
    // Each ticket is kept while the walker lives: a ticket dropped before its body began would
    // keep it from running at all.
    m_listers.push_back(m_pool.start(false, [shared = m_shared, id] {
        shared->lister(id);
        return true;
    }));
}

// Moves every ready listing to the reader's side in one go, so that the reader takes the lock
// once per batch rather than once per folder; then takes the one for `path`, if there.
std::optional<DiskWalker::Folder> DiskWalker::takeFrom(std::unique_lock<std::mutex>& lock,
                                                       const std::string& path) {
    (void)lock;
    Shared& s = *m_shared;
    if (!s.ready.empty()) {
        m_taken.merge(s.ready);
        s.taken += s.readyEntries;
        s.readyEntries = 0;
    }
    std::optional<Folder> folder = takeTaken(path);
    if (s.throttled && !s.full()) {
        s.throttled = false;
        s.listerCond.notify_all();
    }
    return folder;
}

std::optional<DiskWalker::Folder> DiskWalker::takeTaken(const std::string& path) {
    const auto it = m_taken.find(path);
    if (it == m_taken.end())
        return std::nullopt;
    Folder folder = std::move(it->second);
    m_taken.erase(it);
    m_shared->taken -= folder.entries.size();
    return folder;
}

// Wakes the listers that wait for room once half of what may be held is free again.
void DiskWalker::makeRoom() {
    Shared& s = *m_shared;
    if (!s.throttled.load() || s.taken.load() > s.aheadEntries / 2)
        return;
    const std::lock_guard lock(s.mutex);
    if (s.throttled && !s.full()) {
        s.throttled = false;
        s.listerCond.notify_all();
    }
}

std::optional<DiskWalker::Folder> DiskWalker::takeReady(const std::string& path) {
    if (std::optional<Folder> folder = takeTaken(path)) {
        makeRoom();
        return folder;
    }
    std::unique_lock lock(m_shared->mutex);
    return takeFrom(lock, path);
}

std::optional<DiskWalker::Folder> DiskWalker::take(const std::string& path,
                                                   const CancelCallback& cancel) {
    if (std::optional<Folder> folder = takeTaken(path)) {
        makeRoom();
        return folder;
    }
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (std::optional<Folder> folder = takeFrom(lock, path))
            return folder;
        if (s.stopped)
            return std::nullopt;
        const Clock::time_point now = Clock::now();
        Clock::time_point until = now + toDuration(waitSlice);
        if (Shared::Slot* slot = s.listing(path)) {
            const Clock::time_point limit = slot->since + toDuration(s.timeout);
            if (now >= limit) {
                // Stuck: the folder is given up, and a new lister takes this one's place.
                slot->givenUp = true;
                slot->busy = false;
                lock.unlock();
                startLister();
                Folder folder;
                folder.path = folder.listed = path;
                folder.outcome = Outcome::timedOut;
                return folder;
            }
            until = std::min(until, limit);
        } else if (s.onStack(path) < 0) {
            return std::nullopt;
        } else if (s.listersWaiting > 0) {
            s.listerCond.notify_one();
        }
        s.wanted = path;
        s.readerWaits = true;
        s.readerCond.wait_until(lock, until);
        s.readerWaits = false;
        s.wanted.clear();
        if (cancel) {
            lock.unlock();
            if (cancelRequested(cancel))
                throw ScanError::cancelled();
            lock.lock();
        }
    }
}

} // namespace tessary
