// Sources other than this computer's iCloud Drive: folders on the disk and a database dump from
// another Mac, opened through the controller and the window, compared with what `varnelo-cli`
// exports of the same source.
#include "WindowFixture.hpp"

#include "AppActions.hpp"
#include "MainToolBar.hpp"
#include "MainWindow.hpp"

#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/ScanSource.hpp"

#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <nlohmann/json.hpp>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The export without what differs between two runs of the same scan.
json withoutTimes(json tree) {
    if (tree.contains("summary")) {
        for (const char* key : {"scan_time", "duration", "dump_time", "generated", "started"})
            tree["summary"].erase(key);
        tree["summary"].erase("timing");
        tree["summary"].erase("quota_remaining");
    }
    tree.erase("generated");
    tree.erase("exported");
    return tree;
}

json exportedByController(ScanController& c, ScriptedDesktop& desktop, const fs::path& file) {
    desktop.savePath = QString::fromStdString(file.string());
    c.exportJSON();
    return json::parse(testsupport::readFile(file.string()));
}

json exportedByCli(const std::vector<std::string>& args, const std::string& home,
                   const fs::path& file) {
    std::vector<std::string> command = {VARNELO_CLI, "-q", "--json", file.string()};
    command.insert(command.end(), args.begin(), args.end());
    EXPECT_EQ(testsupport::Child::run(command, {"HOME=" + home}), 0);
    return json::parse(testsupport::readFile(file.string()));
}

} // namespace

TEST_F(WindowTest, AFolderScannedInTheWindowHasTheFiguresOfTheCommandLine) {
    LocalHome home;
    const fs::path projects = fs::path(home.env.home) / "Projekty";
    writeFile(projects / "a" / "video.mov", 300000);
    writeFile(projects / "a" / "b" / "notes.txt", 1200);
    writeFile(projects / "empty.bin", 0);
    fs::create_directories(projects / "prázdná");
    c.setEnvironment(home.env);
    c.setMode(ScanMode::fs); // the iCloud Drive of this home is a plain folder
    c.openSource(ScanSource::folders({projects.string() + "/"}));
    ASSERT_TRUE(waitIdle(c));
    ASSERT_TRUE(c.result()) << text(c.errorMessage().value_or(""));
    EXPECT_EQ(c.source(), ScanSource::folders({projects.string()}));
    EXPECT_EQ(window.windowTitle(), "Projekty — Varnelo");
    ASSERT_TRUE(c.current());
    EXPECT_EQ(c.current()->name, "Projekty");

    testsupport::TempDir out("sources");
    const json app = exportedByController(c, desktop, out / "app.json");
    const json cli =
        exportedByCli({"--fs", "Projekty=" + projects.string()}, home.env.home, out / "cli.json");
    EXPECT_EQ(withoutTimes(app), withoutTimes(cli));

    // The Trash keeps its rules: a file may go, the home's own folders may not, nothing outside
    // the home may.
    const std::string video = idOfPath(c, projects / "a" / "video.mov");
    EXPECT_TRUE(c.trashVerdict(video).allowed);
    testsupport::TempDir outside("sources-outside");
    writeFile(outside / "x.bin", 10);
    fs::create_directories(fs::path(home.env.home) / "Documents");
    writeFile(fs::path(home.env.home) / "Documents" / "d.txt", 10);
    c.openSource(ScanSource::folders({outside.str(), home.env.home}));
    ASSERT_TRUE(waitIdle(c));
    ASSERT_TRUE(c.result());
    EXPECT_TRUE(text(c.source().title()).ends_with(" a 1 další")) << text(c.source().title());
    EXPECT_EQ(text(c.trashVerdict(idOfPath(c, outside / "x.bin")).reason.value_or("")),
              "Položka leží mimo vaši domovskou složku.");
    EXPECT_EQ(text(c.trashReason(idOfPath(c, fs::path(home.env.home) / "Documents")).value_or("")),
              "Systémovou složku nelze smazat.");
    EXPECT_EQ(text(c.trashReason(idOfPath(c, outside.str())).value_or("")),
              "Kořen kontejneru nelze smazat.")
        << "a scanned folder itself is its scan's root";
    EXPECT_TRUE(
        c.trashVerdict(idOfPath(c, fs::path(home.env.home) / "Documents" / "d.txt")).allowed);

    // Back to the iCloud Drive.
    window.actions().iCloudDrive->trigger();
    ASSERT_TRUE(waitIdle(c));
    EXPECT_EQ(c.source(), ScanSource::iCloudDrive());
    EXPECT_EQ(window.windowTitle(), "Varnelo");
}

