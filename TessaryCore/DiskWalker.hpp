#pragma once

#include "TessaryCore/FS.hpp"
#include "TessaryCore/Progress.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

// Lists a local folder tree on a thread of its own, ahead of the thread that reads the listings,
// in the order of a depth-first walk: the child folders of a folder are taken last one first,
// before the folders that waited before them. A folder is listed once, even when links lead to it
// again, and a link is followed only to a folder inside the home folder.
//
// The two threads meet rarely: the lister wakes the reader only when a batch of listings is
// ready or the walk is over, and is woken only when the reader has taken half of what may be
// held ahead. A folder whose listing has not come back within the time limit (a hung network or
// cloud folder) is given up: the reader gets it as timed out, and a fresh thread goes on with the
// rest of the tree while the stuck one finishes its system call unseen.
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

    // Starts listing at `root` at once.
    DiskWalker(std::string root, std::string home, double timeout, TimeoutPool& pool);
    DiskWalker(const DiskWalker&) = delete;
    DiskWalker& operator=(const DiskWalker&) = delete;
    // Stops the lister; a listing under way is left to finish on its own.
    ~DiskWalker();

    // The next folder of the walk, waiting for it as long as its time limit allows; none once
    // the walk is over. While it waits, `cancel` is asked every two seconds at most; throws
    // ScanError::cancelled when it says so.
    [[nodiscard]] std::optional<Folder> next(const CancelCallback& cancel);

private:
    struct Shared;
    void startLister();

    std::shared_ptr<Shared> m_shared;
    TimeoutPool& m_pool;
    TimeoutPool::Ticket<bool> m_lister;
};

} // namespace tessary
