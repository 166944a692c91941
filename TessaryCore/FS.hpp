#pragma once

#include "TessaryCore/FSError.hpp"
#include "TessaryCore/StatInfo.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessary {

// Static operations over the POSIX file calls. None follows a symbolic link unless it says so,
// and none downloads a cloud-only item by itself (callers switch materialization off, IOPolicy).
// Any of them may block for a long time on a folder that iCloud Drive is synchronising; callers
// that must stay responsive run them through the TimeoutPool.
//
// Paths are byte strings; a path containing a NUL byte names nothing (it fails with EINVAL, or
// gives "none"/false), it is never cut short at the NUL.
//
// Off macOS, cloud-only placeholders and slow folders are represented by extended attributes:
//  - "user.tessary.dataless" on a file or folder sets SF_DATALESS in StatInfo::flags (read only
//    for folders and for files without allocated blocks, the only ones that can be placeholders);
//    listing such a folder fails with EDEADLK unless the calling thread materializes
//    (IOPolicy::materializesOnThisThread), in which case the listing succeeds and the mark goes;
//  - "user.tessary.busy" on a folder holds a number of seconds: listing the folder first blocks
//    that long, and so does packageAlloc of a package directly in it or of one that contains
//    it (the walk waits each time it opens a busy folder).
struct FS {
    FS() = delete;

    // No limit for listNames.
    static constexpr std::int64_t noLimit = std::numeric_limits<std::int64_t>::max();

    // Appends the path component `b` to `a` with exactly one "/" between them (a trailing "/"
    // of `a` and a leading "/" of `b` are not doubled). An empty `a` gives `b`.
    [[nodiscard]] static std::string join(std::string_view a, std::string_view b);

    // One lstat; none when it fails, whatever the reason.
    [[nodiscard]] static std::optional<StatInfo> lstat(const std::string& path);
    // One lstat; throws FSError(errno, path) when it fails.
    [[nodiscard]] static StatInfo lstatThrowing(const std::string& path);
    // lstat of `name` in the open folder `folder` (a descriptor; AT_FDCWD for the working
    // folder), the placeholder mark not read. None when it fails, with errno telling why.
    [[nodiscard]] static std::optional<StatInfo> lstatAt(int folder, const std::string& name);
    // The path names something, itself (a dangling symbolic link exists).
    [[nodiscard]] static bool exists(const std::string& path);
    // The canonical absolute path (all links resolved); none when it cannot be resolved.
    [[nodiscard]] static std::optional<std::string> realpath(const std::string& path);
    // The path exists and is a folder after following symbolic links.
    [[nodiscard]] static bool isDirectory(const std::string& path);
    // `path` is `home` or lies below it, compared as text (no links resolved, no "." or ".."
    // handling): "/Users/ab" is not inside "/Users/a". Trailing "/" of `home` are ignored, so
    // home "/" holds every absolute path; an empty `home` holds nothing.
    [[nodiscard]] static bool isInsideHome(std::string_view path, std::string_view home);
    // The stat of a folder that may be reached through a symbolic link, and the path where a walk
    // continues. Not a link: (its stat, `path`), whatever kind it is. A link counts only when it
    // leads to a folder inside `home`: (the target's stat, the target's canonical path). Every
    // failure, a link leaving home and a link to a non-folder give (none, `path`).
    [[nodiscard]] static std::pair<std::optional<StatInfo>, std::string>
    lstatDir(const std::string& path, const std::string& home);
    // The names in folder `path` (following a link), in the order the filesystem gives them,
    // without "." and "..", unsorted, nothing stat-ed. Stops once it holds more than `limit`
    // names, so it returns at most limit + 1 of them. Throws FSError with the errno of the
    // failing opendir/readdir and `path` (EDEADLK for a cloud-only folder, see above).
    [[nodiscard]] static std::vector<std::string> listNames(const std::string& path,
                                                            std::int64_t limit = noLimit);
    // One entry of listStats: the name and its lstat, none when the entry went away (or could
    // not be stat-ed) between the listing and the stat.
    struct Entry {
        std::string name;
        std::optional<StatInfo> stat;
    };
    // listNames plus the lstat of every entry, taken relative to the open folder so that the
    // path is not looked up again for each of them. Same order, limit and errors as listNames.
    [[nodiscard]] static std::vector<Entry> listStats(const std::string& path,
                                                      std::int64_t limit = noLimit);
    // Bytes allocated on the local disk by everything under the package folder `path`.
    // Links are not followed, dataless files and folders add nothing, unreadable parts are
    // skipped. Stops before opening another folder once `limit` entries have been counted (a
    // folder already open is read to its end). Never fails.
    [[nodiscard]] static std::int64_t packageAlloc(const std::string& path, std::int64_t limit);

#ifndef __APPLE__
    // Stand-ins for tests and the simulated world. Both throw FSError when the attribute cannot
    // be written (or removed).
    // Marks a file or folder cloud-only (does not follow a link).
    static void markDataless(const std::string& path);
    // Makes listing folder `path` block `seconds` first; 0 or less removes the mark.
    static void markBusy(const std::string& path, double seconds);
#endif
};

} // namespace tessary
