#pragma once

#include "TessaryCore/FS.hpp"
#include "TessaryCore/Progress.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessary {

// Lists a local folder tree on threads of its own (listers), ahead of the thread that reads the
// listings, roughly in the order of a depth-first walk: the child folders of a folder are taken
// last one first, before the folders that waited before them. The reader asks for each folder
// by the path it reached it by. A folder is listed once, even when links lead to it again, and a
// link is followed only to a folder inside the home folder.
//
// The threads meet rarely: a waiting reader is woken only when a batch of listings is ready or
// the walk is over, a lister waits only when there is nothing to list or too much held ahead of
// the reader. A folder whose listing has not come back within the time limit (a hung network or
// cloud folder) is given up once the reader asks for it: the reader gets it as timed out, and a
// fresh lister goes on with the rest of the tree while the stuck one finishes its system call
// unseen.
class DiskWalker {
public:
    enum class Outcome {
        // `entries` holds the folder's entries.
        listed,
        // Gone, not a folder (a link to anything else), or a folder listed before.
        skipped,
        // A cloud-only folder, which a scan does not list.
        dataless,
        // The listing did not come back within the time limit.
        timedOut,
        // The listing failed; `error` holds why (an FSError, usually).
        failed,
    };

    struct Folder {
        // The path the walk reached the folder by; for a link, the link's own path.
        std::string path;
        // The folder actually listed: `path`, or the target of the link.
        std::string listed;
        Outcome outcome = Outcome::skipped;
        std::exception_ptr error;
        std::vector<FS::Entry> entries;
        // The indices (ascending) of the entries that are links the walk follows into a folder.
        std::vector<std::uint32_t> folderLinks;

        // Whether the walk goes into entry `i` of a listed folder: a folder, or a followed link.
        [[nodiscard]] bool descendsInto(std::size_t i) const;
    };

    // What is held ahead of the reader unless told otherwise, in entries.
    static constexpr std::size_t defaultAhead = 64 * 1024;

    // Starts listing at `root` at once, on `listers` threads, holding about `aheadEntries`
    // entries ahead of the reader at most.
    DiskWalker(std::string root, std::string home, double timeout, TimeoutPool& pool,
               int listers = 2, std::size_t aheadEntries = defaultAhead);
    DiskWalker(const DiskWalker&) = delete;
    DiskWalker& operator=(const DiskWalker&) = delete;
    // Stops the listers; a listing under way is left to finish on its own.
    ~DiskWalker();

    // The folder the walk reached by `path`, waiting for it as long as its time limit allows;
    // none when the walk does not reach that path, or is stopped and has not listed it. While it
    // waits, `cancel` is asked every two seconds at most; throws ScanError::cancelled when it says
    // so.
    [[nodiscard]] std::optional<Folder> take(const std::string& path, const CancelCallback& cancel);
    // The folder reached by `path` if its listing is ready now; none otherwise.
    [[nodiscard]] std::optional<Folder> takeReady(const std::string& path);
    // Lists nothing more; what is ready stays to be taken.
    void stop();
    // Whether `take` would hand over a listing of `path`: it is listed, being listed, or waiting
    // to be listed (and the walker is not stopped).
    [[nodiscard]] bool willList(const std::string& path) const;
    // Whether every folder of the tree has been listed (for tests and diagnostics).
    [[nodiscard]] bool done() const;

private:
    struct Shared;
    void startLister();
    [[nodiscard]] std::optional<Folder> takeFrom(std::unique_lock<std::mutex>& lock,
                                                 const std::string& path);
    [[nodiscard]] std::optional<Folder> takeTaken(const std::string& path);
    void makeRoom();

    std::shared_ptr<Shared> m_shared;
    TimeoutPool& m_pool;
    std::vector<TimeoutPool::Ticket<bool>> m_listers;
    // Listings moved to the reader's side, not yet taken.
    std::unordered_map<std::string, Folder> m_taken;
};

} // namespace tessary
