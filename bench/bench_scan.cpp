// Whole dump-mode scan of a large simulated world: the world (default one million items) and
// its dump are made once and kept; then parse, container mapping, name resolution and
// aggregation are timed one by one, each with its own peak memory, and the resolver's speed is
// given in folders and names per second. The resolver is set against its floor: a plain walk of
// the same local folders on the same thread (one getdents and one fstatat per entry), timed in the
// same run, so the ratio holds on a loaded machine where the seconds do not. The library's own
// listing is walked too, on one thread and on one thread per core: the second is the least time a
// resolver can take that reads every placeholder's mark, and with the parse before it, the least
// time of the whole scan.
//
//   bench_scan [items, default 1000000] [world folder, default $TMPDIR/bench_scan-world]
//
// First of all the whole scan runs end to end as the program runs it, and is set against the
// parse and the listing on one thread per core measured later in the same run.
//
// TESSARY_BENCH_CLEAN removes the world afterwards; TESSARY_BENCH_NO_FLOOR skips the three walks
// (to profile the scan's own stages).
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Brctl.hpp"
#include "TessaryCore/ContainerMapper.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include "BenchSupport.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

struct Stage {
    double seconds;
    // Processor time of all threads, which a loaded machine does not stretch as much.
    double cpu;
    std::int64_t peakBytes;
    // The resident high-water mark the stage reached.
    std::int64_t highWater;
};

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return secs(usage.ru_utime) + secs(usage.ru_stime);
}

// Runs `body`, measuring its wall time, its processor time and how far it raised the resident
// memory.
Stage measure(const std::function<void()>& body) {
    bench::resetPeak();
    const std::int64_t before = bench::rss("VmRSS:");
    const double t = bench::seconds();
    const double c = cpuSeconds();
    body();
    const std::int64_t high = bench::rss("VmHWM:");
    return {bench::seconds() - t, cpuSeconds() - c, high - before, high};
}

void print(const char* name, const Stage& s, std::int64_t items) {
    std::printf("%-10s %7.2f s (cpu %6.2f s)  peak +%7.1f MB  %5.0f bytes/item\n", name, s.seconds,
                s.cpu, s.peakBytes / 1e6,
                static_cast<double>(s.peakBytes) / static_cast<double>(items));
}

// The floor of any resolver: every folder under `roots` read with getdents and every entry
// lstat-ed once relative to its open folder, on this thread. Returns the entries seen.
std::int64_t plainWalk(const std::vector<std::string>& roots) {
    std::int64_t entries = 0;
    std::vector<std::string> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        const std::string path = std::move(stack.back());
        stack.pop_back();
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr)
            continue;
        const int fd = ::dirfd(dir);
        while (const dirent* e = ::readdir(dir)) {
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            struct stat st;
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            ++entries;
            if (S_ISDIR(st.st_mode))
                stack.push_back(path + "/" + name);
        }
        ::closedir(dir);
    }
    return entries;
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

