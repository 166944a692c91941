// Disk-only scan benchmark on two trees, each built once and reused while it is there:
//  - a home-shaped tree: 30,000 folders and 300,000 files, about ten entries a folder at
//    varying depths, real bytes, one file in twenty empty;
//  - a wide tree of about 330,000 entries in 3,161 folders (about a hundred entries a folder).
// For each it times in one run the disk-only scan against `du -s` and `ncdu -0 -o /dev/null` on
// the same tree, best of three each, and reports the scan's peak memory per entry.
//
//   bench_fsscan [entries of the wide tree, default 330000] [folder of the trees, default $TMPDIR]
//
// ncdu is installed with apt-get when it is missing (the machine's package manager must work).
// The tree is kept for the next run; TESSARY_BENCH_CLEAN removes it afterwards.
#include "TessaryCore/FilesystemScanner.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include "BenchSupport.hpp"
#include "HomeTree.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;
using bench::exts;
using bench::makeHomeTree;
using bench::Rng;
using bench::treeEntries;
using bench::words;

namespace {

// Most files hold a few real bytes, as documents do; one in twenty is large and sparse (a
// cloud-only placeholder looks like that here: a logical size without blocks).
void makeFile(const std::string& path, Rng& rng) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    if (rng.below(20) != 0) {
        const std::string bytes(1 + rng.below(3000), 'x');
        if (::write(fd, bytes.data(), bytes.size()) < 0)
            std::perror(path.c_str());
    } else if (::ftruncate(fd, static_cast<off_t>(rng.below(50'000'000))) != 0) {
        std::perror(path.c_str());
    }
    ::close(fd);
}

// Three levels of folders (10 × 15 × 20 leaves), files spread unevenly over the leaves.
std::int64_t makeTree(const std::string& root, std::int64_t entries) {
    Rng rng{0x2545F4914F6CDD1DULL};
    std::int64_t made = 0;
    fs::create_directories(root);
    std::vector<std::string> leaves;
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 15; ++b)
            for (int c = 0; c < 20; ++c) {
                const std::string dir = root + "/" + words[a] + " " + std::to_string(a) + "/" +
                                        "Složka " + std::to_string(b) + "/" + std::to_string(c);
                fs::create_directories(dir);
                leaves.push_back(dir);
            }
    made += 10 + 10 * 15 + static_cast<std::int64_t>(leaves.size());
    std::int64_t n = 0;
    while (made < entries) {
        // A skewed pick: low-numbered leaves get many more files, as real folders do.
        const std::size_t leaf = rng.below(1 + rng.below(leaves.size()));
        const std::string name =
            std::string(words[rng.below(12)]) + " " + std::to_string(++n) + exts[rng.below(8)];
        makeFile(leaves[leaf] + "/" + name, rng);
        ++made;
    }
    return made;
}

struct ScanRun {
    double seconds = 0;
    std::int64_t peakBytes = 0;
    std::size_t items = 0;
    std::int64_t folders = 0;
};

ScanRun scanOnce(const std::string& root, const ScanEnvironment& env) {
    bench::resetPeak();
    const std::int64_t before = bench::rss("VmRSS:");
    const double t = bench::seconds();
    ScanResult result =
        FilesystemScanner::build({{"bench", root}}, {}, {}, env, TimeoutPool::shared());
    ScanRun run;
    run.seconds = bench::seconds() - t;
    run.peakBytes = bench::rss("VmHWM:") - before;
    run.items = result.itemCount();
    result.forEachItem([&run](const Item& item) { run.folders += item.isDir() ? 1 : 0; });
    return run;
}

double bestOf(const std::string& command) {
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        const double t = bench::timeCommand(command);
        if (t < 0)
            return -1;
        best = best < 0 ? t : std::min(best, t);
    }
    return best;
}

// Seconds one hand-off of an empty body to the pool costs, averaged over many.
double handOffSeconds() {
    constexpr int n = 20'000;
    const double t = bench::seconds();
    for (int i = 0; i < n; ++i)
        (void)TimeoutPool::shared().run(FilesystemScanner::listTimeout, {}, {}, false,
                                        [] { return 0; });
    return (bench::seconds() - t) / n;
}

