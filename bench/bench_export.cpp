// JSON export of a large aggregated tree: how fast exportJSON turns it into text (MB/s of JSON
// written), with the application's limits (depth 6, 10 files per folder) and for the whole tree.

#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Serialization.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace tessary;

namespace {

// A deterministic pseudo-random sequence, so every run exports the same tree.
struct Lcg {
    std::uint64_t state;
    std::uint64_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return state >> 33;
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

std::string hexId(Lcg& rng) {
    static const char digits[] = "0123456789abcdef";
    std::string id(36, '-');
    for (std::size_t i = 0; i < id.size(); ++i)
        if (i != 8 && i != 13 && i != 18 && i != 23)
            id[i] = digits[rng.below(16)];
    return id;
}

const char* const words[] = {"Faktura", "Dovolená", "Projekt", "report", "IMG",    "Smlouva",
                             "draft",   "final",    "Scan",    "výpis",  "Backup", "notes"};
const char* const extensions[] = {".pdf", ".jpg", ".heic", ".mov", ".docx",   ".zip",
                                  ".txt", ".png", ".mp3",  ".key", ".numbers"};

// About `target` items, folders up to 9 levels deep with 2-8 subfolders and 0-30 files each.
ScanResult makeTree(std::size_t target) {
    ScanResult res;
    Lcg rng{42};
    Item& root = res.put(Item("root[1]", "", "root[1]", ItemKind::dir, 1));
    root.enumerated = true;
    res.roots.push_back(&root);
    struct Pending {
        Item* folder;
        int depth;
    };
    std::vector<Pending> queue{{&root, 0}};
    std::size_t made = 1;
    for (std::size_t at = 0; at < queue.size() && made < target; ++at) {
        const auto [folder, depth] = queue[at];
        const std::string parentId(folder->id());
        const std::size_t files = rng.below(31);
        for (std::size_t f = 0; f < files && made < target; ++f, ++made) {
            std::string name = std::string(words[rng.below(12)]) + " " +
                               std::to_string(rng.below(10000)) + extensions[rng.below(11)];
            Item& doc = res.add(Item(hexId(rng), parentId, name, ItemKind::doc, 1));
            doc.sz = static_cast<std::int64_t>(rng.below(50'000'000));
            doc.qta = doc.sz + 4096;
            doc.mt = 1'700'000'000 + static_cast<std::int64_t>(rng.below(10'000'000));
            doc.resolved = rng.below(4) != 0;
            doc.dataless = rng.below(2) == 0;
            if (doc.resolved)
                doc.setPath("/home/user/Library/Mobile Documents/com~apple~CloudDocs/" + name);
            folder->children.push_back(&doc);
        }
        if (depth >= 9)
            continue;
        const std::size_t dirs = 2 + rng.below(7);
        for (std::size_t d = 0; d < dirs && made < target; ++d, ++made) {
            std::string name =
                std::string(words[rng.below(12)]) + " " + std::to_string(2000 + rng.below(26));
            Item& dir = res.add(Item(hexId(rng), parentId, name, ItemKind::dir, 1));
            dir.enumerated = rng.below(10) != 0;
            dir.resolved = true;
            dir.cc = static_cast<std::int64_t>(rng.below(40));
            folder->children.push_back(&dir);
            queue.push_back({&dir, depth + 1});
        }
    }
    for (int i = 0; i < 2000; ++i) {
        Item& d =
            res.add(Item(hexId(rng), "gone", "smazaný " + std::to_string(i), ItemKind::doc, 1));
        d.dead = true;
        d.qta = static_cast<std::int64_t>(rng.below(1'000'000));
        res.dead.push_back(&d);
    }
    Aggregator::aggregate(res);
    return res;
}

const ScanResult& tree() {
    static const ScanResult res = makeTree(1'000'000);
    return res;
}

// The whole-tree export holds the complete JSON document in memory (about 3 KB per item), so it
// runs on a smaller tree.
const ScanResult& smallTree() {
    static const ScanResult res = makeTree(200'000);
    return res;
}

void exportWith(benchmark::State& state, const ScanResult& res, std::int64_t maxDepth,
                std::int64_t filesPerDir) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string json = Serialization::exportJSON(res, maxDepth, filesPerDir);
        bytes = json.size();
        benchmark::DoNotOptimize(json.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["json_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["MB_per_s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6 *
                                                        static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    state.counters["tree_items"] = static_cast<double>(res.itemCount());
}

// The records alone, without the encoder: shows how the time splits.
void BM_ExportData_App(benchmark::State& state) {
    const ScanResult& res = tree();
    for (auto _ : state) {
        ExportDTO data = Serialization::exportData(res, 6, 10);
        benchmark::DoNotOptimize(data.roots.data());
    }
}
void BM_ExportJSON_App(benchmark::State& state) {
    exportWith(state, tree(), 6, 10);
}
void BM_ExportJSON_WholeTree(benchmark::State& state) {
    exportWith(state, smallTree(), Serialization::maxExportDepth, 1'000'000'000);
}

} // namespace

BENCHMARK(BM_ExportData_App)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportJSON_App)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportJSON_WholeTree)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
