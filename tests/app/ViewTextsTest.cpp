// The texts the window's areas build from a summary, a savings record or the controller's
// progress, for states a real scan here cannot produce (a small quota, dead items, warnings, a
// failure in the middle of a dump).
#include "QtPrinters.hpp"

#include "BreadcrumbBar.hpp"
#include "DeleteListHeader.hpp"
#include "StatusBar.hpp"
#include "SummaryCardsView.hpp"
#include "Tints.hpp"

#include "TessaryApp/Fmt.hpp"

#include <gtest/gtest.h>

using namespace tessary;

namespace {

using Phase = ScanController::Phase;

SummaryDTO summaryWithQuota(std::optional<std::int64_t> quota) {
    SummaryDTO s;
    s.mode = ScanMode::dump;
    s.dumpTime = 1'700'000'000;
    s.quotaRemaining = quota;
    ContainerDTO drive;
    drive.root = "root[0]";
    drive.name = "com.apple.CloudDocs";
    drive.display = "iCloud Drive";
    drive.qta = 80'000'000'000;
    drive.cloud = 30'000'000'000;
    drive.local = 50'000'000'000;
    drive.docs = 1234;
    drive.unenum = 7;
    ContainerDTO app = drive;
    app.root = "root[1]";
    app.name = "com.example.Notes";
    app.display = "Notes";
    app.qta = 1000;
    s.containers = {drive, app};
    s.mainRoot = "root[0]";
    return s;
}

const SummaryCardsView::Card* card(const std::vector<SummaryCardsView::Card>& cards,
                                   const QString& id) {
    for (const auto& c : cards)
        if (c.id == id)
            return &c;
    return nullptr;
}

} // namespace

