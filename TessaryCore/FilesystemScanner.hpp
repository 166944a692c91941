#pragma once

#include "TessaryCore/Progress.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <string>
#include <utility>
#include <vector>

namespace tessary {

class TimeoutPool;

// The disk-only scan: a complete, aggregated result built from local folders alone, without the
// iCloud Drive database. Every item carries its real name and path; sizes are local sizes.
struct FilesystemScanner {
    FilesystemScanner() = delete;

    // Seconds one folder listing may take before the folder is marked timed out.
    static constexpr double listTimeout = 15.0;

    // Walks each (name, path) root depth first into container i + 1 with root "root[i + 1]";
    // children are numbered "fs1", "fs2", ... across all roots. Links are followed only to
    // folders inside `env.home`, each folder is listed once per root, dataless folders are not
    // listed. Runs on the calling thread; listings go through `pool`. Throws
    // ScanError::cancelled when `cancel` says so, and errors of a listing other than time-outs
    // and refusals.
    [[nodiscard]] static ScanResult
    build(const std::vector<std::pair<std::string, std::string>>& roots,
          const ProgressCallback& progress, const CancelCallback& cancel,
          const ScanEnvironment& env, TimeoutPool& pool);
};

} // namespace tessary