// Seconds of one round trip to a waiting thread through a mutex and two condition variables:
// what a hand-off costs at the least on this machine, for comparison with the pool's.
double plainHandOffSeconds() {
    constexpr int n = 20'000;
    std::mutex mutex;
    std::condition_variable toWorker;
    std::condition_variable toCaller;
    int sent = 0;
    int answered = 0;
    std::thread worker([&] {
        std::unique_lock lock(mutex);
        for (int i = 1; i <= n; ++i) {
            toWorker.wait(lock, [&] { return sent >= i; });
            answered = i;
            toCaller.notify_one();
        }
    });
    const double t = bench::seconds();
    {
        std::unique_lock lock(mutex);
        for (int i = 1; i <= n; ++i) {
            sent = i;
            toWorker.notify_one();
            toCaller.wait(lock, [&] { return answered >= i; });
        }
    }
    const double elapsed = bench::seconds() - t;
    worker.join();
    return elapsed / n;
}

void ensureNcdu() {
    if (std::system("command -v ncdu >/dev/null 2>&1") == 0)
        return;
    std::printf("installing ncdu for the comparison\n");
    if (std::system("(apt-get update -qq && apt-get install -y -qq ncdu) >/dev/null 2>&1") != 0)
        std::printf("ncdu could not be installed; its comparison is skipped\n");
}

// The scan against du and ncdu on one tree, each the best of three after a warming du.
void compare(const char* label, const std::string& root, std::int64_t entries) {
    const ScanEnvironment env(fs::path(root).parent_path().string());
    (void)bench::timeCommand("du -s '" + root + "' >/dev/null");
    const ScanRun first = scanOnce(root, env);
    ScanRun best = first;
    for (int i = 0; i < 2; ++i)
        best.seconds = std::min(best.seconds, scanOnce(root, env).seconds);
    const double du = bestOf("du -s '" + root + "' >/dev/null");
    const double ncdu = bestOf("ncdu -0 -o /dev/null '" + root + "' 2>/dev/null");

    std::printf("%s: %lld entries on disk in %lld folders, %zu items in the result\n", label,
                static_cast<long long>(entries), static_cast<long long>(first.folders),
                first.items);
    std::printf("  (a) disk-only scan: %.3f s, %.0f entries/s\n", best.seconds,
                static_cast<double>(entries) / best.seconds);
    std::printf("  (b) du -s: %.3f s; ratio scan/du %.2f\n", du, best.seconds / du);
    if (ncdu > 0)
        std::printf("  (c) ncdu -0 -o /dev/null: %.3f s; ratio scan/ncdu %.2f\n", ncdu,
                    best.seconds / ncdu);
    else
        std::printf("  (c) ncdu: not available\n");
    std::printf("  (d) peak memory of the scan: %.0f bytes per entry (%.1f MB)\n",
                static_cast<double>(first.peakBytes) / static_cast<double>(entries),
                first.peakBytes / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    const std::int64_t wanted = argc > 1 ? std::atoll(argv[1]) : 330'000;
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = argc > 2 ? argv[2] : std::string(tmp ? tmp : "/tmp");
    const std::string home = folder + "/bench_fsscan-home";
    const std::string wide = folder + "/bench_fsscan-tree";
    const std::int64_t homeEntries = treeEntries(home, 330'000, makeHomeTree);
    const std::int64_t wideEntries = treeEntries(wide, wanted, makeTree);
    ensureNcdu();

    compare("home-shaped tree", home, homeEntries);
    compare("wide tree", wide, wideEntries);
    const double handOff = handOffSeconds();
    const double plain = plainHandOffSeconds();
    std::printf("(e) pool hand-off: %.1f µs per folder; a plain condition-variable round trip "
                "%.1f µs (ratio %.2f)\n",
                handOff * 1e6, plain * 1e6, handOff / plain);
    if (std::getenv("TESSARY_BENCH_CLEAN") != nullptr)
        for (const std::string& root : {home, wide}) {
            fs::remove_all(root);
            fs::remove(root + ".v2.entries");
        }
    return 0;
}
