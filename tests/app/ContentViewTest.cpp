// The main window's areas driven by the real controller: the state before a scan, the toolbar
// during and after one, the search field's debounce, the pickers, the breadcrumb bar, the
// listings' headers and the folder table's row limit.
#include "WindowFixture.hpp"

#include "BreadcrumbBar.hpp"
#include "DeleteListHeader.hpp"
#include "ElidedLabel.hpp"
#include "EmptyState.hpp"
#include "FileListView.hpp"
#include "FolderTableView.hpp"
#include "ListingTable.hpp"
#include "MainToolBar.hpp"
#include "StatusBar.hpp"
#include "SummaryCardsView.hpp"
#include "SummaryOverlay.hpp"
#include "ToastOverlay.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <sys/xattr.h>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;

namespace {

using View = ScanController::View;
using Phase = ScanController::Phase;

// Marks a folder as never opened on this Mac, as the simulated iCloud Drive does.
bool markCloudOnly(const fs::path& folder) {
    fs::create_directories(folder);
    return ::setxattr(folder.c_str(), "user.tessary.dataless", "1", 1, 0) == 0;
}

void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    QTest::keyClicks(field, text);
}

} // namespace

TEST_F(WindowTest, BeforeTheFirstScanEveryAreaSaysThereIsNoData) {
    EXPECT_EQ(content().cards().lineText(), "Spusťte sken tlačítkem „Znovu porovnat“.");
    EXPECT_TRUE(content().cards().shownCards().empty());
    EXPECT_EQ(content().breadcrumbs().waitingText(), "Žádná data");
    EXPECT_TRUE(content().breadcrumbs().pathTexts().isEmpty());
    EXPECT_EQ(content().statusBar().footer(), "");
    EXPECT_FALSE(content().statusBar().permissionButton()->isVisibleTo(&window));
    MainToolBar& bar = content().toolBar();
    EXPECT_FALSE(bar.exportButton()->isEnabled());
    EXPECT_FALSE(bar.parentButton()->isEnabled());
    EXPECT_FALSE(bar.homeButton()->isEnabled());
    EXPECT_FALSE(bar.containerPicker()->isEnabled());
    EXPECT_FALSE(bar.viewPicker()->isEnabled());
    EXPECT_EQ(bar.viewPicker()->currentIndex(), -1);
    EXPECT_TRUE(bar.isShown(bar.compareButton()));
    EXPECT_FALSE(bar.isShown(bar.stopButton()));

    const FolderTableView& folder = content().folderTable();
    EXPECT_TRUE(folder.showsPlaceholder());
    EXPECT_EQ(folder.placeholder().title(), "Žádná data");
    EXPECT_EQ(folder.placeholder().symbol(), "icloud");
    EXPECT_EQ(folder.placeholder().description(),
              "Spusťte sken tlačítkem „Znovu porovnat“ (Ctrl+R).");
    EXPECT_EQ(folder.moreText(), "");
    EXPECT_EQ(content().shownListing(), &content().folderTable());
}

TEST_F(WindowTest, TheStopButtonStandsInForCompareAndRefreshOnlyWhileBusy) {
    LocalHome home;
    writeFile(home.drive() / "a.bin", 1000);
    c.setEnvironment(home.env);
    c.setMode(ScanMode::fs);
    MainToolBar& bar = content().toolBar();
    c.startScan(false);
    ASSERT_TRUE(c.busy());
    EXPECT_TRUE(bar.isShown(bar.stopButton()));
    EXPECT_TRUE(bar.stopButton()->isEnabled());
    EXPECT_FALSE(bar.isShown(bar.compareButton()));
    EXPECT_FALSE(bar.isShown(bar.refreshButton()));
    EXPECT_EQ(content().cards().lineText(), "Probíhá sken…");
    EXPECT_EQ(content().breadcrumbs().waitingText(), "Čekám na výsledek skenu…");
    EXPECT_TRUE(content().statusBar().showsProgress());
    EXPECT_EQ(content().folderTable().placeholder().title(), "Probíhá sken");
    EXPECT_EQ(content().folderTable().placeholder().description(),
              ScanController::phaseLabel(c.phase()));
    ASSERT_TRUE(waitIdle(c));

    EXPECT_FALSE(bar.isShown(bar.stopButton()));
    EXPECT_TRUE(bar.isShown(bar.compareButton()));
    EXPECT_TRUE(bar.isShown(bar.refreshButton()));
    EXPECT_TRUE(bar.exportButton()->isEnabled());
    EXPECT_FALSE(content().statusBar().showsProgress());
    EXPECT_EQ(content().statusBar().iconSymbol(), "checkmark.circle");
    // At home: nothing above, nowhere to go home to.
    EXPECT_FALSE(bar.parentButton()->isEnabled());
    EXPECT_FALSE(bar.homeButton()->isEnabled());
}

