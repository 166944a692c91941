// Parse benchmark: writes a deterministic synthetic dump (default ~1 GB), then measures in one
// run (a) a plain memchr line count over the same file, the floor, (b) parse + buildTree +
// aggregate, (c) the ratio b/a and (d) peak resident memory per item.
//
//   bench_parse [size in MB, default 1024] [dump path, default $TMPDIR/bench_parse-dump.txt]
//
// The file is removed afterwards unless TESSARY_BENCH_KEEP is set.
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/DumpParser.hpp"

#include "BenchSupport.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tessary;
using bench::Rng;
using bench::rss;
using bench::seconds;

namespace {

// Item ids like the database's: 36 characters of hex with dashes, unique per counter.
std::string itemId(std::uint64_t n, Rng& rng) {
    static const char hex[] = "0123456789ABCDEF";
    std::string id(36, '0');
    std::uint64_t r = rng.next();
    for (int i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            id[i] = '-';
            continue;
        }
        if (i >= 24) { // the counter keeps ids unique
            id[i] = hex[(n >> (4 * (35 - i))) & 15];
        } else {
            id[i] = hex[r & 15];
            r = r >> 4 | r << 60;
        }
    }
    return id;
}

std::string name(Rng& rng, bool folder) {
    static const char* words[] = {"Report", "Photo",      "IMG",    "Faktura",  "notes", "Projekt",
                                  "draft",  "Screenshot", "backup", "Dovolená", "scan",  "final"};
    static const char* exts[] = {".pdf", ".jpg",   ".HEIC",    ".docx", ".txt",
                                 ".mov", ".pages", ".numbers", ".zip",  ".png"};
    std::string n = words[rng.below(12)];
    n += ' ';
    n += std::to_string(rng.below(100000));
    if (rng.below(4) == 0)
        n += " (kopie)";
    // The database masks many names: a few letters shown, the rest counted.
    if (rng.below(3) == 0)
        n = n.substr(0, 1) + "{" + std::to_string(n.size() - 2) + "}" + n.substr(n.size() - 1);
    if (!folder)
        n += exts[rng.below(10)];
    return n;
}

// One item line with the fields the parser reads and the noise a verbose dump carries.
void itemLine(std::string& out, const std::string& id, const std::string& parent,
              const std::string& nm, bool folder, bool dead, std::int64_t children, Rng& rng) {
    const std::int64_t sz = folder ? 0 : static_cast<std::int64_t>(rng.below(1u << 24));
    out += "\x1b[1m  i:<";
    out += id;
    out += ">\x1b[0m st{p:<";
    out += parent;
    out += "> n:\"";
    out += nm;
    out += "\" ";
    out += folder ? "dir" : "doc";
    out += dead ? " dead" : " live";
    out += " ct:1}";
    out += " sz:";
    out += std::to_string(sz);
    out += " bytes";
    out += " ck{sha1:";
    for (int i = 0; i < 4; ++i) {
        char buf[17];
        std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(rng.next()));
        out += buf;
    }
    out += "} sm{qta:";
    out += std::to_string(sz + (sz != 0 ? 4096 - sz % 4096 : 0));
    out += " rcc:";
    out += std::to_string(children);
    out += " sbm:0 stm:0 cc:";
    out += std::to_string(children);
    out += "} mt:";
    out += std::to_string(1600000000 + rng.below(100000000));
    out += " \x1b[2mvi{e:0 gen:";
    out += std::to_string(rng.below(1000));
    out += " etag:";
    out += std::to_string(rng.next() % 1000000000);
    out += "}\x1b[0m\n";
}

struct Generated {
    std::int64_t items = 0;
    std::int64_t bytes = 0;
    int maxDepth = 0;
};

