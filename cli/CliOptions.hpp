#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessary::cli {

// What the command line asked for. Files named "-" mean standard output.
struct CliOptions {
    bool refresh = false;
    // The application's setting: the cached database is reused until a refresh is asked for.
    double maxAgeHours = 8760.0;
    std::vector<std::pair<std::string, std::string>> fsRoots;
    std::optional<std::string> dumpFile;
    std::optional<std::string> home;
    std::optional<std::int64_t> topFiles;
    bool cloudOnly = false;
    std::optional<std::int64_t> topDirs;
    std::optional<std::string> jsonFile;
    std::int64_t jsonDepth = 6;
    std::int64_t jsonFiles = 10;
    std::optional<std::pair<std::string, std::string>> csv; // item id, file
    bool formatJson = false;
    std::optional<std::string> hydrateId;
    int hydrateDepth = 1;
    // Items to free from this computer (their downloaded documents); with `dryRun` only said.
    std::vector<std::string> evictIds;
    bool dryRun = false;
    // `--changes [N]`: the N largest changes against an earlier scan; `--since` picks the scan
    // made at or before that time (seconds since the epoch) instead of the previous one.
    std::optional<std::int64_t> changes;
    std::optional<std::int64_t> since;
    bool quiet = false;
};

// The outcome of reading the command line: options to run, or an exit code with the text
// already printed (help: 0, usage error: 2).
struct CliParse {
    std::optional<CliOptions> options;
    int exitCode = 0;
};

[[nodiscard]] CliParse parseCommandLine(int argc, char** argv);

} // namespace tessary::cli
