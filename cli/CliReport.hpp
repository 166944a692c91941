#pragma once

#include "cli/CliOptions.hpp"

#include "TessaryCore/ScanComparison.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <atomic>
#include <cstdio>
#include <string>

namespace tessary::cli {

// The outputs of one invocation, written after the scan: the summary, the top lists and the
// exports the options ask for. Whatever goes to standard output as data (a JSON list, an export
// to "-") keeps standard output to itself; the summary then goes to standard error.
struct CliReport {
    CliReport() = delete;

    // Writes everything, asking `stop` between the pieces. Throws ScanError: cancelled on a
    // stop request, else a Czech message (an unknown CSV folder, a file or standard output that
    // cannot be written). Files are replaced whole (AtomicFile), never left half-written.
    // `changes` is the comparison with an earlier scan (null: none), listed when asked for.
    static void write(const ScanResult& result, const CliOptions& options,
                      const std::atomic<bool>& stop, const ScanComparison* changes = nullptr);

    // The plain-text summary: totals in iCloud, cloud-only and downloaded, free quota, dead
    // items, containers and warnings.
    [[nodiscard]] static std::string summaryText(const ScanResult& result);
    // The top lists as text (one row per record) or as one JSON document.
    [[nodiscard]] static std::string topListsText(const ScanResult& result,
                                                  const CliOptions& options,
                                                  const ScanComparison* changes = nullptr);
    [[nodiscard]] static std::string topListsJSON(const ScanResult& result,
                                                  const CliOptions& options,
                                                  const ScanComparison* changes = nullptr);
};

} // namespace tessary::cli
