// Freeing downloaded documents from this computer on the simulated iCloud Drive: a world is
// generated (default 150,000 items, so that more than 10,000 of its documents are downloaded),
// scanned, and the first N downloaded documents of the iCloud Drive (default 10,000) are freed
// through the brctl stand-in, with the checks of every entry the application makes. Prints the
// time, the files per second and the time of the same number of plain lstat calls as a floor.
//
//   bench_evict [files, default 10000] [items, default 150000]
#include "TessaryCore/Eviction.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include "BenchSupport.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const std::size_t files = argc > 1 ? std::stoul(argv[1]) : 10000;
    const std::string items = argc > 2 ? argv[2] : "150000";
    const char* tmp = std::getenv("TMPDIR");
    const fs::path world = fs::path(tmp ? tmp : "/tmp") / "bench_evict-world";
    fs::remove_all(world);
    const std::string make = std::string("'") + VARNELO_SIM + "' world --out '" + world.string() +
                             "' --seed 5 --items " + items + " >/dev/null";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "the world could not be generated\n");
        return 1;
    }
    const std::string home = (world / "home").string();
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("TESSARY_BRCTL", VARNELO_BRCTL, 1);
    const ScanEnvironment env(home);
    Scanner::Options options;
    options.refresh = true;
    const auto result = Scanner::scan(
        options, [](std::string_view, std::int64_t, std::int64_t, std::string_view) {}, {}, env,
        TimeoutPool::shared());
    const std::vector<const Item*> roots(result->roots.begin(), result->roots.end());
    const Eviction::Selection selection = Eviction::select(roots, *result, env);
    std::vector<Eviction::Job> jobs;
    std::int64_t bytes = 0;
    for (const Item* doc : selection.documents) {
        if (jobs.size() == files)
            break;
        jobs.push_back(Eviction::jobFor(*doc));
        bytes += doc->localAlloc;
    }
    std::printf("world: %zu items, %zu downloaded documents that may be freed, freeing %zu "
                "(%.1f MB)\n",
                result->itemCount(), selection.documents.size(), jobs.size(), bytes / 1e6);

    double t = bench::seconds();
    for (const Eviction::Job& job : jobs)
        (void)FS::lstat(job.path);
    const double floor = bench::seconds() - t;

    t = bench::seconds();
    const Eviction::Outcome outcome = Eviction::run(home, jobs, {}, {});
    const double took = bench::seconds() - t;
    std::printf("evict      %7.2f s  %8.0f files/s  freed %zu, refused %zu  (target: 10,000 "
                "files under 10 s)\n",
                took, jobs.size() / took, outcome.done.size(), outcome.failed.size());
    std::printf("lstat only %7.3f s  (the same files, one lstat each)\n", floor);
    if (!std::getenv("TESSARY_BENCH_KEEP"))
        fs::remove_all(world);
    return outcome.failed.empty() ? 0 : 1;
}