TEST_F(WindowTest, AfterASuccessfulScanTheStatusEndsWithTheDurationAndTheFooterNamesTheSource) {
    LocalHome home;
    writeFile(home.drive() / "Docs/a.bin", 1000);
    scanLocal(home);
    const QString text = content().statusBar().text();
    EXPECT_TRUE(text.startsWith(ScanController::phaseLabel(Phase::done))) << apptest::text(text);
    const double seconds = double(c.started()->msecsTo(*c.finished())) / 1000.0;
    EXPECT_TRUE(text.endsWith(" · " + Fmt::duration(seconds))) << apptest::text(text);
    EXPECT_FALSE(text.contains("%"));

    const QString footer = content().statusBar().footer();
    EXPECT_TRUE(footer.startsWith("průchod disku · ")) << apptest::text(footer);
    EXPECT_EQ(content().statusBar().footerTip(), StatusBar::footerToolTip(c.summary()));
    // No folder was refused: no permission button.
    EXPECT_EQ(c.deniedCount(), 0);
    EXPECT_FALSE(content().statusBar().permissionButton()->isVisibleTo(&window));
    EXPECT_EQ(content().cards().lineText(), "");
    ASSERT_EQ(content().cards().shownCards().size(), 5u) << "no dead card without dead items";
    EXPECT_EQ(content().breadcrumbs().summaryText(), BreadcrumbBar::folderSummary(*c.current()));
    // A disk-only scan names its main container otherwise, yet it is iCloud Drive, not an app.
    const ContainerDTO main = c.summary()->containers.front();
    EXPECT_EQ(content().toolBar().containerPicker()->itemText(0),
              QString::fromStdString(main.display) + " – " + Fmt::size(main.qta));
}

TEST_F(WindowTest, AFailedScanShowsOnlyTheError) {
    SimWorld world;
    ::setenv("VARNELO_SIM_FAIL", "3", 1);
    c.setEnvironment(world.env);
    c.startScan(true);
    const bool ended = waitIdle(c);
    ::unsetenv("VARNELO_SIM_FAIL");
    ASSERT_TRUE(ended);
    ASSERT_TRUE(c.errorMessage());
    EXPECT_EQ(content().statusBar().text(), "Chyba: " + *c.errorMessage());
    EXPECT_EQ(content().statusBar().iconSymbol(), "exclamationmark.triangle.fill");
    EXPECT_FALSE(content().statusBar().showsProgress());
}