TEST_F(WindowTest, ADumpFromAnotherMacIsReadOnlyAndExportsWhatTheCommandLineDoes) {
    SimWorld world;
    scanWorld(world);
    testsupport::TempDir out("sources-dump");
    const fs::path copied = out / "jiny-mac.txt";
    fs::copy_file(world.env.dumpFile, copied);

    // A file that is not a dump: the core's error, and the shown result stays.
    const fs::path notADump = out / "nakup.txt";
    std::ofstream(notADump) << "mléko\nchleba\n";
    const ScanController::ResultPtr before = c.result();
    desktop.dumpAnswer = notADump.string();
    window.actions().openDump->trigger();
    ASSERT_TRUE(waitIdle(c));
    EXPECT_EQ(c.phase(), ScanController::Phase::error);
    EXPECT_TRUE(c.errorMessage());
    EXPECT_EQ(c.result(), before);
    EXPECT_EQ(c.source(), ScanSource::iCloudDrive());

    desktop.dumpAnswer = copied.string();
    window.actions().openDump->trigger();
    ASSERT_TRUE(waitIdle(c));
    ASSERT_NE(c.result(), before) << text(c.errorMessage().value_or(""));
    EXPECT_TRUE(c.source().readOnly());
    EXPECT_EQ(window.windowTitle(), "jiny-mac.txt — Varnelo");

    // Nothing of it touches this disk.
    const std::string readOnly = "Výpis z jiného Macu – jen pro čtení.";
    ASSERT_FALSE(c.children().empty());
    for (const NodeDTO& row : c.children()) {
        const TrashVerdict verdict = c.trashVerdict(row.id);
        EXPECT_FALSE(verdict.allowed) << row.name;
        EXPECT_EQ(text(verdict.reason.value_or("")), readOnly) << row.name;
        EXPECT_FALSE(c.localPath(row.id)) << row.name;
    }
    const NodeDTO first = c.children().front();
    c.addToDeleteList(first.id);
    EXPECT_TRUE(c.deleteIDs().empty());
    EXPECT_EQ(text(c.toast().value_or("")), readOnly);
    c.startHydrate(first.id, 1);
    EXPECT_FALSE(c.busy());

    const json app = exportedByController(c, desktop, out / "app.json");
    const json cli = exportedByCli({"--dump", copied.string()}, world.env.home, out / "cli.json");
    EXPECT_EQ(withoutTimes(app), withoutTimes(cli));
}

