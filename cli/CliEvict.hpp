#pragma once

#include "cli/CliOptions.hpp"

#include "TessaryCore/Progress.hpp"

#include <cstdio>

namespace tessary {
class ScanResult;
struct ScanEnvironment;
} // namespace tessary

namespace tessary::cli {

// `--evict ID…`: frees the downloaded documents of the named items from this computer (they stay
// in iCloud), or with `--dry-run` only lists what would be freed and what must stay, with why.
struct CliEvict {
    CliEvict() = delete;

    // Writes the plan or the outcome to `out`. Returns the exit code: 0 when everything chosen
    // was (or would be) freed, 1 when an id is unknown or a document was refused or failed.
    [[nodiscard]] static int run(const ScanResult& result, const CliOptions& options,
                                 const ScanEnvironment& env, const ProgressCallback& progress,
                                 const CancelCallback& cancel, std::FILE* out);
};

} // namespace tessary::cli
