// Cost of the file layer against the bare system calls it wraps, on one folder of 20000 files
// and 2000 sub-folders. Compare the items/s of each FS benchmark with its "Raw" twin.
#include "TessaryCore/FS.hpp"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tessary;

namespace {

struct Fixture {
    std::string root;
    std::string dir;
    std::vector<std::string> paths;

    Fixture() {
        char pattern[] = "/tmp/varnelo-bench-fs-XXXXXX";
        root = ::mkdtemp(pattern);
        dir = root + "/Library.bundle";
        ::mkdir(dir.c_str(), 0755);
        for (int i = 0; i < 20000; ++i) {
            const std::string p = dir + "/file-" + std::to_string(i) + ".jpg";
            const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0) {
                const ssize_t n = ::write(fd, "0123456789", i % 3 == 0 ? 0 : 10);
                (void)n;
                ::close(fd);
            }
            paths.push_back(p);
        }
        for (int i = 0; i < 2000; ++i) {
            const std::string p = dir + "/sub-" + std::to_string(i);
            ::mkdir(p.c_str(), 0755);
            paths.push_back(p);
        }
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ListNames(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(FS::listNames(f.dir));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(f.paths.size()));
}

void BM_ListNamesRaw(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        std::vector<std::string> names;
        DIR* d = ::opendir(f.dir.c_str());
        while (const dirent* e = ::readdir(d))
            names.emplace_back(e->d_name);
        ::closedir(d);
        benchmark::DoNotOptimize(names);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(f.paths.size()));
}

void BM_Lstat(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state)
        for (const std::string& p : f.paths)
            benchmark::DoNotOptimize(FS::lstat(p));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(f.paths.size()));
}

void BM_LstatRaw(benchmark::State& state) {
    const Fixture& f = fixture();
    struct stat st;
    for (auto _ : state)
        for (const std::string& p : f.paths)
            benchmark::DoNotOptimize(::lstat(p.c_str(), &st));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(f.paths.size()));
}

void BM_PackageAlloc(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(FS::packageAlloc(f.dir, 50000));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(f.paths.size()));
}

} // namespace

BENCHMARK(BM_ListNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListNamesRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lstat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LstatRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackageAlloc)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
