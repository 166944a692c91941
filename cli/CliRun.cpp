#include "cli/CliRun.hpp"

#include "cli/CliReport.hpp"
#include "cli/ProgressPrinter.hpp"

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <cstdio>
#include <fmt/format.h>
#include <memory>

namespace tessary::cli {
namespace {

constexpr int exitFailed = 1;
constexpr int exitStopped = 130;

ScanEnvironment environmentFor(const CliOptions& options) {
    if (options.home)
        return ScanEnvironment(*options.home);
    return ScanEnvironment::defaultEnvironment();
}

// A dump given by path is analysed as the database describes it: nothing is compared with
// this disk, so nothing is resolved and every document counts as cloud-only.
std::unique_ptr<ScanResult> analyseDumpFile(const std::string& path,
                                            const ProgressCallback& progress,
                                            const std::atomic<bool>& stop) {
    auto result = std::make_unique<ScanResult>(DumpParser::parse(path, progress));
    if (stop.load())
        throw ScanError::cancelled();
    progress("aggregate", 0, 1, "Sčítám velikosti…");
    Aggregator::aggregate(*result);
    progress("done", 1, 1, "Hotovo");
    return result;
}

std::unique_ptr<ScanResult> runScan(const CliOptions& options, const ScanEnvironment& env,
                                    const ProgressCallback& progress,
                                    const CancelCallback& cancel) {
    Scanner::Options scanOptions;
    scanOptions.refresh = options.refresh;
    scanOptions.maxAgeHours = options.maxAgeHours;
    if (!options.fsRoots.empty()) {
        scanOptions.mode = ScanMode::fs;
        scanOptions.fsRoots = options.fsRoots;
    }
    return Scanner::scan(scanOptions, progress, cancel, env, TimeoutPool::shared());
}

void hydrate(ScanResult& result, const CliOptions& options, const ScanEnvironment& env,
             const ProgressCallback& progress, const CancelCallback& cancel) {
    const auto listed = Scanner::hydrate(result, *options.hydrateId, options.hydrateDepth, progress,
                                         cancel, env, TimeoutPool::shared());
    progress("done", 1, 1, fmt::format("Načteno složek: {}", listed));
}

} // namespace

int runCli(const CliOptions& options, const std::atomic<bool>& stop) {
    ProgressPrinter printer(stderr, options.quiet);
    const ProgressCallback progress = [&printer](std::string_view phase, std::int64_t done,
                                                 std::int64_t total, std::string_view message) {
        printer.report(phase, done, total, message);
    };
    const CancelCallback cancel = [&stop] { return stop.load(); };
    try {
        const ScanEnvironment env = environmentFor(options);
        auto result = options.dumpFile ? analyseDumpFile(*options.dumpFile, progress, stop)
                                       : runScan(options, env, progress, cancel);
        if (options.hydrateId)
            hydrate(*result, options, env, progress, cancel);
        printer.finish();
        return CliReport::write(*result, options) ? 0 : exitFailed;
    } catch (const ScanError& error) {
        printer.finish();
        std::fprintf(stderr, "%s\n", error.description().c_str());
        return error.isCancelled() ? exitStopped : exitFailed;
    } catch (const std::exception& error) {
        // Every stage reports its failures as ScanError; anything else is a fault of ours, still
        // reported as a failed run rather than a crash.
        printer.finish();
        std::fprintf(stderr, "Neočekávaná chyba: %s\n", error.what());
        return exitFailed;
    }
}

} // namespace tessary::cli
