// Whole dump-mode scan of a large simulated world: the world (default one million items) and
// its dump are made once and kept; then parse, container mapping, name resolution and
// aggregation are timed one by one, each with its own peak memory, and the resolver's speed is
// given in folders and names per second.
//
//   bench_scan [items, default 1000000] [world folder, default $TMPDIR/bench_scan-world]
//
// TESSARY_BENCH_CLEAN removes the world afterwards.
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Brctl.hpp"
#include "TessaryCore/ContainerMapper.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include "BenchSupport.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

struct Stage {
    double seconds;
    std::int64_t peakBytes;
};

// Runs `body`, measuring its wall time and how far it raised the resident memory.
Stage measure(const std::function<void()>& body) {
    bench::resetPeak();
    const std::int64_t before = bench::rss("VmRSS:");
    const double t = bench::seconds();
    body();
    return {bench::seconds() - t, bench::rss("VmHWM:") - before};
}

void print(const char* name, const Stage& s, std::int64_t items) {
    std::printf("%-10s %7.2f s  peak +%7.1f MB  %5.0f bytes/item\n", name, s.seconds,
                s.peakBytes / 1e6, static_cast<double>(s.peakBytes) / static_cast<double>(items));
}

void ensureWorld(const std::string& world, long long items) {
    const std::string marker = world + "/truth/world.json";
    if (fs::exists(marker))
        return;
    const std::string command = std::string("'") + VARNELO_SIM + "' world --out '" + world +
                                "' --replace --items " + std::to_string(items);
    std::printf("generating the world: %s\n", command.c_str());
    const double t = bench::timeCommand(command);
    if (t < 0) {
        std::fprintf(stderr, "the world could not be generated\n");
        std::exit(1);
    }
    std::printf("world written in %.1f s\n", t);
}

} // namespace

int main(int argc, char** argv) {
    const long long items = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
    const char* tmp = std::getenv("TMPDIR");
    const std::string world =
        argc > 2 ? argv[2] : std::string(tmp ? tmp : "/tmp") + "/bench_scan-world";
    ensureWorld(world, items);

    const ScanEnvironment env(world + "/home");
    // The stand-in finds its world through HOME, as in the demo.
    ::setenv("TESSARY_BRCTL", VARNELO_BRCTL, 1);
    ::setenv("HOME", env.home.c_str(), 1);
    if (!fs::exists(env.dumpFile)) {
        const double t = bench::seconds();
        (void)Brctl::runDump(env.dumpFile, noopProgress, {}, env);
        std::printf("dump made in %.1f s, %.1f MB\n", bench::seconds() - t,
                    static_cast<double>(fs::file_size(env.dumpFile)) / 1e6);
    }
    (void)IOPolicy::disableMaterialization();

    ScanResult result;
    const Stage parse = measure([&] { result = DumpParser::parse(env.dumpFile, noopProgress); });
    const auto n = static_cast<std::int64_t>(result.itemCount());
    const Stage map = measure([&] { ContainerMapper::mapContainers(result, env); });
    const Stage resolve = measure([&] {
        (void)NameResolver::resolveNames(result, noopProgress, {}, nullptr, std::nullopt, {},
                                         NameResolver::listTimeout, NameResolver::hydrateTimeout,
                                         env, TimeoutPool::shared());
    });
    const Stage aggregate = measure([&] { Aggregator::aggregate(result); });

    std::printf("items: %lld in the result\n", static_cast<long long>(n));
    print("parse", parse, n);
    print("map", map, n);
    print("resolve", resolve, n);
    print("aggregate", aggregate, n);
    std::printf("total      %7.2f s\n",
                parse.seconds + map.seconds + resolve.seconds + aggregate.seconds);
    const double folders = static_cast<double>(result.stats["dirs_enumerated"]);
    const double names = static_cast<double>(result.stats["names_resolved"]);
    std::printf("resolver: %.0f folders/s, %.0f names/s (%.0f folders listed, %.0f names)\n",
                folders / resolve.seconds, names / resolve.seconds, folders, names);
    if (std::getenv("TESSARY_BENCH_CLEAN") != nullptr)
        (void)std::system(("chmod -R u+rwx '" + world + "'; rm -rf '" + world + "'").c_str());
    return 0;
}
