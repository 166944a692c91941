#include "TessaryCore/DiskWalker.hpp"

#include "TessaryCore/DevIno.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_set>
#include <utility>

namespace tessary {

namespace {

using Clock = std::chrono::steady_clock;

// Listings ready before a waiting reader is woken.
constexpr std::size_t wakeBatch = 64;
// What may be held ahead of the reader; the lister waits beyond it.
constexpr std::size_t maxAheadEntries = 64 * 1024;
constexpr std::size_t maxAheadFolders = 4096;
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
    listed = p.path;
    std::optional<StatInfo> st = p.stat ? p.stat : FS::lstat(p.path);
    if (st && st->isLink()) {
        const std::optional<std::string> real = FS::realpath(p.path);
        if (!real || !FS::isInsideHome(*real, home))
            return std::nullopt;
        st = FS::lstat(*real);
        listed = *real;
    }
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
    Shared(std::string home, double timeout) : home(std::move(home)), timeout(timeout) {}

    [[nodiscard]] bool full() const {
        return readyEntries >= maxAheadEntries || ready.size() >= maxAheadFolders;
    }
    [[nodiscard]] bool drained() const {
        return readyEntries <= maxAheadEntries / 2 && ready.size() <= maxAheadFolders / 2;
    }
    void lister(std::uint64_t generation);
    void file(Folder folder);

    const std::string home;
    const double timeout;
    std::mutex mutex;
    std::condition_variable readerCond;
    std::condition_variable listerCond;
    std::vector<Pending> stack;
    std::unordered_set<DevIno, DevIno::Hash> seen;
    std::deque<Folder> ready;
    std::size_t readyEntries = 0;
    // The folder being listed, and since when.
    bool busy = false;
    std::string current;
    Clock::time_point since;
    // Which lister may go on: one that was given up on finds it changed and ends.
    std::uint64_t generation = 0;
    bool finished = false;
    bool stopped = false;
    bool readerWaits = false;
    bool listerWaits = false;
};

// The lister: takes folders off the stack and lists them until the tree is done, the walker is
// stopped or this lister was given up on. The lock is held only between the listings.
void DiskWalker::Shared::lister(std::uint64_t gen) {
    std::unique_lock lock(mutex);
    for (;;) {
        if (stopped || gen != generation)
            return;
        if (full()) {
            listerWaits = true;
            listerCond.wait(lock, [&] { return stopped || gen != generation || drained(); });
            listerWaits = false;
            continue;
        }
        if (stack.empty()) {
            finished = true;
            readerCond.notify_one();
            return;
        }
        Pending p = std::move(stack.back());
        stack.pop_back();
        busy = true;
        current = p.path;
        since = Clock::now();
        // A folder known from its parent's listing is checked against the folders seen at once;
        // a root or a link is looked up first, without the lock.
        Folder folder;
        folder.path = p.path;
        std::optional<StatInfo> st;
        if (p.stat) {
            st = folderStat(p, home, folder.listed);
        } else {
            lock.unlock();
            st = folderStat(p, home, folder.listed);
            lock.lock();
            if (gen != generation)
                return;
        }
        const bool fresh = st && seen.insert(DevIno::of(*st)).second;
        if (fresh && !st->isDataless()) {
            lock.unlock();
            listInto(folder, home);
            lock.lock();
            if (gen != generation)
                return; // given up on while it listed: the reader has moved on
        } else if (fresh) {
            folder.outcome = Outcome::dataless;
        }
        busy = false;
        file(std::move(folder));
    }
}

// Puts a finished folder where the reader finds it and its child folders on the stack, last one
// on top; wakes the reader when a batch is ready or nothing more will come soon.
void DiskWalker::Shared::file(Folder folder) {
    for (std::size_t i = 0; i < folder.entries.size(); ++i)
        if (folder.descendsInto(i)) {
            const FS::Entry& e = folder.entries[i];
            stack.push_back(Pending{FS::join(folder.listed, e.name),
                                    e.stat->isDir() ? e.stat : std::nullopt});
        }
    readyEntries += folder.entries.size();
    ready.push_back(std::move(folder));
    if (readerWaits && (ready.size() >= wakeBatch || stack.empty() || full()))
        readerCond.notify_one();
}

DiskWalker::DiskWalker(std::string root, std::string home, double timeout, TimeoutPool& pool)
    : m_shared(std::make_shared<Shared>(std::move(home), timeout)), m_pool(pool) {
    m_shared->stack.push_back(Pending{std::move(root), std::nullopt});
    startLister();
}

DiskWalker::~DiskWalker() {
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stopped = true;
    }
    m_shared->listerCond.notify_all();
}

void DiskWalker::startLister() {
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(m_shared->mutex);
        generation = m_shared->generation;
    }
    // The ticket is kept until the next lister starts or the walker ends: a ticket dropped
    // before its body began would keep it from running at all.
    m_lister = m_pool.start(false, [shared = m_shared, generation] {
        shared->lister(generation);
        return true;
    });
}

std::optional<DiskWalker::Folder> DiskWalker::next(const CancelCallback& cancel) {
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (!s.ready.empty()) {
            Folder folder = std::move(s.ready.front());
            s.ready.pop_front();
            s.readyEntries -= folder.entries.size();
            if (s.listerWaits && s.drained())
                s.listerCond.notify_one();
            return folder;
        }
        if (s.finished)
            return std::nullopt;
        const Clock::time_point now = Clock::now();
        const Clock::time_point limit = s.since + toDuration(s.timeout);
        if (s.busy && now >= limit) {
            // The folder this reader waits for is stuck: it is given up, and a new lister goes
            // on with the rest of the stack.
            Folder folder;
            folder.path = folder.listed = s.current;
            folder.outcome = Outcome::timedOut;
            ++s.generation;
            s.busy = false;
            lock.unlock();
            startLister();
            return folder;
        }
        Clock::time_point until = now + toDuration(waitSlice);
        if (s.busy)
            until = std::min(until, limit);
        s.readerWaits = true;
        s.readerCond.wait_until(lock, until);
        s.readerWaits = false;
        if (cancel) {
            lock.unlock();
            if (cancelRequested(cancel))
                throw ScanError::cancelled();
            lock.lock();
        }
    }
}

} // namespace tessary