TEST_F(WindowTest, TheSearchRunsOnlyAfterTypingPausesAndAnEmptyFieldLeavesIt) {
    LocalHome home;
    writeFile(home.drive() / "Koledy/koleda.mp3", 5000);
    writeFile(home.drive() / "Koledy/Koleda 2.mp3", 3000);
    scanLocal(home);
    QLineEdit* field = content().toolBar().searchField();
    EXPECT_EQ(field->placeholderText(), "Hledat název (min. 2 znaky)");

    typeInto(field, "k");
    EXPECT_EQ(c.view(), View::tree) << "the search waits for the pause";
    EXPECT_TRUE(content().isSearchPending());
    ASSERT_TRUE(QTest::qWaitFor([this] { return c.view() == View::search; }, 2000));
    FileListView& hits = content().fileList(View::search);
    EXPECT_EQ(content().shownListing(), &hits);
    EXPECT_TRUE(hits.showsPlaceholder());
    EXPECT_EQ(hits.placeholder().title(), "Zadejte aspoň 2 znaky.");
    EXPECT_EQ(hits.placeholder().symbol(), "magnifyingglass");

    // Return searches at once.
    typeInto(field, "oleda");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(content().isSearchPending());
    EXPECT_EQ(c.searchTotal(), 2);
    EXPECT_FALSE(hits.showsPlaceholder());
    EXPECT_EQ(hits.table().rowsModel().rowCount(), 2);
    EXPECT_EQ(content().headerText(View::search), "Nalezeno " + Fmt::plural(2, "items"));

    typeInto(field, "xyz");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(hits.placeholder().title(), "Nic nenalezeno.");

    // Emptying the field goes back to the folder, at once.
    field->clear();
    EXPECT_EQ(c.view(), View::tree);
    EXPECT_EQ(content().shownListing(), &content().folderTable());
    EXPECT_FALSE(content().isSearchPending());
    // A character typed and deleted before the pause starts no search.
    typeInto(field, "k");
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_FALSE(content().isSearchPending());
    QTest::qWait(ContentView::searchDelayMs + 100);
    EXPECT_EQ(c.view(), View::tree);
}

TEST_F(WindowTest, AFolderOf1600ChildrenShows1500RowsAndTheRestAsALine) {
    LocalHome home;
    for (int i = 0; i < 1600; ++i)
        writeFile(home.drive() / "Many" / ("f" + std::to_string(i)), 10 + std::size_t(i));
    scanLocal(home);
    const auto many = findNode([](const NodeDTO& n, const Item&) { return n.name == "Many"; });
    ASSERT_TRUE(many);
    c.navigate(many->id, true);
    FolderTableView& folder = content().folderTable();
    EXPECT_EQ(folder.table().rowsModel().rowCount(), 1500);
    EXPECT_EQ(folder.table().shownModel().rowCount(), 1500);
    EXPECT_EQ(folder.moreText(),
              "… a dalších " + Fmt::plural(100, "items") + " (export CSV obsahuje vše)");
    // Largest first in the view.
    const NodeDTO* first = folder.table().nodeAtRow(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "f1599");
    c.goHome();
    EXPECT_EQ(folder.moreText(), "");
}

