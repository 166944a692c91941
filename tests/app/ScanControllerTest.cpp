// The controller's scan lifecycle, listings and search, driven headless on the event loop with
// the real core: dump scans of generated worlds through the brctl stand-in, and disk-only scans
// of folders the tests write.
#include "ControllerFixture.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <QSignalSpy>

#include <algorithm>
#include <set>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;

namespace {

using Phase = ScanController::Phase;
using View = ScanController::View;

class ControllerTest : public ::testing::Test {
protected:
    SettingsSandbox settings;
};

// A disk-only scan of files written into a fresh iCloud Drive folder.
class LocalScan : public ControllerTest {
protected:
    void scan() { ASSERT_NO_FATAL_FAILURE(scanLocal(c, home)); }
    std::string idOf(const fs::path& path) const { return idOfPath(c, path); }

    LocalHome home;
    ScanController c;
};

} // namespace

TEST_F(ControllerTest, PhasesHaveTheirTextsAndCzechLabels) {
    EXPECT_EQ(ScanController::phaseText(Phase::aggregate), "aggregate");
    EXPECT_EQ(text(ScanController::phaseLabel(Phase::dump)), "Načítám databázi iCloud Drive");
    EXPECT_EQ(text(ScanController::phaseLabel(Phase::trash)), "Přesouvám do Koše");
    EXPECT_EQ(ScanController::phaseFromText("resolve"), Phase::resolve);
    EXPECT_EQ(ScanController::phaseFromText("no such phase"), Phase::start);
}

TEST_F(ControllerTest, AScanRunsOnceAndTakesItsResultOver) {
    SimWorld world;
    ScanController c;
    c.setEnvironment(world.env);
    QSignalSpy runs(&c, &ScanController::runIDChanged);
    c.startScan(false);
    EXPECT_TRUE(c.busy());
    EXPECT_EQ(c.phase(), Phase::start);
    EXPECT_EQ(text(c.message()), "Spouštím sken…");
    const auto started = c.started();
    c.startScan(true); // ignored while busy: no second thread, no new start time
    EXPECT_EQ(c.started(), started);
    ASSERT_TRUE(waitIdle(c));

    EXPECT_EQ(runs.count(), 1);
    EXPECT_EQ(c.runID(), 1);
    EXPECT_EQ(c.phase(), Phase::done);
    EXPECT_EQ(text(c.message()), "Hotovo");
    EXPECT_FALSE(c.errorMessage());
    ASSERT_TRUE(c.result());
    ASSERT_TRUE(c.summary());
    ASSERT_TRUE(c.report());
    ASSERT_TRUE(c.current());
    EXPECT_EQ(c.current()->id, *c.summary()->mainRoot);
    EXPECT_TRUE(c.isAtHome());
    EXPECT_FALSE(c.children().empty());
    EXPECT_EQ(c.report()->total, c.result()->mainRoot()->aggQta);
    // The summary opens after a scan while the user has not turned it off.
    EXPECT_TRUE(c.showSummary());
}