TEST(SummaryCards, TheFreeCardTurnsOrangeBelow50GBAndTheDeadCardNeedsDeadItems) {
    const auto low = SummaryCardsView::cards(summaryWithQuota(49'000'000'000));
    QStringList ids;
    for (const auto& c : low)
        ids << c.id;
    EXPECT_EQ(ids, QStringList({"total", "cloud", "local", "free", "unenum"}));
    EXPECT_EQ(card(low, "free")->title, "Volné místo v kvótě");
    EXPECT_EQ(card(low, "free")->value, Fmt::size(49'000'000'000));
    EXPECT_EQ(card(low, "free")->subtitle, "podle iCloudu (brctl quota)");
    EXPECT_EQ(card(low, "free")->tint, Tints::orange());

    const auto high = SummaryCardsView::cards(summaryWithQuota(51'000'000'000));
    EXPECT_FALSE(card(high, "free")->tint);
    EXPECT_FALSE(card(SummaryCardsView::cards(summaryWithQuota(50'000'000'000)), "free")->tint);
    const auto unknown = SummaryCardsView::cards(summaryWithQuota(std::nullopt));
    EXPECT_EQ(card(unknown, "free")->value, "–");
    EXPECT_FALSE(card(unknown, "free")->tint);

    const auto& total = *card(low, "total");
    EXPECT_EQ(total.title, "iCloud Drive celkem");
    EXPECT_EQ(total.value, Fmt::size(80'000'000'000));
    EXPECT_EQ(total.subtitle, Fmt::plural(1234, "files"));
    EXPECT_EQ(card(low, "cloud")->title, "Z toho jen v cloudu ☁");
    EXPECT_EQ(card(low, "cloud")->tint, Tints::blue());
    EXPECT_EQ(card(low, "local")->subtitle, "skutečně obsazené místo na disku");
    EXPECT_EQ(card(low, "unenum")->value, Fmt::integer(7));
    EXPECT_EQ(card(low, "unenum")->subtitle, "jména maskovaná, lze načíst tlačítkem ☁ Načíst");

    SummaryDTO withDead = summaryWithQuota(1);
    withDead.deadCount = 3;
    withDead.deadQta = 4096;
    const auto dead = SummaryCardsView::cards(withDead);
    ASSERT_TRUE(card(dead, "dead"));
    EXPECT_EQ(dead[4].id, "dead");
    EXPECT_EQ(card(dead, "dead")->title, "Smazané položky v databázi");
    EXPECT_EQ(card(dead, "dead")->value, Fmt::size(4096));
    EXPECT_EQ(card(dead, "dead")->subtitle,
              Fmt::plural(3, "items") + " – zkontrolujte „Nedávno smazané“ na icloud.com");
    EXPECT_EQ(card(dead, "dead")->tint, Tints::orange());

    // No main container: zeros, not a crash.
    SummaryDTO orphan = summaryWithQuota(1);
    orphan.mainRoot = std::nullopt;
    EXPECT_EQ(card(SummaryCardsView::cards(orphan), "total")->value, Fmt::size(0));

    EXPECT_EQ(SummaryCardsView::waitingLine(true), "Probíhá sken…");
    EXPECT_EQ(SummaryCardsView::waitingLine(false), "Spusťte sken tlačítkem „Znovu porovnat“.");
}

TEST(StatusText, IsBuiltInItsStepsAndAFailureReplacesEverything) {
    StatusBar::State s;
    s.phase = Phase::parse;
    s.busy = true;
    s.done = 1;
    s.total = 3;
    s.message = "Čtu řádky";
    EXPECT_EQ(StatusBar::statusText(s),
              ScanController::phaseLabel(Phase::parse) + " · 33 % · Čtu řádky");
    s.message = ScanController::phaseLabel(Phase::parse);
    EXPECT_EQ(StatusBar::statusText(s), ScanController::phaseLabel(Phase::parse) + " · 33 %")
        << "a message equal to the label is not repeated";
    s.total = 0;
    EXPECT_EQ(StatusBar::statusText(s), ScanController::phaseLabel(Phase::parse));

    s.phase = Phase::dump;
    s.done = 5'000'000;
    s.message.clear();
    EXPECT_EQ(StatusBar::statusText(s),
              ScanController::phaseLabel(Phase::dump) + " (" + Fmt::size(5'000'000) + ")");

    // Idle: never a percentage, even with progress numbers left over.
    s.phase = Phase::done;
    s.busy = false;
    s.done = 9;
    s.total = 10;
    s.started = QDateTime::fromSecsSinceEpoch(1000);
    s.finished = QDateTime::fromSecsSinceEpoch(1125);
    EXPECT_EQ(StatusBar::statusText(s),
              ScanController::phaseLabel(Phase::done) + " · " + Fmt::duration(125));
    s.finished = std::nullopt;
    EXPECT_EQ(StatusBar::statusText(s), ScanController::phaseLabel(Phase::done));

    s.phase = Phase::dump;
    s.busy = true;
    s.message = "Něco";
    s.errorMessage = "brctl skončil s chybou";
    EXPECT_EQ(StatusBar::statusText(s), "Chyba: brctl skončil s chybou");
    s.phase = Phase::done;
    s.busy = false;
    s.finished = QDateTime::fromSecsSinceEpoch(1125);
    EXPECT_EQ(StatusBar::statusText(s), "Chyba: brctl skončil s chybou");
}

TEST(StatusFooter, NamesTheSourceTheCountersAndTheWarnings) {
    EXPECT_EQ(StatusBar::footerText(std::nullopt), "");
    SummaryDTO s = summaryWithQuota(1);
    s.stats = {{"items_parsed", 2500}, {"dirs_enumerated", 40}, {"dirs_total", 41}};
    EXPECT_EQ(StatusBar::footerText(s), "databáze iCloud Drive (brctl dump) z " +
                                            Fmt::time(1'700'000'000) + " · " +
                                            Fmt::plural(2500, "items") + " · složek porovnáno " +
                                            Fmt::integer(40) + " z " + Fmt::integer(41));
    const QString base = "Velikosti „v iCloudu“ jsou kvóta započtená serverem (soubor + verze a "
                         "metadata); nic se nestahuje.";
    EXPECT_EQ(StatusBar::footerToolTip(s), base);

    s.mode = ScanMode::fs;
    s.stats.clear();
    s.warnings = {"Složka A se nestihla", "Složka B je zamčená"};
    EXPECT_EQ(StatusBar::footerText(s), "průchod disku · " + Fmt::plural(0, "items") +
                                            " · složek porovnáno 0 z 0 · ⚠︎ Složka A se "
                                            "nestihla · ⚠︎ Složka B je zamčená");
    EXPECT_EQ(StatusBar::footerToolTip(s), base + "\n\nSložka A se nestihla\nSložka B je zamčená");

    EXPECT_EQ(StatusBar::permissionToolTip(2),
              "Systém odepřel přístup k " + Fmt::plural(2, "folders") +
                  ". V Nastavení systému zapněte Plný přístup k disku pro Varnelo a spusťte "
                  "„Znovu porovnat“.");
}

TEST(DeleteListLines, CountTheSavingsAgainstTheDriveAndTheQuota) {
    ScanController::Savings savings{.qta = 8'000'000'000,
                                    .cloud = 3'000'000'000,
                                    .local = 5'000'000'000,
                                    .items = 4,
                                    .nested = 0};
    const auto lines = DeleteListHeader::lines(savings, summaryWithQuota(2'000'000'000));
    EXPECT_EQ(lines.amount, Fmt::size(8'000'000'000));
    EXPECT_EQ(lines.count, Fmt::plural(4, "items") + " · " +
                               Fmt::percent(8'000'000'000, 80'000'000'000) + " z iCloud Drive");
    EXPECT_EQ(lines.detail, "z toho jen v cloudu " + Fmt::size(3'000'000'000) +
                                " · na tomto Macu se uvolní " + Fmt::size(5'000'000'000));
    ASSERT_TRUE(lines.quota);
    EXPECT_EQ(*lines.quota, "Volné místo v kvótě: " + Fmt::size(2'000'000'000) + " → " +
                                Fmt::size(10'000'000'000));
    EXPECT_FALSE(lines.nested);

    savings.nested = 2;
    const auto noQuota = DeleteListHeader::lines(savings, summaryWithQuota(std::nullopt));
    EXPECT_FALSE(noQuota.quota);
    ASSERT_TRUE(noQuota.nested);
    EXPECT_EQ(*noQuota.nested, Fmt::plural(2, "items") +
                                   " leží ve složce, která je na seznamu také – nepočítají se "
                                   "dvakrát.");
    EXPECT_EQ(DeleteListHeader::lines(savings, std::nullopt).count,
              Fmt::plural(4, "items") + " · " + Fmt::percent(8'000'000'000, 0) + " z iCloud Drive");
}

TEST(FolderSummary, CountsFilesFoldersAndUnopenedFolders) {
    NodeDTO folder;
    folder.kind = ItemKind::dir;
    folder.docs = 12;
    folder.dirs = 3;
    EXPECT_EQ(BreadcrumbBar::folderSummary(folder),
              Fmt::plural(12, "files") + " · " + Fmt::plural(3, "folders"));
    folder.unenum = 2;
    EXPECT_EQ(BreadcrumbBar::folderSummary(folder), Fmt::plural(12, "files") + " · " +
                                                        Fmt::plural(3, "folders") + " · ☁ " +
                                                        Fmt::integer(2) + " neotevřené");
    folder.unenum = 1;
    EXPECT_TRUE(BreadcrumbBar::folderSummary(folder).endsWith("☁ 1 neotevřená"));
    folder.unenum = 5;
    EXPECT_TRUE(BreadcrumbBar::folderSummary(folder).endsWith("☁ 5 neotevřených"));
}