TEST_F(WindowTest, ThePickersFollowTheContainersAndTheView) {
    SimWorld world;
    scanWorld(world);
    const SummaryDTO summary = *c.summary();
    QComboBox* containers = content().toolBar().containerPicker();
    ASSERT_EQ(containers->count(), int(summary.containers.size()));
    for (int i = 0; i < containers->count(); ++i) {
        const ContainerDTO& container = summary.containers[std::size_t(i)];
        const QString middle = container.name == std::optional<std::string>("com.apple.CloudDocs")
                                   ? " – "
                                   : " (aplikace) – ";
        EXPECT_EQ(containers->itemText(i),
                  QString::fromStdString(container.display) + middle + Fmt::size(container.qta));
        EXPECT_EQ(containers->itemData(i).toString().toStdString(), container.root);
    }
    EXPECT_TRUE(containers->isEnabled());
    EXPECT_EQ(containers->currentData().toString().toStdString(), *summary.mainRoot);

    // Inside a folder of another container, the picker names that container.
    ASSERT_GE(summary.containers.size(), 2u);
    const std::string otherRoot = summary.containers[1].root;
    const auto inner = findNode([&](const NodeDTO& n, const Item& item) {
        return n.isDir() && std::string(item.parent()) == otherRoot;
    });
    if (inner) {
        c.navigate(inner->id, true);
        EXPECT_EQ(containers->currentData().toString().toStdString(), otherRoot);
        EXPECT_TRUE(content().toolBar().parentButton()->isEnabled());
        EXPECT_TRUE(content().toolBar().homeButton()->isEnabled());
        EXPECT_EQ(content().breadcrumbs().pathTexts().front(),
                  QString::fromStdString(summary.containers[1].display));
    }
    containers->activated(0);
    EXPECT_EQ(c.current()->id, summary.containers[0].root);

    QComboBox* views = content().toolBar().viewPicker();
    ASSERT_EQ(views->count(), 4);
    EXPECT_EQ(views->itemText(0), "Největší soubory");
    EXPECT_EQ(views->itemText(1), "Největší složky");
    EXPECT_EQ(views->itemText(2), "Změny od posledního skenu");
    EXPECT_EQ(views->itemText(3), "Ke smazání (0)");
    EXPECT_EQ(views->currentIndex(), -1) << "no option while a folder is listed";
    views->setCurrentIndex(1);
    emit views->activated(1);
    EXPECT_EQ(c.view(), View::bigDirs);
    EXPECT_EQ(views->currentIndex(), 1);
    EXPECT_EQ(content().shownListing(), &content().fileList(View::bigDirs));
    const QString home = QString::fromStdString(summary.containers[0].display);
    EXPECT_EQ(content().headerText(View::bigDirs),
              "Složky s nejvíc daty přímo uvnitř (bez podsložek) v „" + home +
                  "“ – velikosti jsou jen za soubory přímo ve složce");
    // Another listing than the folder's: the way back.
    EXPECT_TRUE(content().breadcrumbs().backButton()->isVisibleTo(&window));
    EXPECT_EQ(content().breadcrumbs().backButton()->toolTip(), "Zpět do složky „" + home + "“");

    c.loadTopFiles(ScanController::listingRowLimit);
    EXPECT_EQ(views->currentIndex(), 0);
    EXPECT_EQ(content().headerText(View::top), "Největší soubory v „" + home + "“ (celý podstrom)");
    content().cloudOnlyBox()->setChecked(true);
    EXPECT_TRUE(c.topCloudOnly());
    for (const NodeDTO& row : c.topFiles())
        EXPECT_GT(row.cloud, 0) << row;

    const auto doc = findNode([](const NodeDTO& n, const Item&) {
        return n.kind == ItemKind::doc && !n.ambiguous && !n.dead;
    });
    ASSERT_TRUE(doc);
    c.addToDeleteList(doc->id);
    EXPECT_EQ(views->itemText(3), "Ke smazání (1)");
}

TEST_F(WindowTest, TheBreadcrumbBarOffersToLoadACloudOnlyFolder) {
    SimWorld world;
    scanWorld(world);
    const auto cloudOnly =
        findNode([](const NodeDTO& n, const Item&) { return ScanController::canHydrate(n); });
    ASSERT_TRUE(cloudOnly);
    c.navigate(cloudOnly->id, true);
    const BreadcrumbBar& bar = content().breadcrumbs();
    ASSERT_TRUE(bar.hydrateButton()->isVisibleTo(&window));
    EXPECT_EQ(bar.hydrateButton()->text(), "☁ Načíst složku z iCloudu");
    EXPECT_FALSE(bar.backButton()->isVisibleTo(&window));
    EXPECT_EQ(bar.pathTexts().back(), QString::fromStdString(cloudOnly->name));
    EXPECT_EQ(bar.maskedBadge() != nullptr, !cloudOnly->resolved);
    EXPECT_TRUE(bar.summaryText().startsWith(Fmt::plural(cloudOnly->docs, "files")));
    if (c.children().empty()) {
        EXPECT_EQ(content().folderTable().placeholder().title(), "Složka je jen v cloudu");
        EXPECT_EQ(content().folderTable().placeholder().symbol(), "icloud");
    }
    c.goHome();
    EXPECT_FALSE(bar.hydrateButton()->isVisibleTo(&window));
    EXPECT_EQ(bar.maskedBadge(), nullptr) << "a container root is never a masked name";
}