// Containers of very different sizes; folders nest up to 14 levels with 2 to 40 entries each.
Generated generate(const std::string& path, std::int64_t targetBytes) {
    Rng rng;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    Generated g;
    std::string out;
    auto flush = [&](bool force) {
        if (out.size() > (1u << 20) || (force && !out.empty())) {
            std::fwrite(out.data(), 1, out.size(), f);
            g.bytes += static_cast<std::int64_t>(out.size());
            out.clear();
        }
    };
    out += "brctl dump -v\n    sync state: idle\n    server items:\n";
    const char* containers[] = {"com~apple~CloudDocs",        "iCloud~com~example~Notes",
                                "ABCDE12345~com~example~app", "com~apple~Pages",
                                "com~apple~Numbers",          "iCloud~md~obsidian"};
    const double shares[] = {0.70, 0.08, 0.07, 0.06, 0.05, 0.04};
    std::uint64_t counter = 0;
    for (int c = 0; c < 6; ++c) {
        out += "    ----------------------";
        out += containers[c];
        out += "[" + std::to_string(c + 1) + "]----------------------\n";
        const std::int64_t budget = static_cast<std::int64_t>(targetBytes * shares[c]);
        const std::int64_t start = g.bytes + static_cast<std::int64_t>(out.size());
        // Each folder's number of entries is chosen when it is written, so that its child
        // count matches; its entries follow later, depth first.
        struct Folder {
            std::string id;
            int depth;
            int entries;
        };
        const std::string rootId = "root[" + std::to_string(c + 1) + "]";
        std::vector<Folder> stack;
        while (g.bytes + static_cast<std::int64_t>(out.size()) - start < budget) {
            if (stack.empty())
                stack.push_back({rootId, 0, 2 + static_cast<int>(rng.below(39))});
            const Folder parent = stack.back();
            stack.pop_back();
            for (int i = 0; i < parent.entries; ++i) {
                const bool folder = parent.depth < 14 && rng.below(100) < 12;
                const bool dead = rng.below(200) == 0;
                const std::string id = itemId(++counter, rng);
                const int entries = folder && !dead ? 2 + static_cast<int>(rng.below(39)) : 0;
                // Now and then an item whose parent the dump does not list.
                const std::string parentId =
                    rng.below(5000) == 0 ? itemId(~counter, rng) : parent.id;
                itemLine(out, id, parentId, name(rng, folder), folder, dead, entries, rng);
                ++g.items;
                if (entries > 0) {
                    stack.push_back({id, parent.depth + 1, entries});
                    if (parent.depth + 1 > g.maxDepth)
                        g.maxDepth = parent.depth + 1;
                }
            }
            if (rng.below(50) == 0)
                out += "    unrelated line: pending uploads 0\n";
            flush(false);
        }
    }
    out += "    client items:\n  i:<client> st{p:<x> n:\"ignored\" doc}\n";
    flush(true);
    std::fclose(f);
    return g;
}

// Lines of the file by memchr over 8 MiB blocks: the fastest any line parser can be.
std::int64_t countLines(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    auto buf = std::make_unique_for_overwrite<char[]>(8u << 20);
    std::int64_t lines = 0;
    ssize_t n;
    while ((n = ::read(fd, buf.get(), 8u << 20)) > 0) {
        const char* p = buf.get();
        const char* end = p + n;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', end - p))) != nullptr) {
            ++lines;
            ++p;
        }
    }
    ::close(fd);
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    const std::int64_t mb = argc > 1 ? std::atoll(argv[1]) : 1024;
    const char* tmp = std::getenv("TMPDIR");
    const std::string path =
        argc > 2 ? argv[2] : std::string(tmp ? tmp : "/tmp") + "/bench_parse-dump.txt";

    const double g0 = seconds();
    const Generated g = generate(path, mb << 20);
    std::printf("dump: %s, %.1f MB, %lld items, depth %d, generated in %.1f s\n", path.c_str(),
                g.bytes / 1e6, static_cast<long long>(g.items), g.maxDepth, seconds() - g0);

    // Warm the page cache so that both measurements read from memory.
    (void)countLines(path);
    double t = seconds();
    const std::int64_t lines = countLines(path);
    const double floorSeconds = seconds() - t;
    const double floorMBs = g.bytes / 1e6 / floorSeconds;
    std::printf("(a) memchr line count: %lld lines, %.0f MB/s\n", static_cast<long long>(lines),
                floorMBs);

    // Measure the parse's own peak: reset the high-water mark (Linux clear_refs "5").
    bench::resetPeak();
    const std::int64_t before = rss("VmRSS:");
    t = seconds();
    ScanResult res = DumpParser::parse(path);
    const double parseSeconds = seconds() - t;
    t = seconds();
    Aggregator::aggregate(res);
    const double aggSeconds = seconds() - t;
    const double total = parseSeconds + aggSeconds;
    const std::int64_t peak = rss("VmHWM:");
    const std::int64_t items = res.stats["items_parsed"];
    const double mbs = g.bytes / 1e6 / total;
    std::printf("(b) parse + buildTree + aggregate: %.2f s (aggregate %.2f s), %.0f MB/s, "
                "%.0f items/s, %lld items\n",
                total, aggSeconds, mbs, items / total, static_cast<long long>(items));
    std::printf("(c) ratio b/a: %.3f\n", mbs / floorMBs);
    std::printf("(d) peak RSS per item: %.0f bytes (peak %.0f MB, %.0f MB before the parse)\n",
                static_cast<double>(peak - before) / static_cast<double>(items), peak / 1e6,
                before / 1e6);
    std::printf("    roots %zu, dead %zu, orphans %lld, dirs checked %lld, mismatches %lld\n",
                res.roots.size(), res.dead.size(), static_cast<long long>(res.stats["orphans"]),
                static_cast<long long>(res.stats["dirs_checked"]),
                static_cast<long long>(res.stats["dirs_child_mismatch"]));
    if (std::getenv("TESSARY_BENCH_KEEP") == nullptr)
        std::remove(path.c_str());
    return 0;
}
