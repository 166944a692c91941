// The main window with a folder of 1,500 listed rows (1,600 files on disk, the table's limit
// applies): how long switching to that folder takes until the table is painted, and how long
// one scroll step of the table takes to repaint. Runs on the offscreen platform unless another
// is chosen; prints the median and the slowest of the runs.
//
//   bench_window [runs, default 40]
#include "ContentView.hpp"
#include "FolderTableView.hpp"
#include "ListingTable.hpp"
#include "MainWindow.hpp"

#include "TessaryApp/ScanController.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanResult.hpp"

#include "BenchSupport.hpp"

#include <QApplication>
#include <QScrollBar>
#include <QSettings>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

struct Figures {
    double median;
    double slowest;
};

Figures figures(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// A home with an iCloud Drive folder holding "Many" (1,600 files of different sizes) and a few
// other folders, scanned from the disk.
fs::path makeHome() {
    const fs::path root = fs::temp_directory_path() / "bench_window-home";
    fs::remove_all(root);
    const ScanEnvironment env((root / "home").string());
    const fs::path many = fs::path(env.cloudDocsDir) / "Many";
    fs::create_directories(many);
    bench::Rng rng;
    for (int i = 0; i < 1600; ++i) {
        std::ofstream out(many / ("soubor-" + std::to_string(i) + ".dat"), std::ios::binary);
        out << std::string(std::size_t(1 + rng.below(4000)), 'x');
    }
    for (const char* name : {"Dokumenty", "Fotky", "Hudba"}) {
        fs::create_directories(fs::path(env.cloudDocsDir) / name);
        std::ofstream(fs::path(env.cloudDocsDir) / name / "a.txt") << "abc";
    }
    return root;
}

std::string idOfMany(const ScanController& c) {
    std::string id;
    c.result()->forEachItem([&id](Item& item) {
        if (item.name() == "Many")
            id = std::string(item.id());
    });
    return id;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const fs::path root = makeHome();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((root / "settings").string()));

    ScanController c;
    c.setEnvironment(ScanEnvironment((root / "home").string()));
    c.setMode(ScanMode::fs);
    MainWindow window(c);
    window.resize(1320, 820);
    c.startScan(false);
    if (!QTest::qWaitFor([&c] { return !c.busy(); }, 120000) || !c.result()) {
        std::fprintf(stderr, "the scan failed\n");
        return 1;
    }
    window.show();
    c.setShowSummary(false);
    QTest::qWait(300);
    ListingTable& table = window.content().folderTable().table();
    const std::string many = idOfMany(c);

    std::vector<double> switches;
    for (int i = 0; i < runs; ++i) {
        c.goHome();
        QApplication::processEvents();
        table.viewport()->repaint();
        const double t = bench::seconds();
        c.navigate(many, true);
        QApplication::processEvents();
        table.viewport()->repaint();
        switches.push_back((bench::seconds() - t) * 1000);
    }
    const int rows = table.shownModel().rowCount();

    std::vector<double> scrolls;
    QScrollBar* bar = table.verticalScrollBar();
    const int step = bar->singleStep() * 3;
    for (int i = 0; i < runs * 10; ++i) {
        const double t = bench::seconds();
        bar->setValue(bar->value() + step > bar->maximum() ? 0 : bar->value() + step);
        table.viewport()->repaint();
        scrolls.push_back((bench::seconds() - t) * 1000);
    }
    std::vector<double> pages;
    for (int i = 0; i < runs * 2; ++i) {
        const double t = bench::seconds();
        bar->setValue(
            bar->value() + bar->pageStep() > bar->maximum() ? 0 : bar->value() + bar->pageStep());
        table.viewport()->repaint();
        pages.push_back((bench::seconds() - t) * 1000);
    }

    const Figures sw = figures(switches);
    const Figures sc = figures(scrolls);
    const Figures pg = figures(pages);
    std::printf("folder of %d rows, window %dx%d, platform %s\n", rows, window.width(),
                window.height(), qPrintable(QGuiApplication::platformName()));
    std::printf("switch to the folder and paint: median %.2f ms, slowest %.2f ms (%d runs)\n",
                sw.median, sw.slowest, runs);
    std::printf("scroll 3 lines and paint:       median %.2f ms, slowest %.2f ms (%zu steps)\n",
                sc.median, sc.slowest, scrolls.size());
    std::printf("scroll a page and paint:        median %.2f ms, slowest %.2f ms (%zu steps)\n",
                pg.median, pg.slowest, pages.size());
    window.close();
    fs::remove_all(root);
    return 0;
}