TEST_F(WindowTest, TheDeleteListHeaderCountsTheListAndEmptiesIt) {
    SimWorld world;
    scanWorld(world);
    DeleteListHeader& header = content().deleteListHeader();
    EXPECT_FALSE(header.clearButton()->isEnabled());
    EXPECT_FALSE(header.trashButton()->isEnabled());
    c.show(View::deleteList);
    FileListView& list = content().fileList(View::deleteList);
    EXPECT_TRUE(list.showsPlaceholder());
    EXPECT_EQ(list.placeholder().title(),
              "Seznam ke smazání je prázdný. Přidejte soubory pravým tlačítkem myši → „Přidat do "
              "seznamu ke smazání“.");

    const auto dir = findNode([this](const NodeDTO& n, const Item&) {
        return n.isDir() && n.docs >= 2 && !c.trashReason(n.id);
    });
    ASSERT_TRUE(dir);
    const auto inner = findNode([&](const NodeDTO& n, const Item& item) {
        return n.kind == ItemKind::doc && std::string(item.parent()) == dir->id &&
               !c.trashReason(n.id);
    });
    ASSERT_TRUE(inner);
    c.addToDeleteList(dir->id);
    c.addToDeleteList(inner->id);
    EXPECT_EQ(header.title(), "Uvolníte v iCloudu");
    EXPECT_EQ(header.shownLines(), DeleteListHeader::lines(c.deleteSavings(), c.summary()));
    ASSERT_TRUE(header.shownLines().nested);
    EXPECT_EQ(*header.shownLines().nested,
              Fmt::plural(1, "items") +
                  " leží ve složce, která je na seznamu také – nepočítá se dvakrát.");
    EXPECT_EQ(list.table().rowsModel().rowCount(), 2);
    EXPECT_TRUE(header.clearButton()->isEnabled());
    EXPECT_TRUE(header.trashButton()->isEnabled());

    // The dialog names what really moves: the folder, counted once, with the file inside it.
    c.removeFromDeleteList(dir->id);
    c.addToDeleteList(dir->id);
    header.trashButton()->click(); // answered with "cancel"
    ASSERT_EQ(desktop.alerts.size(), 1u);
    EXPECT_EQ(desktop.alerts[0].message,
              "Přesunout „" + QString::fromStdString(dir->name) + "“ do Koše?");
    EXPECT_TRUE(desktop.alerts[0].informativeText.startsWith("Celkem " + Fmt::size(dir->qta)));
    EXPECT_TRUE(desktop.alerts[0].informativeText.endsWith(
        "Obsah ze seznamu, který leží uvnitř (1 položka), se přesune také a nepočítá se "
        "dvakrát."));
    EXPECT_EQ(c.deleteIDs().size(), 2u);

    header.clearButton()->click();
    EXPECT_TRUE(c.deleteIDs().empty());
    EXPECT_TRUE(QSettings("Varnelo", "Varnelo").value("deleteList").toStringList().isEmpty());
    EXPECT_TRUE(list.showsPlaceholder());
    EXPECT_FALSE(header.clearButton()->isEnabled());
}

