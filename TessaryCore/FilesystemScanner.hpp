#pragma once

#include "TessaryCore/Progress.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <string>
#include <utility>
#include <vector>

namespace tessary {

class TimeoutPool;
struct ScanEnvironment;

// Builds a complete, aggregated result from the local disk alone (mode fs): one container per
// root, every item with its own local name and path, sizes from lstat, cloud-only files known
// by their file flag.
struct FilesystemScanner {
    FilesystemScanner() = delete;

    static constexpr double listTimeout = 15.0;

    // `roots`: (name, path) pairs in order. Throws ScanError::cancelled and any unexpected
    // error of a listing; unreadable folders end with `enumerated` false (and `denied` or
    // `timeout` telling why). A folder not listed within `listLimit` seconds is given up.
    [[nodiscard]] static ScanResult
    build(const std::vector<std::pair<std::string, std::string>>& roots,
          const ProgressCallback& progress, const CancelCallback& cancel,
          const ScanEnvironment& env, TimeoutPool& pool, double listLimit = listTimeout);
};

} // namespace tessary