TEST_F(ControllerTest, AFailedOrStoppedScanKeepsThePreviousResult) {
    SimWorld world;
    ScanController c;
    c.setEnvironment(world.env);
    scanNow(c);
    const auto result = c.result();
    const auto children = c.children();
    const auto report = c.report();
    ASSERT_TRUE(result);

    // Stopped while the (slowed) stand-in writes a new dump.
    ::setenv("VARNELO_SIM_SLOW_MS", "50", 1);
    c.startScan(true);
    ASSERT_TRUE(QTest::qWaitFor([&c] { return c.phase() == Phase::dump; }, 60000));
    c.stop();
    EXPECT_EQ(text(c.message()), "Ruším…");
    ASSERT_TRUE(waitIdle(c));
    ::unsetenv("VARNELO_SIM_SLOW_MS");
    EXPECT_EQ(c.phase(), Phase::error);
    EXPECT_EQ(text(c.errorMessage().value_or("")), "Zrušeno uživatelem.");
    EXPECT_EQ(text(c.message()), "Zrušeno uživatelem.");
    EXPECT_EQ(c.runID(), 2);
    EXPECT_EQ(c.result(), result);
    EXPECT_EQ(c.children(), children);
    EXPECT_EQ(c.report(), report);
    c.navigate(children.front().id, true); // still browsable
    EXPECT_EQ(c.current()->id, children.front().id);

    // A tool that is missing: the core's message, the result kept, the run counted.
    ::setenv("TESSARY_BRCTL", "/nonexistent/brctl", 1);
    scanNow(c, true);
    ::setenv("TESSARY_BRCTL", VARNELO_BRCTL, 1);
    EXPECT_EQ(c.phase(), Phase::error);
    EXPECT_EQ(c.runID(), 3);
    ASSERT_TRUE(c.errorMessage());
    EXPECT_FALSE(c.errorMessage()->isEmpty());
    EXPECT_EQ(c.result(), result);

    // The next scan clears the error before it starts.
    c.startScan(false);
    EXPECT_FALSE(c.errorMessage());
    ASSERT_TRUE(waitIdle(c));
    EXPECT_EQ(c.phase(), Phase::done);
}

TEST_F(ControllerTest, AnOldDatabaseIsAnnouncedOnlyAfterADumpScan) {
    SimWorld world;
    ScanController c;
    c.setEnvironment(world.env);
    scanNow(c);
    EXPECT_FALSE(c.toast()); // a fresh dump

    c.setStaleAfterHours(-1.0); // any dump counts as old
    scanNow(c);
    ASSERT_TRUE(c.toast());
    EXPECT_TRUE(c.toast()->startsWith("Databáze iCloud Drive je z "));
    EXPECT_TRUE(c.toast()->endsWith(
        "Pro aktuální čísla klikněte na „Obnovit databázi“ (trvá několik minut)."));

    ScanController local;
    local.setEnvironment(world.env);
    local.setStaleAfterHours(-1.0);
    local.setMode(ScanMode::fs);
    scanNow(local);
    ASSERT_TRUE(local.result());
    EXPECT_FALSE(local.toast());
}

TEST_F(ControllerTest, TheSummaryStaysClosedOnceTheUserTurnedItOff) {
    LocalHome home;
    writeFile(home.drive() / "a.txt", 10);
    QSettings("Varnelo", "Varnelo").setValue("showSummaryAfterScan", false);
    ScanController c;
    c.setEnvironment(home.env);
    c.setMode(ScanMode::fs);
    scanNow(c);
    ASSERT_TRUE(c.result());
    EXPECT_FALSE(c.showSummary());
}

TEST_F(ControllerTest, ANewerToastReplacesTheOlderAndRestartsTheCountdown) {
    ScanController c;
    QSignalSpy changes(&c, &ScanController::toastChanged);
    c.showToast("první", 1.0);
    c.showToast("druhá", 60.0);
    QTest::qWait(1500); // past the first toast's end: its countdown must be gone
    EXPECT_EQ(text(c.toast().value_or("")), "druhá");
    c.showToast("třetí", 0.05);
    EXPECT_TRUE(QTest::qWaitFor([&c] { return !c.toast(); }, 10000));
    EXPECT_EQ(changes.count(), 4);
}

TEST_F(ControllerTest, AnEqualAssignmentSignalsNothing) {
    ScanController c;
    QSignalSpy query(&c, &ScanController::queryChanged);
    QSignalSpy sort(&c, &ScanController::sortKeyChanged);
    QSignalSpy hovered(&c, &ScanController::hoveredIDChanged);
    c.setQuery("abc");
    c.setQuery("abc");
    c.setSortKey(SortKey::qta); // the initial value
    c.setHoveredID(std::string("x"));
    c.setHoveredID(std::string("x"));
    EXPECT_EQ(query.count(), 1);
    EXPECT_EQ(sort.count(), 0);
    EXPECT_EQ(hovered.count(), 1);
}

