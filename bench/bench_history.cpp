// Keeping the record of a scan and comparing it with the previous one, as the scan thread does
// after every scan: a tree of a million items (folders of ten, one document in eight of at least
// 1 MB, database ids in the usual form) is recorded once, changed in one folder in a hundred,
// and recorded and compared again. Prints the time of the second recording with its comparison,
// the bytes per recorded item on disk, and the time of building the record alone.
//
//   bench_history [items, default 1000000]
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanHistory.hpp"
#include "TessaryCore/ScanResult.hpp"

#include "BenchSupport.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

std::string uuid(std::uint64_t n) {
    char text[40];
    std::snprintf(text, sizeof text, "%08llX-%04llX-%04llX-%04llX-%012llX",
                  static_cast<unsigned long long>(n & 0xFFFFFFFF),
                  static_cast<unsigned long long>((n >> 32) & 0xFFFF), 0x4000ULL | (n % 0xFFF),
                  0x8000ULL | (n % 0x3FFF),
                  static_cast<unsigned long long>((n * 2654435761ULL) & 0xFFFFFFFFFFFFULL));
    return text;
}

// Folders of ten entries: nine documents and one folder below, breadth first.
std::unique_ptr<ScanResult> tree(std::size_t items, std::uint64_t grow) {
    auto res = std::make_unique<ScanResult>();
    Item& root = res->put(Item("root[1]", "", "root[1]", ItemKind::dir, 1));
    root.enumerated = true;
    res->roots.push_back(&root);
    bench::Rng rng;
    std::vector<Item*> folders{&root};
    std::size_t made = 1;
    for (std::size_t f = 0; made < items; ++f) {
        Item& folder = *folders[f];
        for (int i = 0; i < 10 && made < items; ++i, ++made) {
            const bool dir = i == 0 || (i == 1 && folders.size() < items / 20);
            const std::string id = uuid(made);
            Item& child = res->add(Item(id, folder.id(), "n" + std::to_string(made),
                                        dir ? ItemKind::dir : ItemKind::doc, 1));
            child.resolved = true;
            child.enumerated = dir;
            if (!dir) {
                const std::uint64_t r = rng.next();
                child.sz = r % 8 == 0 ? 1'000'000 + static_cast<std::int64_t>(r % 50'000'000)
                                      : static_cast<std::int64_t>(r % 200'000);
                if (grow && f % 100 == 0)
                    child.sz += static_cast<std::int64_t>(grow);
                child.qta = child.sz;
            }
            folder.children.push_back(&child);
            if (dir)
                folders.push_back(&child);
        }
    }
    Aggregator::aggregate(*res);
    return res;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t items = argc > 1 ? std::stoul(argv[1]) : 1'000'000;
    const char* tmp = std::getenv("TMPDIR");
    const fs::path folder =
        fs::path(tmp ? tmp : "/tmp") / ("bench_history-" + std::to_string(::getpid()));
    const auto before = tree(items, 0);
    const auto after = tree(items, 3'000'000);

    double t = bench::seconds();
    const ScanHistory::Recorded first = ScanHistory::record(*before, folder.string(), 1000);
    const double firstTime = bench::seconds() - t;
    t = bench::seconds();
    const ScanHistory::Recorded second = ScanHistory::record(*after, folder.string(), 2000);
    const double secondTime = bench::seconds() - t;
    t = bench::seconds();
    const ScanRecord alone = ScanRecord::of(*after, "icloud", 3000);
    const double buildTime = bench::seconds() - t;

    std::uintmax_t bytes = 0;
    for (const auto& e : fs::directory_iterator(folder))
        bytes = std::max(bytes, e.file_size());
    const std::size_t recorded = second.current.entries.size();
    std::printf("items %zu, recorded %zu (folders and documents of 1 MB or more)\n", items,
                recorded);
    std::printf("first record            %6.3f s\n", firstTime);
    std::printf("record + compare        %6.3f s  (%zu changes; target under 0.5 s)\n", secondTime,
                second.comparison ? second.comparison->changes().size() : 0);
    std::printf("record alone, in memory %6.3f s\n", buildTime);
    std::printf("on disk                 %6.1f bytes per recorded item (target under 30)\n",
                static_cast<double>(bytes) / static_cast<double>(recorded));
    fs::remove_all(folder);
    return first.comparison || !second.comparison || alone.entries.empty() ? 1 : 0;
}
