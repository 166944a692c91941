#pragma once

#include "TessaryCore/Progress.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

class Item;

// Moves files and folders to the user's Trash (the freedesktop.org Trash on Linux, so every item
// can be restored from the file manager), one at a time, each move on the shared timeout pool
// with a 60-second limit. Runs on the caller's thread; never touches a scan result.
struct TrashMover {
    TrashMover() = delete;

    static constexpr double moveTimeout = 60.0;

    // What the scan saw at the path: the local entry's device and inode and, for a document,
    // its size and modification time. A path that now holds something else is not moved.
    struct Identity {
        std::uint64_t dev = 0;
        std::uint64_t ino = 0;
        std::optional<std::int64_t> size;
        std::optional<std::int64_t> mtime;
    };
    struct Job {
        std::string id;
        std::string path;
        std::optional<Identity> expected;
    };
    struct Failure {
        std::string name; // last path component
        std::string reason;
    };
    struct Outcome {
        std::vector<std::string> done; // ids moved
        std::vector<Failure> failed;
    };

    // The job for a resolved item with a path.
    [[nodiscard]] static Job jobFor(const Item& item);
    // Attempts every job in order, reporting ("trash", i, n, "Přesouvám do Koše… NAME") before
    // each; cannot be cancelled.
    [[nodiscard]] static Outcome run(const std::vector<Job>& jobs,
                                     const ProgressCallback& progress);
    // Why the path no longer holds what the scan saw, or none when it does (or nothing was
    // recorded).
    [[nodiscard]] static std::optional<std::string> changedReason(const Job& job);
};

} // namespace tessary
