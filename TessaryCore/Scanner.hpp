#pragma once

#include "TessaryCore/Progress.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanMode.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessary {

class TimeoutPool;

// The driver of a whole scan and of the hydration of one folder. Both run synchronously on the
// calling thread, which must not be a UI thread: a scan takes from seconds to many minutes.
struct Scanner {
    Scanner() = delete;

    struct Options {
        ScanMode mode = ScanMode::dump;
        // Always make a new dump, even when the cached one is young enough.
        bool refresh = false;
        // A cached dump younger than this is reused.
        double maxAgeHours = 6.0;
        // Roots of a disk-only scan as (name, path); absent means iCloud Drive's own folder.
        std::optional<std::vector<std::pair<std::string, std::string>>> fsRoots;
        // Added to the error when the cached dump cannot be read as a dump: tells the user how
        // to make a new one in the caller's own terms (a menu command, a command-line option).
        std::string refreshHint = "Vytvořte nový výpis databáze.";
    };

    // Runs the stages in order (dump when needed, parse, container mapping, name resolution,
    // aggregation; or the disk-only scan) and asks for the free quota. Errors of the stages pass
    // through unchanged (a cached dump that cannot be parsed gets `refreshHint` added) and no
    // partial result is returned. A stop request is honoured between every two stages. The last
    // report of a successful scan is ("done", 1, 1, "Hotovo").
    [[nodiscard]] static std::unique_ptr<ScanResult>
    scan(const Options& options, const ProgressCallback& progress, const CancelCallback& cancel,
         const ScanEnvironment& env, TimeoutPool& pool);

    // Reads a dump file as the database describes it, without comparing anything with this disk
    // (a dump copied from another Mac): nothing is resolved, so every document counts as
    // cloud-only. Parsed and aggregated; a stop request is honoured at every progress report.
    // The last report is ("done", 1, 1, "Hotovo").
    [[nodiscard]] static std::unique_ptr<ScanResult> analyseDump(const std::string& path,
                                                                 const ProgressCallback& progress,
                                                                 const CancelCallback& cancel);

    // Lists the cloud-only folder `itemID` of an earlier dump scan with downloading of folder
    // listings allowed, and `depth` - 1 (clamped to 1..3 levels in all) levels of the unlisted
    // folders below it, at most 200 per level. Changes `result` in place and aggregates it before
    // every return and every error after the walk began. Returns the number of folders listed.
    static std::int64_t hydrate(ScanResult& result, std::string_view itemID, int depth,
                                const ProgressCallback& progress, const CancelCallback& cancel,
                                const ScanEnvironment& env, TimeoutPool& pool);

    // The folder `itemID` of `result`; throws ScanError naming the id when the result has no
    // such item or the item is not a folder.
    static Item& folder(const ScanResult& result, std::string_view itemID);

    // Whether a dump written at `mtime` (seconds since 1970) may be reused at `now`: younger
    // than `maxAgeHours`; equality counts as too old, a time in the future as young.
    [[nodiscard]] static bool isFresh(std::int64_t mtime, std::int64_t now, double maxAgeHours);
};

} // namespace tessary
