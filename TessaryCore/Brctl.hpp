#pragma once

#include "TessaryCore/Progress.hpp"
#include "TessaryCore/ScanEnvironment.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// What a finished dump file holds: the server section header followed (later) by the client
// section marker; the client marker but no server section before it (the tool's output is
// not a database dump); or no client marker at all (cut short).
enum class DumpShape { complete, notADump, incomplete };

// How long `Brctl` waits at its polling points. The defaults are the product's; tests pass
// shorter ones so that a tool that ignores SIGTERM does not cost them seconds.
struct BrctlTiming {
    double pollSeconds = 0.5;      // runDump: between two looks at the running tool
    double termGraceSeconds = 5.0; // after SIGTERM, before SIGKILL
    double termPollSeconds = 0.1;  // while waiting for a terminated tool to exit
};

// Runs the system tool `brctl` (`dump -v -o FILE`, `quota`) as a child process and keeps its dump
// and the dump's metadata in `ScanEnvironment::cacheDir`. Children are started from argument
// vectors without a shell, inherit no descriptors beyond their standard input (the null device),
// output and error, and are always reaped before a call returns or throws.
struct Brctl {
    Brctl() = delete;

    // The tool: the path in the environment variable TESSARY_BRCTL when set and not empty, else
    // "/usr/bin/brctl". Read on every call.
    [[nodiscard]] static std::string toolPath();

    // Runs `args[0]` with the arguments `args[1...]`, its standard output into a pipe that a
    // thread of its own ("brctl-read") drains, standard error to the null device. After `timeout`
    // seconds the child gets SIGTERM, and SIGKILL if it is still running after the grace period.
    // Returns what was read, decoded as UTF-8 with invalid sequences replaced by U+FFFD; the exit
    // status is not looked at, and after a time-out the text may be partial or empty.
    // A `cancel` that says yes ends the wait early, as a time-out does.
    // Throws std::invalid_argument for an empty `args`, std::system_error with the errno of the
    // launch when the child cannot be started.
    [[nodiscard]] static std::string runCapture(const std::vector<std::string>& args,
                                                double timeout, const BrctlTiming& timing = {},
                                                const CancelCallback& cancel = {});

    // How a tool run by `run` ended: what it printed, and its exit status when it exited by
    // itself (none after a time-out, a cancel or a signal).
    struct Finished {
        std::string output;
        std::optional<int> status;
    };
    // As runCapture, with the exit status; `withErrors` sends standard error into the same pipe
    // (so the tool's refusals are part of `output`) instead of the null device.
    [[nodiscard]] static Finished run(const std::vector<std::string>& args, double timeout,
                                      bool withErrors, const BrctlTiming& timing = {},
                                      const CancelCallback& cancel = {});

    // Free iCloud quota in bytes from `brctl quota` ("N bytes of quota remaining"), or nothing
    // when the tool cannot be run, times out, is stopped through `cancel`, prints no such
    // phrase or a number too large. Never throws.
    [[nodiscard]] static std::optional<std::int64_t>
    quota(double timeout, const BrctlTiming& timing = {}, const CancelCallback& cancel = {});

    // The number in front of the first "(\d+) bytes of quota remaining" of `output`, or nothing
    // (no match, digits that are not ASCII, or more than fits a signed 64-bit integer).
    [[nodiscard]] static std::optional<std::int64_t> parseQuota(std::string_view output);

    // Makes a new dump with `brctl dump -v -o <partial>` under the exclusive lock on
    // `env.lockFile`, reporting the growth of the partial file as ("dump", bytes, total, ...)
    // and asking `cancel` every poll. The dump is moved to `outPath` (or `env.dumpFile`) only
    // when the tool exited with 0, wrote at least 1,000 bytes, the server section header and
    // the "client items" marker after it; then the metadata is updated. The tool runs in a
    // process group of its own, which is stopped as a whole; on Linux it also ends with this
    // process. Partial dumps of processes that no longer exist are removed under the lock.
    // Once `cancel` has said yes, the run ends cancelled whatever the tool's exit status. Returns
    // the path of the written dump. Blocks the calling thread for the whole run. Throws ScanError
    // (message with a Czech text; cancelled on a stop request). On every failure the partial dump
    // is deleted, the tool stopped and reaped, the lock released, and the previous dump and
    // metadata are left as they were.
    static std::string runDump(const std::optional<std::string>& outPath,
                               const ProgressCallback& progress, const CancelCallback& cancel,
                               const ScanEnvironment& env, const BrctlTiming& timing = {});

    // Whether the file at `path` contains the bytes "client items" (read in 8 MiB blocks; a
    // match across a block boundary is found). False when the file cannot be opened or read.
    [[nodiscard]] static bool dumpComplete(const std::string& path);

    // Whether the file at `path` is a dump: a line that is the "server items" section header,
    // and the bytes "client items" after it. Nothing is parsed beyond that header line; a
    // good dump is read once. `incomplete` when the file cannot be opened or read.
    [[nodiscard]] static DumpShape dumpShape(const std::string& path);

    // The JSON object in `env.metaFile`, keys in file order; an empty object when the file is
    // missing, unreadable, not JSON or not an object. Never throws.
    [[nodiscard]] static nlohmann::ordered_json loadMeta(const ScanEnvironment& env);

    // Writes `meta` as compact JSON to a temporary file beside `env.metaFile` and renames it over
    // the file, so that readers see the old or the new content, never a mixture. Creates the
    // cache folder when needed. Failures are ignored and leave the old file (and no temporary
    // file) behind. Never throws.
    static void saveMeta(const nlohmann::ordered_json& meta, const ScanEnvironment& env);
};

} // namespace tessary