// The same walk through the library's listing, which also reads the placeholder mark of every
// folder and every file without blocks (off macOS an extended attribute, one more system call),
// on `threads` threads sharing one stack of folders: with as many threads as cores, the least
// time any resolver that reads the disk this way can take, before it matches a single name.
std::int64_t listingWalk(const std::vector<std::string>& roots, int threads) {
    std::mutex mutex;
    std::condition_variable cond;
    std::vector<std::string> stack(roots.rbegin(), roots.rend());
    int busy = 0;
    std::int64_t entries = 0;
    auto work = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            cond.wait(lock, [&] { return !stack.empty() || busy == 0; });
            if (stack.empty())
                break;
            const std::string path = std::move(stack.back());
            stack.pop_back();
            ++busy;
            lock.unlock();
            std::vector<std::string> folders;
            std::int64_t seen = 0;
            try {
                for (const FS::Entry& e : FS::listStats(path)) {
                    if (!e.stat)
                        continue;
                    ++seen;
                    if (e.stat->isDir())
                        folders.push_back(FS::join(path, e.name));
                }
            } catch (const FSError&) {
            }
            lock.lock();
            --busy;
            entries += seen;
            stack.insert(stack.end(), std::make_move_iterator(folders.rbegin()),
                         std::make_move_iterator(folders.rend()));
            cond.notify_all();
        }
        cond.notify_all();
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread& t : helpers)
        t.join();
    return entries;
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

    // The whole scan as the program runs it (the disk listed while the dump is read, the quota
    // asked beside it), on the cached dump, before anything else is held in memory.
    const std::int64_t baseline = bench::rss("VmRSS:");
    std::int64_t wholeItems = 0;
    const Stage whole = measure([&] {
        Scanner::Options options;
        options.maxAgeHours = 1e9;
        // TESSARY_BENCH_PHASES prints when each phase of it begins.
        const bool phases = std::getenv("TESSARY_BENCH_PHASES") != nullptr;
        const double t0 = bench::seconds();
        std::string last;
        const ProgressCallback progress = [&](std::string_view phase, std::int64_t, std::int64_t,
                                              std::string_view) {
            if (phases && phase != last) {
                last = phase;
                std::printf("  %6.2f s %s (resident %.0f MB)\n", bench::seconds() - t0,
                            last.c_str(), bench::rss("VmRSS:") / 1e6);
            }
        };
        const std::unique_ptr<ScanResult> scanned =
            Scanner::scan(options, progress, {}, env, TimeoutPool::shared());
        wholeItems = static_cast<std::int64_t>(scanned->itemCount());
    });

    ScanResult result;
    const Stage parse = measure([&] { result = DumpParser::parse(env.dumpFile, noopProgress); });
    const auto n = static_cast<std::int64_t>(result.itemCount());
    const Stage map = measure([&] { ContainerMapper::mapContainers(result, env); });
    std::vector<std::string> roots;
    for (const auto& [index, c] : result.containers)
        if (c.root && c.localPath)
            roots.push_back(*c.localPath);
    std::int64_t walked = 0;
    const bool walks = std::getenv("TESSARY_BENCH_NO_FLOOR") == nullptr;
    const Stage floor = measure([&] { walked = walks ? plainWalk(roots) : 0; });
    const Stage listing = measure([&] {
        if (walks)
            (void)listingWalk(roots, 1);
    });
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const Stage parallel = measure([&] {
        if (walks)
            (void)listingWalk(roots, static_cast<int>(cores));
    });
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
    std::printf("total      %7.2f s (cpu %6.2f s)\n",
                parse.seconds + map.seconds + resolve.seconds + aggregate.seconds,
                parse.cpu + map.cpu + resolve.cpu + aggregate.cpu);
    const std::int64_t high =
        std::max({parse.highWater, map.highWater, resolve.highWater, aggregate.highWater});
    std::printf("whole scan peak +%.1f MB, %.0f bytes/item\n", (high - baseline) / 1e6,
                static_cast<double>(high - baseline) / static_cast<double>(n));
    print("end to end", whole, wholeItems);
    print("walk floor", floor, n);
    std::printf("resolve / walk floor: %.2f (cpu %.2f); %lld local entries walked\n",
                resolve.seconds / floor.seconds, resolve.cpu / floor.cpu,
                static_cast<long long>(walked));
    print("listing", listing, n);
    std::printf("resolve / listing walk: %.2f (cpu %.2f); listing walk / floor %.2f (cpu %.2f)\n",
                resolve.seconds / listing.seconds, resolve.cpu / listing.cpu,
                listing.seconds / floor.seconds, listing.cpu / floor.cpu);
    std::printf("listing on %u threads %5.2f s (cpu %6.2f s); resolve / that: %.2f; parse + that: "
                "%.2f s, the least a scan that parses first can take\n",
                cores, parallel.seconds, parallel.cpu, resolve.seconds / parallel.seconds,
                parse.seconds + parallel.seconds);
    std::printf("end to end %.2f s against parse + listing on %u threads %.2f s: %.2f of it\n",
                whole.seconds, cores, parse.seconds + parallel.seconds,
                whole.seconds / (parse.seconds + parallel.seconds));
    const double folders = static_cast<double>(result.stats["dirs_enumerated"]);
    const double names = static_cast<double>(result.stats["names_resolved"]);
    std::printf("resolver: %.0f folders/s, %.0f names/s (%.0f folders listed, %.0f names)\n",
                folders / resolve.seconds, names / resolve.seconds, folders, names);
    if (std::getenv("TESSARY_BENCH_CLEAN") != nullptr)
        (void)std::system(("chmod -R u+rwx '" + world + "'; rm -rf '" + world + "'").c_str());
    return 0;
}
