#pragma once

#include "TessaryCore/LocalIdentity.hpp"
#include "TessaryCore/Progress.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

class Item;

// Moves files and folders to the user's Trash (off macOS the freedesktop.org Trash, written by
// the core's Trash, so every item can be restored from the file manager), one at a time, each
// move on the shared timeout pool with a 60-second limit. Runs on the caller's thread; never
// touches a scan result.
struct TrashMover {
    TrashMover() = delete;

    static constexpr double moveTimeout = 60.0;

    struct Job {
        std::string id;
        // The raw bytes of the path, as the scan found it.
        std::string path;
        // What the scan saw at the path; a path that now holds another entry is not moved.
        std::optional<LocalIdentity> expected;
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
    // each; nothing outside `home` is ever moved. Cannot be cancelled.
    [[nodiscard]] static Outcome run(const std::string& home, const std::vector<Job>& jobs,
                                     const ProgressCallback& progress);
};

} // namespace tessary