TEST_F(ControllerTest, WithoutAResultEveryListingStaysEmpty) {
    ScanController c;
    c.navigate(std::string("x"), true);
    c.goHome();
    c.loadTopFiles(200);
    c.setQuery("ab");
    c.runSearch(200);
    c.navigateToParent();
    EXPECT_FALSE(c.current());
    EXPECT_TRUE(c.topFiles().empty());
    EXPECT_TRUE(c.searchResults().empty());
    EXPECT_EQ(c.view(), View::tree);
    EXPECT_FALSE(c.breakdown("x"));
    EXPECT_EQ(text(c.trashReason(std::string("x")).value_or("")), "Položka v datech není.");
}

TEST_F(LocalScan, AFolderListingShowsAtMost1500Rows) {
    for (int i = 0; i < 1501; ++i)
        writeFile(home.drive() / "big" / ("f" + std::to_string(i)), 1 + i % 7);
    for (int i = 0; i < 1500; ++i)
        writeFile(home.drive() / "full" / ("f" + std::to_string(i)), 1);
    scan();
    c.navigate(idOf(home.drive() / "big"), true);
    EXPECT_EQ(c.children().size(), 1500u);
    EXPECT_EQ(c.more(), 1);
    EXPECT_EQ(c.colorRank().size(), 1500u);
    EXPECT_EQ(c.colorRank().at(c.children()[7].id), 7);
    ASSERT_EQ(c.breadcrumbs().size(), 1u);
    c.navigate(idOf(home.drive() / "full"), true);
    EXPECT_EQ(c.children().size(), 1500u);
    EXPECT_EQ(c.more(), 0);

    c.navigateToParent();
    EXPECT_TRUE(c.isAtHome());
    c.navigateToParent(); // the root has no parent: nothing happens
    EXPECT_TRUE(c.isAtHome());
    c.navigate(std::string("no such id"), true); // falls back to the main root
    EXPECT_TRUE(c.isAtHome());
}

TEST_F(LocalScan, SearchFindsNamesWhateverTheirCaseAndNormalisation) {
    for (int i = 0; i < 300; ++i)
        writeFile(home.drive() / "hits" / ("Koleda-" + std::to_string(i) + ".txt"), 10 + i);
    // "Písnička" stored decomposed, as some file systems keep names.
    writeFile(home.drive() / "Pi\u0301snic\u030cka.m4a", 5);
    writeFile(home.drive() / "x", 1);
    scan();

    c.setQuery("  KOLEDA- ");
    c.runSearch(200);
    EXPECT_EQ(c.view(), View::search);
    EXPECT_EQ(c.searchTotal(), 300);
    ASSERT_EQ(c.searchResults().size(), 200u);
    EXPECT_EQ(c.searchResults().front().name, "Koleda-299.txt");
    for (std::size_t i = 1; i < c.searchResults().size(); ++i)
        EXPECT_GE(c.searchResults()[i - 1].qta, c.searchResults()[i].qta);
    ASSERT_TRUE(c.searchResults().front().dpath);
    EXPECT_EQ(*c.searchResults().front().dpath, "iCloud Drive/hits/Koleda-299.txt");
    EXPECT_TRUE(c.searchResults().front().parent);
    EXPECT_EQ(c.mapRows().size(), 200u);

    c.setQuery("PÍSNIČ"); // typed precomposed
    c.runSearch(200);
    ASSERT_EQ(c.searchTotal(), 1);

    c.setQuery("í"); // one character as a user sees it, even when typed decomposed
    c.runSearch(200);
    EXPECT_EQ(c.searchTotal(), 0);
    c.setQuery("i\u0301");
    c.runSearch(200);
    EXPECT_EQ(c.searchTotal(), 0);
    c.setQuery("  ");
    c.runSearch(200);
    EXPECT_EQ(c.view(), View::search);
    EXPECT_TRUE(c.searchResults().empty());

    c.setQuery("koleda");
    c.show(View::search); // back to the folder, the text cleared
    EXPECT_EQ(c.view(), View::tree);
    EXPECT_TRUE(c.query().isEmpty());
}

