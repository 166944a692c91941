#pragma once

#include "TessaryCore/FS.hpp"
#include "TessaryCore/LocalListing.hpp"
#include "TessaryCore/NameMatching.hpp"
#include "TessaryCore/Progress.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tessary {

class DiskWalker;
class Item;
class ScanResult;
class TimeoutPool;
struct ScanEnvironment;

// Walks the dump tree and the local disk side by side: lists each local folder that stands for
// a dump folder, and lets NameMatching pair the dump's children with the local entries. Folders
// that cannot be listed are flagged (timeout, denied, or just not enumerated) and reported in
// the result's warnings.
struct NameResolver {
    NameResolver() = delete;

    static constexpr double listTimeout = 15.0;
    static constexpr double hydrateTimeout = 600.0;

    // Walks from the container roots, or from `start` (at `startPath`, else its own path).
    // Folders whose ids are in `allowDatalessIDs` are listed with downloading switched on.
    // A folder whose listing `listedAhead` holds is not listed again. Returns the number of
    // folders that became enumerated. Throws ScanError::cancelled and any unexpected error of a
    // listing.
    static std::int64_t
    resolveNames(ScanResult& result, const ProgressCallback& progress,
                 const std::unordered_set<std::string>& allowDatalessIDs, Item* start,
                 const std::optional<std::string>& startPath, const CancelCallback& cancel,
                 std::optional<double> listTimeout, std::optional<double> hydrateTimeout,
                 const ScanEnvironment& env, TimeoutPool& pool, DiskWalker* listedAhead = nullptr);

    // The entries of local folder `path`, filed under every mask variant and kind they may
    // stand for. Throws the FSError of the listing.
    [[nodiscard]] static LocalListing listDir(const std::string& path, const std::string& home,
                                              TimeoutPool& pool);
    // The same for `entries`, listed from `path` before.
    [[nodiscard]] static LocalListing fileEntries(const std::string& path,
                                                  std::vector<FS::Entry> entries,
                                                  const std::string& home, TimeoutPool& pool);

    // The warning about `count` folders the system refused to list, naming `names` (the
    // first few of them). Both kinds of scan give the same text.
    [[nodiscard]] static std::string deniedWarning(std::int64_t count,
                                                   const std::vector<std::string>& names);
};

} // namespace tessary
