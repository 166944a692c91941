#pragma once

#include "cli/CliOptions.hpp"

#include "TessaryCore/ScanResult.hpp"

#include <cstdio>
#include <string>

namespace tessary::cli {

// The outputs of one invocation, written after the scan: the summary, the top lists and the
// exports the options ask for. Whatever goes to standard output as data (a JSON list, an export
// to "-") keeps standard output to itself; the summary then goes to standard error.
struct CliReport {
    CliReport() = delete;

    // Writes everything; on a failure prints its Czech text on standard error and returns
    // false. Files are written to a temporary file and renamed, never left half-written.
    [[nodiscard]] static bool write(const ScanResult& result, const CliOptions& options);

    // The plain-text summary: totals in iCloud, cloud-only and downloaded, free quota, dead
    // items, containers and warnings.
    [[nodiscard]] static std::string summaryText(const ScanResult& result);
    // The top lists as text (one row per record) or as one JSON document.
    [[nodiscard]] static std::string topListsText(const ScanResult& result,
                                                  const CliOptions& options);
    [[nodiscard]] static std::string topListsJSON(const ScanResult& result,
                                                  const CliOptions& options);
};

} // namespace tessary::cli