TEST_F(WindowTest, TheToastAndTheSummaryLayerFollowTheController) {
    LocalHome home;
    writeFile(home.drive() / "a.bin", 1000);
    scanLocal(home);
    window.show();
    c.showToast("Ahoj", 5);
    EXPECT_TRUE(content().toast().isShowing());
    EXPECT_EQ(content().toast().text(), "Ahoj");

    SummaryOverlay& layer = content().summaryOverlay();
    auto* card = new QLabel("karta");
    content().setSummaryView(card);
    c.setShowSummary(true);
    EXPECT_TRUE(layer.isShowing());
    EXPECT_EQ(layer.geometry(), window.rect());
    // A click on the card keeps the layer, one on the dimmed area closes it.
    QTest::mouseClick(&layer, Qt::LeftButton, {}, card->geometry().center());
    EXPECT_TRUE(c.showSummary());
    QTest::mouseClick(&layer, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(c.showSummary());
    EXPECT_FALSE(layer.isShowing());
    ASSERT_TRUE(QTest::qWaitFor([&layer] { return layer.isHidden(); }, 2000));
}

TEST_F(WindowTest, AnUnlistedCloudOnlyFolderShowsItsPlaceholder) {
    LocalHome home;
    writeFile(home.drive() / "a.bin", 1000);
    if (!markCloudOnly(home.drive() / "Z telefonu"))
        GTEST_SKIP() << "the temporary folder takes no extended attributes";
    scanLocal(home);
    const auto folder =
        findNode([](const NodeDTO& n, const Item&) { return n.name == "Z telefonu"; });
    ASSERT_TRUE(folder);
    ASSERT_TRUE(ScanController::canHydrate(*folder));
    c.navigate(folder->id, true);
    const FolderTableView& table = content().folderTable();
    EXPECT_TRUE(table.showsPlaceholder());
    EXPECT_EQ(table.placeholder().title(), "Složka je jen v cloudu");
    EXPECT_EQ(table.placeholder().symbol(), "icloud");
    EXPECT_EQ(table.placeholder().description(),
              "Databáze o jejím obsahu nic neví. Tlačítkem „☁ Načíst složku z iCloudu“ se stáhne "
              "jen seznam, ne obsah.");
    EXPECT_TRUE(content().breadcrumbs().hydrateButton()->isVisibleTo(&window));

    // An ordinary empty folder.
    fs::create_directories(home.drive() / "Prázdná");
    scanLocal(home);
    const auto empty = findNode([](const NodeDTO& n, const Item&) { return n.name == "Prázdná"; });
    ASSERT_TRUE(empty);
    c.navigate(empty->id, true);
    EXPECT_EQ(table.placeholder().title(), "Prázdná složka");
    EXPECT_EQ(table.placeholder().symbol(), "folder");
    EXPECT_FALSE(content().breadcrumbs().hydrateButton()->isVisibleTo(&window));
}

// At the minimum window size the search field stays on the toolbar (the buttons drop their
// labels) and card titles that do not fit end with "…" instead of being cut.
TEST_F(WindowTest, TheMinimumSizeKeepsTheSearchFieldAndShortensCardTitles) {
    SimWorld world;
    scanWorld(world);
    c.setShowSummary(false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(content().toolBar().isCompact());
    window.resize(960, 600);
    QTest::qWait(50);
    EXPECT_TRUE(content().toolBar().searchField()->isVisible());
    EXPECT_TRUE(content().toolBar().isCompact());
    const auto titles = content().cards().findChildren<ElidedLabel*>();
    ASSERT_FALSE(titles.isEmpty());
    bool shortened = false;
    for (const ElidedLabel* title : titles) {
        const QString shown = title->text();
        EXPECT_LE(title->fontMetrics().horizontalAdvance(shown), title->width()) << text(shown);
        EXPECT_TRUE(shown == title->fullText() || shown.endsWith(QChar(0x2026))) << text(shown);
        shortened = shortened || shown != title->fullText();
    }
    EXPECT_TRUE(shortened) << "at 960 points some card title is too long";
    window.resize(1320, 820);
    QTest::qWait(50);
    EXPECT_FALSE(content().toolBar().isCompact());
}

// A status line narrower than its texts keeps the status in view and shortens both texts
// instead of cutting the footer at the edge.
TEST_F(WindowTest, ANarrowStatusLineKeepsTheStatusText) {
    SimWorld world;
    scanWorld(world);
    StatusBar bar(c);
    bar.resize(420, bar.sizeHint().height());
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    EXPECT_TRUE(bar.shownText().startsWith("Hotovo")) << text(bar.shownText());
    for (const QWidget* child : bar.findChildren<QWidget*>()) {
        if (child->isVisible()) {
            EXPECT_LE(child->geometry().right(), bar.width()) << child->metaObject()->className();
        }
    }
}

// Each toast is sized to its own text: a long one after a short one is not cut, a short one
// after a long one sits in a box of its own size.
TEST_F(WindowTest, EachToastIsSizedToItsText) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ToastOverlay& toast = content().toast();
    const auto fits = [&toast] {
        const QSize needed = toast.neededTextSize();
        const QRect drawn = toast.textRect();
        return needed.height() == drawn.height() && needed.width() <= drawn.width() &&
               drawn.width() - needed.width() < 4;
    };
    c.showToast("Krátce.", 5);
    EXPECT_TRUE(fits());
    c.showToast("Pozor: jsou to interní data aplikace Poznámky. Smazáním můžete přijít o její data "
                "nebo zálohu. Přidáno na seznam (4 položky).",
                5);
    EXPECT_TRUE(fits());
    EXPECT_GT(toast.textRect().height(), toast.fontMetrics().height()) << "wrapped";
    c.showToast("Krátce.", 5);
    EXPECT_TRUE(fits());
    EXPECT_LT(toast.width(), 200);
}