TEST_F(LocalScan, TheUsageBarDrillsDownFourLevelsAtMost) {
    writeFile(home.drive() / "a" / "f", 1);
    scan();
    for (int level = 0; level < 4; ++level)
        c.toggleBarFocus("id" + std::to_string(level), level, level);
    ASSERT_EQ(c.barPath().size(), 4u);
    c.toggleBarFocus("deeper", 4, 9);
    EXPECT_EQ(c.barPath().size(), 4u);
    EXPECT_EQ(text(c.toast().value_or("")),
              "Hlouběji pokračujte dvojklikem – složka se otevře v tabulce.");
    c.toggleBarFocus("deeper", 5, 9);
    EXPECT_EQ(c.barPath().size(), 4u);
    c.toggleBarFocus("id2", 2, 2); // clicking a focused segment closes it and what is inside
    EXPECT_EQ(c.barPath().size(), 2u);
    c.toggleBarFocus("other", 1, 5); // another segment at level 1 replaces it
    ASSERT_EQ(c.barPath().size(), 2u);
    EXPECT_EQ(c.barPath()[1], (ScanController::BarFocus{"other", 5}));
    c.toggleBarFocus("next", 7, 3); // beyond the length: the next free level
    ASSERT_EQ(c.barPath().size(), 3u);
    c.toggleBarFocus("id0", 0, 0);
    EXPECT_TRUE(c.barPath().empty());
    c.toggleBarFocus("x", 0, 0);
    c.loadTopFiles(200); // every rebuilt listing empties the path
    EXPECT_TRUE(c.barPath().empty());
}

TEST_F(LocalScan, BreakdownsListTheBiggestNonEmptyChildren) {
    for (int i = 0; i < 3; ++i)
        writeFile(home.drive() / "empties" / ("e" + std::to_string(i)), 0);
    for (int i = 0; i < 90; ++i)
        writeFile(home.drive() / "many" / ("m" + std::to_string(i)), 4096 * (i + 1));
    writeFile(home.drive() / "file.bin", 10);
    scan();
    EXPECT_FALSE(c.breakdown(idOf(home.drive() / "file.bin")));
    const auto empties = c.breakdown(idOf(home.drive() / "empties"));
    ASSERT_TRUE(empties);
    EXPECT_TRUE(empties->items.empty());
    EXPECT_EQ(empties->count, 3);
    EXPECT_EQ(empties->total, 0);
    const auto many = c.breakdown(idOf(home.drive() / "many"));
    ASSERT_TRUE(many);
    EXPECT_EQ(many->items.size(), 80u);
    EXPECT_EQ(many->count, 90);
    EXPECT_EQ(many->items.front().name, "m89");
    EXPECT_GT(many->total, 0);
    EXPECT_EQ(many->total, c.result()->get(idOf(home.drive() / "many"))->aggQta);
}

TEST_F(LocalScan, LargestFilesAndFoldersFollowTheCurrentFolder) {
    writeFile(home.drive() / "a" / "big", 50000);
    writeFile(home.drive() / "a" / "small", 10);
    writeFile(home.drive() / "b" / "mid", 20000);
    scan();
    c.loadTopFiles(200);
    EXPECT_EQ(c.view(), View::top);
    ASSERT_EQ(c.topFiles().size(), 3u);
    EXPECT_EQ(c.topFiles().front().name, "big");
    EXPECT_EQ(c.colorRank().at(c.topFiles()[1].id), 1);
    c.navigate(idOf(home.drive() / "b"), true);
    c.loadTopFiles(200);
    ASSERT_EQ(c.topFiles().size(), 1u);
    EXPECT_EQ(c.topFiles().front().name, "mid");
    c.goHome();
    c.show(View::bigDirs);
    EXPECT_EQ(c.view(), View::bigDirs);
    ASSERT_FALSE(c.bigDirs().empty());
    EXPECT_EQ(c.bigDirs().front().name, "a");
    EXPECT_FALSE(c.isAtHome());
    c.show(View::tree);
    EXPECT_TRUE(c.isAtHome());
}
