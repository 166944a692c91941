#include "cli/CliRun.hpp"

#include "cli/CliEvict.hpp"
#include "cli/CliReport.hpp"
#include "cli/ProgressPrinter.hpp"
#include "cli/TerminalText.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanHistory.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fmt/format.h>
#include <memory>
#include <optional>

namespace tessary::cli {
namespace {

constexpr int exitFailed = 1;
constexpr int exitStopped = 130;

void checkStop(const std::atomic<bool>& stop) {
    if (stop.load())
        throw ScanError::cancelled();
}

// The home folder must be a folder that exists: an empty HOME would put the cache into the
// current folder, a missing one would get folders made inside it. Checked before anything is
// created.
ScanEnvironment environmentFor(const CliOptions& options) {
    const char* variable = std::getenv("HOME");
    std::string home;
    if (options.home)
        home = *options.home;
    else if (variable != nullptr)
        home = variable;
    else // not set at all: the account's own home folder
        home = ScanEnvironment::defaultEnvironment().home;
    if (home.empty())
        throw ScanError::message(options.home
                                     ? "Volba --home nesmí být prázdná."
                                     : "Proměnná HOME je prázdná – nevím, kde je domovská složka.");
    if (!FS::exists(home))
        throw ScanError::message("Domovská složka neexistuje: " + home);
    if (!FS::isDirectory(home))
        throw ScanError::message("Domovská složka není složka: " + home);
    return ScanEnvironment(home);
}

std::unique_ptr<ScanResult> runScan(const CliOptions& options, const ScanEnvironment& env,
                                    const ProgressCallback& progress,
                                    const CancelCallback& cancel) {
    Scanner::Options scanOptions;
    scanOptions.refresh = options.refresh;
    scanOptions.maxAgeHours = options.maxAgeHours;
    scanOptions.refreshHint = "Nový výpis vytvoří varnelo-cli --refresh.";
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

// Keeps the record of the scan in the cache's history and compares it with the earlier one.
// The warnings (a damaged record, one that cannot be written) matter only to someone asking
// for the changes.
ScanHistory::Recorded recordScan(const ScanResult& result, const CliOptions& options,
                                 const ScanEnvironment& env) {
    ScanHistory::Recorded recorded =
        ScanHistory::record(result, ScanHistory::folderIn(env.cacheDir),
                            static_cast<std::int64_t>(std::time(nullptr)), options.since);
    if (options.changes)
        for (const std::string& warning : recorded.warnings)
            std::fprintf(stderr, "%s\n", terminalText(warning).c_str());
    return recorded;
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
        std::unique_ptr<ScanResult> result;
        std::optional<ScanHistory::Recorded> history;
        if (options.dumpFile) {
            result = Scanner::analyseDump(*options.dumpFile, progress, cancel);
        } else {
            const ScanEnvironment env = environmentFor(options);
            result = runScan(options, env, progress, cancel);
            checkStop(stop);
            if (options.hydrateId)
                hydrate(*result, options, env, progress, cancel);
            checkStop(stop);
            history = recordScan(*result, options, env);
            if (!options.evictIds.empty()) {
                const int code = CliEvict::run(*result, options, env, progress, cancel, stdout);
                printer.finish();
                return code;
            }
        }
        checkStop(stop);
        printer.finish();
        CliReport::write(*result, options, stop,
                         history && history->comparison ? &*history->comparison : nullptr);
        return 0;
    } catch (const ScanError& error) {
        printer.finish();
        // A stop request decides the outcome, whatever failed meanwhile.
        if (error.isCancelled() || stop.load()) {
            std::fprintf(stderr, "%s\n", ScanError::cancelled().description().c_str());
            return exitStopped;
        }
        std::fprintf(stderr, "%s\n", terminalText(error.description()).c_str());
        return exitFailed;
    } catch (const std::exception& error) {
        // Every stage reports its failures as ScanError; anything else is a fault of ours, still
        // reported as a failed run rather than a crash.
        printer.finish();
        std::fprintf(stderr, "Neočekávaná chyba: %s\n", terminalText(error.what()).c_str());
        return exitFailed;
    }
}

} // namespace tessary::cli