TEST_F(WindowTest, RecentSourcesKeepTheirOrderAndBoundAndAMissingFolderIsMarked) {
    testsupport::TempDir dir("sources-recent");
    std::vector<ScanSource> sources;
    for (int i = 0; i < 10; ++i) {
        const fs::path folder = dir / ("složka" + std::to_string(i));
        fs::create_directories(folder);
        sources.push_back(ScanSource::folders({folder.string()}));
        AppSettings::rememberSource(sources.back());
    }
    AppSettings::rememberSource(sources[5]); // again: to the front, once
    AppSettings::rememberSource(ScanSource::iCloudDrive());
    std::vector<ScanSource> recent = AppSettings::recentSources();
    ASSERT_EQ(recent.size(), 8u);
    EXPECT_EQ(recent[0], sources[5]);
    EXPECT_EQ(recent[1], sources[9]);
    EXPECT_EQ(recent[7], sources[2]);
    EXPECT_EQ(AppSettings::lastSource(), ScanSource::iCloudDrive());

    fs::remove(dir / "složka9");
    QMenu menu;
    window.actions().fillRecent(&menu);
    ASSERT_EQ(menu.actions().size(), 8);
    EXPECT_EQ(text(menu.actions()[0]->text()), "složka5");
    EXPECT_TRUE(menu.actions()[0]->isEnabled());
    EXPECT_EQ(text(menu.actions()[1]->text()), "složka9 – nenalezeno");
    EXPECT_FALSE(menu.actions()[1]->isEnabled());

    // Values that are not ours are skipped.
    QSettings("Varnelo", "Varnelo")
        .setValue("recentSources", QVariantList{QByteArray("folders"), QByteArray("jiné\0/x", 7),
                                                sources[0].stored()});
    recent = AppSettings::recentSources();
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0], sources[0]);
}

TEST_F(WindowTest, AFolderDroppedOnTheWindowIsScanned) {
    LocalHome home;
    c.setEnvironment(home.env);
    const fs::path folder = fs::path(home.env.home) / "Fotky";
    writeFile(folder / "a.jpg", 5000);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.string()))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    ASSERT_TRUE(waitIdle(c));
    EXPECT_EQ(c.source(), ScanSource::folders({folder.string()}));
    EXPECT_EQ(window.windowTitle(), "Fotky — Varnelo");

    // The search field leaves a dropped folder to the window instead of typing its path.
    EXPECT_FALSE(content().toolBar().searchField()->acceptDrops());

    // A file is not a folder: the drag is refused.
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QString::fromStdString((folder / "a.jpg").string()))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(&window, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

// A disk-only scan numbers its items anew: a rescan of the same folder keeps the folder shown and
// the delete list by path, another source starts with its own list at its main folder, and the
// iCloud Drive's stored list comes back with it.
TEST_F(WindowTest, ARescanKeepsTheListByPathAndAnotherSourceHasItsOwn) {
    LocalHome home;
    c.setEnvironment(home.env);
    c.setMode(ScanMode::fs);
    writeFile(home.drive() / "v-icloudu.txt", 100);
    c.startScan(false);
    ASSERT_TRUE(waitIdle(c));
    const std::string inICloud = idOfPath(c, home.drive() / "v-icloudu.txt");
    c.addToDeleteList(inICloud);
    ASSERT_EQ(c.deleteIDs(), ScanController::IDList{inICloud});

    const fs::path projects = fs::path(home.env.home) / "Projekty";
    writeFile(projects / "b" / "big.bin", 50000);
    writeFile(projects / "b" / "small.txt", 10);
    c.openSource(ScanSource::folders({projects.string()}));
    ASSERT_TRUE(waitIdle(c));
    EXPECT_TRUE(c.deleteIDs().empty()) << "the iCloud Drive's list is not this folder's";
    EXPECT_EQ(c.currentID(), std::optional<std::string>(idOfPath(c, projects)));
    c.navigate(idOfPath(c, projects / "b"), true);
    c.addToDeleteList(idOfPath(c, projects / "b" / "big.bin"));

    // New entries that come first in the walk renumber everything after them.
    for (int i = 0; i < 5; ++i)
        writeFile(projects / "a" / ("new" + std::to_string(i)), 1);
    c.startScan(false);
    ASSERT_TRUE(waitIdle(c));
    EXPECT_EQ(c.deleteIDs(), ScanController::IDList{idOfPath(c, projects / "b" / "big.bin")});
    ASSERT_TRUE(c.current());
    EXPECT_EQ(c.current()->name, "b");
    ASSERT_EQ(c.deleteRows().size(), 1u);
    EXPECT_EQ(c.deleteRows().front().name, "big.bin");

    c.openSource(ScanSource::iCloudDrive());
    ASSERT_TRUE(waitIdle(c));
    EXPECT_EQ(c.deleteIDs(), ScanController::IDList{inICloud});
}
