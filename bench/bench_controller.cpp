// Controller benchmark: a million-item database (a synthetic cached dump, so no tool runs and no
// folder is compared) scanned by the real controller, then the operations a user waits for on
// the main thread, each as time per call: search per keystroke for a few typical needles, the
// search index build, opening a folder of 2,000 children (1,500 rows), and the breakdown of the
// largest folder.
//
//   bench_controller [items, default 1000000]
#include "TessaryApp/ScanController.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Serialization.hpp"

#include "BenchSupport.hpp"
#include "WaitIdle.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

using namespace tessary;
using bench::Rng;

namespace {

constexpr const char* words[] = {"Faktura", "Fotka",   "Koleda", "Report",  "Smlouva", "Video",
                                 "Záloha",  "Projekt", "Nákres", "Účtenka", "Dopis",   "Scan"};
constexpr const char* exts[] = {".pdf", ".jpg", ".heic", ".docx", ".mov", ".zip", ".png"};

void line(std::ofstream& out, const std::string& id, const std::string& parent,
          const std::string& name, bool folder, std::int64_t size, std::int64_t children) {
    out << "  i:<" << id << "> st{p:<" << parent << "> n:\"" << name << "\" "
        << (folder ? "dir" : "doc") << " live ct:1} sz:" << size << " bytes sm{qta:" << size
        << " rcc:" << children << " sbm:0 stm:0 cc:" << children << "} mt:1700000000\n";
}

// One container: 1,000 folders of files, and one folder of 2,000 files.
void writeDump(const std::string& path, std::int64_t items) {
    std::ofstream out(path, std::ios::binary);
    out << "brctl dump -v\n    server items:\n"
        << "    ----------------------com~apple~CloudDocs[1]----------------------\n";
    Rng rng;
    const std::int64_t folders = 1000;
    const std::int64_t perFolder = (items - 2000) / folders;
    line(out, "wide", "root[1]", "Široká složka", true, 0, 2000);
    for (int i = 0; i < 2000; ++i)
        line(out, "w" + std::to_string(i), "wide", "Soubor " + std::to_string(i) + ".txt", false,
             static_cast<std::int64_t>(rng.below(1u << 20)), 0);
    for (std::int64_t f = 0; f < folders; ++f) {
        const std::string folder = "d" + std::to_string(f);
        line(out, folder, "root[1]", std::string(words[f % 12]) + " " + std::to_string(f), true, 0,
             perFolder);
        for (std::int64_t i = 0; i < perFolder; ++i)
            line(out, folder + "-" + std::to_string(i), folder,
                 std::string(words[rng.below(12)]) + " " + std::to_string(rng.below(100000)) +
                     exts[rng.below(7)],
                 false, static_cast<std::int64_t>(rng.below(1u << 24)), 0);
    }
    out << "    client items:\n";
}

// Milliseconds per call of `f`, the best of `runs`.
double perCall(int runs, const std::function<void()>& f) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::int64_t items = argc > 1 ? std::atoll(argv[1]) : 1000000;
    QTemporaryDir dir;
    const std::string home = dir.path().toStdString() + "/home";
    const ScanEnvironment env(home);
    std::filesystem::create_directories(env.cacheDir);
    std::filesystem::create_directories(env.cloudDocsDir);
    writeDump(env.dumpFile, items);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    ::setenv("TESSARY_BRCTL", "/nonexistent/brctl", 1); // the quota stays unknown

    ScanController c;
    c.setEnvironment(env);
    QElapsedTimer scanTime;
    scanTime.start();
    c.startScan(false);
    bench::waitIdle(c);
    if (!c.result()) {
        std::fprintf(stderr, "scan failed: %s\n",
                     c.errorMessage().value_or("").toUtf8().constData());
        return 1;
    }
    std::printf("items in result: %zu\n", c.result()->itemCount());
    std::printf("scan incl. index, ms: %.0f\n", static_cast<double>(scanTime.elapsed()));

    std::printf("buildSearchIndex ms/call: %.1f\n",
                perCall(3, [&c] { (void)ScanController::buildSearchIndex(*c.result()); }));
    for (const char* needle : {"ko", "faktura", "zzzz-no-hit", "účtenka 42"}) {
        c.setQuery(QString::fromUtf8(needle));
        const double ms = perCall(5, [&c] { c.runSearch(ScanController::listingRowLimit); });
        std::printf("runSearch '%s' ms/call: %.1f (hits %lld)\n", needle, ms,
                    static_cast<long long>(c.searchTotal()));
    }
    const std::string wide = "wide";
    const double open = perCall(20, [&c, &wide] {
        c.navigate(std::string("d1"), true); // away first, so the next one really changes
        c.navigate(wide, true);
    });
    std::printf("navigate into 2,000 children ms/call: %.2f (rows %zu, more %lld)\n", open / 2,
                c.children().size(), static_cast<long long>(c.more()));
    // A breakdown is computed once per folder and result, then cached: the first call is what
    // the user waits for.
    const std::string root(c.result()->mainRoot()->id());
    std::printf("breakdown of the root (1,001 children), first call ms: %.2f\n",
                perCall(1, [&c, &root] { (void)c.breakdown(root); }));
    std::printf("breakdown of the root, cached ms/call: %.3f\n",
                perCall(5, [&c, &root] { (void)c.breakdown(root); }));
    return 0;
}
