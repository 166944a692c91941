// The scan summary: its texts built from hand-made reports for every variant a real scan cannot
// easily produce, and the card over a real scan (sections, buttons, the persisted switch and
// scrolling in a small window).
#include "WindowFixture.hpp"

#include "ContentView.hpp"
#include "FolderTableView.hpp"
#include "ScanSummaryView.hpp"
#include "SummaryOverlay.hpp"

#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/SummaryContent.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

using namespace tessary;
using namespace apptest;

namespace {

const QString web = QStringLiteral("icloud.com");

CategoryStat stat(FileCategory category, std::int64_t qta, std::int64_t cloud, std::int64_t n) {
    CategoryStat s(category);
    s.qta = qta;
    s.cloud = cloud;
    s.count = n;
    return s;
}

NodeDTO node(std::string name, ItemKind kind) {
    NodeDTO n;
    n.id = "id-" + name;
    n.name = std::move(name);
    n.kind = kind;
    n.qta = 4'000'000;
    n.docs = 3;
    n.dpath = "Dokumenty/" + n.name;
    return n;
}

ScanReport fullReport() {
    ScanReport r;
    r.total = 5000;
    r.cloud = 2000;
    r.local = 3000;
    r.docs = 1234;
    r.cloudDocs = 7;
    r.quotaRemaining = 9'000'000'000;
    r.dumpTime = 1'700'000'000.0;
    r.categories = {stat(FileCategory::video, 600, 600, 2), stat(FileCategory::photo, 300, 0, 5),
                    stat(FileCategory::other, 100, 40, 1)};
    r.biggestFile = node("film.mov", ItemKind::doc);
    r.biggestFile->dataless = true;
    r.biggestDir = node("Projekty", ItemKind::dir);
    r.deadCount = 3;
    r.deadQta = 42'000;
    return r;
}

} // namespace

TEST(SummaryContentTexts, AFullReport) {
    const ScanReport r = fullReport();
    const SummaryContent s = SummaryContent::of(r, web);
    EXPECT_EQ(s.dumpLine, "Databáze iCloud Drive z " + Fmt::time(r.dumpTime));
    EXPECT_EQ(s.heroSize, Fmt::size(2000));
    EXPECT_EQ(s.heroPercent, Fmt::percent(2000, 5000) + " z iCloud Drive");
    EXPECT_EQ(s.heroSentence,
              Fmt::plural(7, "files") +
                  ", které nejsou uložené na tomto Macu – zabírají jen místo ve vašem iCloudu. "
                  "Smazáním toho, co už nepotřebujete, uvolníte kvótu.");
    ASSERT_EQ(s.figures.size(), 4u);
    EXPECT_EQ(s.figures[0].title, "Celkem v iCloud Drive");
    EXPECT_EQ(s.figures[1].value, Fmt::size(3000));
    EXPECT_EQ(s.figures[2].value, Fmt::size(9'000'000'000));
    EXPECT_EQ(s.figures[3].value, Fmt::integer(1234));

    // Shares of the categories' own sum (1000), not of the report's 5000.
    EXPECT_EQ(s.categoryTotal, 1000);
    ASSERT_EQ(s.categories.size(), 3u);
    EXPECT_EQ(s.categories[0].title, "Videa");
    EXPECT_EQ(s.categories[0].percent, Fmt::percent(600, 1000));
    EXPECT_EQ(s.categories[0].cloud, "jen v cloudu " + Fmt::size(600));
    EXPECT_EQ(s.categories[1].cloud, "vše staženo");
    EXPECT_EQ(s.categories[1].files, Fmt::plural(5, "files"));
    EXPECT_EQ(SummaryContent::symbol(FileCategory::design), "paintbrush.pointed");
    EXPECT_EQ(SummaryContent::symbol(FileCategory::other), "questionmark.folder");

    const auto pieces = SummaryContent::barPieces(r.categories, 300);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_DOUBLE_EQ(pieces[0].width, 180);
    EXPECT_DOUBLE_EQ(pieces[1].x, 180);
    EXPECT_DOUBLE_EQ(pieces[2].x + pieces[2].width, 300);
    EXPECT_EQ(pieces[1].toolTip, "Fotky: " + Fmt::size(300) + " (" + Fmt::percent(300, 1000) + ")");
    // A sliver under one point is left out; the others keep their places.
    const auto narrow = SummaryContent::barPieces(r.categories, 6);
    ASSERT_EQ(narrow.size(), 2u);
    EXPECT_DOUBLE_EQ(narrow[1].x, 3.6);

    ASSERT_EQ(s.highlights.size(), 2u);
    EXPECT_EQ(s.highlights[0].title, "Největší soubor");
    EXPECT_EQ(s.highlights[0].symbol, "film");
    EXPECT_EQ(s.highlights[0].detail, "jen v cloudu");
    EXPECT_EQ(s.highlights[0].name, "film.mov · " + Fmt::size(4'000'000));
    EXPECT_EQ(s.highlights[0].path, "Dokumenty/film.mov");
    EXPECT_EQ(s.highlights[1].title, "Složka s nejvíc daty");
    EXPECT_EQ(s.highlights[1].symbol, "folder");
    EXPECT_EQ(s.highlights[1].detail, Fmt::plural(3, "files") + " přímo uvnitř");
    EXPECT_TRUE(s.highlights[1].isFolder);
    EXPECT_EQ(s.deadLine, "Server ještě eviduje 3 smazané položky (" + Fmt::size(42'000) +
                              ") – zkontrolujte „Nedávno smazané“ na icloud.com.");
}

TEST(SummaryContentTexts, MissingPartsAreLeftOut) {
    ScanReport r = fullReport();
    r.biggestFile.reset();
    r.deadCount = 0;
    r.quotaRemaining.reset();
    SummaryContent s = SummaryContent::of(r, web);
    ASSERT_EQ(s.highlights.size(), 1u);
    EXPECT_EQ(s.highlights[0].title, "Složka s nejvíc daty");
    EXPECT_FALSE(s.deadLine);
    EXPECT_EQ(s.figures[2].value, "–");

    r.biggestDir.reset();
    r.biggestFile = node("zprava.pdf", ItemKind::doc);
    r.biggestFile->dataless = false;
    s = SummaryContent::of(r, web);
    ASSERT_EQ(s.highlights.size(), 1u);
    EXPECT_EQ(s.highlights[0].symbol, "doc.text");
    EXPECT_EQ(s.highlights[0].detail, "staženo na Macu");

    r.biggestFile.reset();
    r.categories.clear();
    s = SummaryContent::of(r, web);
    EXPECT_TRUE(s.highlights.empty());
    EXPECT_TRUE(s.categories.empty());
}

// A damaged database can give a negative cloud-only figure: the row shows it rather than claim
// that everything is downloaded.
TEST(SummaryContentTexts, ANegativeCloudFigureIsShownAsItIs) {
    ScanReport r;
    r.categories = {stat(FileCategory::video, 600, -5000, 2)};
    const SummaryContent s = SummaryContent::of(r, QStringLiteral("icloud.com"));
    ASSERT_EQ(s.categories.size(), 1u);
    EXPECT_EQ(s.categories[0].cloud, "jen v cloudu " + Fmt::size(-5000));
}

TEST(SummaryContentTexts, CategoriesSummingToZeroDrawNoSegments) {
    const std::vector<CategoryStat> zero = {stat(FileCategory::document, 0, 0, 4),
                                            stat(FileCategory::audio, 0, 0, 1)};
    EXPECT_EQ(SummaryContent::categoryTotalOf(zero), 1);
    EXPECT_TRUE(SummaryContent::barPieces(zero, 400).empty());
    ScanReport r;
    r.categories = zero;
    const SummaryContent s = SummaryContent::of(r, web);
    ASSERT_EQ(s.categories.size(), 2u);
    EXPECT_EQ(s.categories[0].percent, Fmt::percent(0, 1));
    EXPECT_EQ(s.categories[0].cloud, "vše staženo");
    // An empty report: nothing divides by zero.
    EXPECT_EQ(s.heroPercent, Fmt::percent(0, 0) + " z iCloud Drive");
}

TEST(SummaryContentTexts, TheDeadItemsPhraseIsDeclinedByTheCount) {
    EXPECT_EQ(SummaryContent::deadItems(1), "1 smazanou položku");
    EXPECT_EQ(SummaryContent::deadItems(2), "2 smazané položky");
    EXPECT_EQ(SummaryContent::deadItems(4), "4 smazané položky");
    EXPECT_EQ(SummaryContent::deadItems(5), "5 smazaných položek");
    EXPECT_EQ(SummaryContent::deadItems(21), "21 smazaných položek");
    ScanReport r;
    r.deadCount = 1;
    r.deadQta = 10;
    EXPECT_EQ(SummaryContent::of(r, web).deadLine,
              "Server ještě eviduje 1 smazanou položku (" + Fmt::size(10) +
                  ") – zkontrolujte „Nedávno smazané“ na icloud.com.");
}

namespace {

class SummaryCardTest : public WindowTest {
protected:
    void SetUp() override {
        writeFile(home.drive() / "Filmy/dovolena.mov", 3'000'000);
        writeFile(home.drive() / "Dokumenty/zprava.pdf", 500'000);
        writeFile(home.drive() / "Dokumenty/tabulka.xlsx", 200'000);
        scanLocal(home);
        card = qobject_cast<ScanSummaryView*>(content().summaryOverlay().card());
        ASSERT_TRUE(card);
    }

    LocalHome home;
    ScanSummaryView* card = nullptr;
};

} // namespace

TEST_F(SummaryCardTest, ShowsTheReportAndItsButtonsAct) {
    ASSERT_TRUE(card->shown());
    EXPECT_EQ(card->shown()->figures[0].value, Fmt::size(c.report()->total));
    EXPECT_TRUE(card->findChild<QWidget*>("categories"));
    EXPECT_FALSE(card->findChild<QWidget*>("dead")) << "a disk scan has no dead items";
    EXPECT_EQ(card->findChildren<QWidget*>("highlight").size(), 2);

    c.setShowSummary(true);
    ASSERT_TRUE(card->button("Zavřít"));
    card->button("Zavřít")->click();
    EXPECT_FALSE(c.showSummary());

    c.setShowSummary(true);
    card->button("Největší soubory")->click();
    EXPECT_FALSE(c.showSummary());
    EXPECT_EQ(c.view(), ScanController::View::top);

    c.setShowSummary(true);
    card->button("Největší složky")->click();
    EXPECT_EQ(c.view(), ScanController::View::bigDirs);

    // "Ukázat" of the folder highlight (the second) opens the folder.
    c.setShowSummary(true);
    const auto buttons = card->findChildren<QPushButton*>();
    QPushButton* folderButton = nullptr;
    for (QPushButton* b : buttons)
        if (b->text() == "Ukázat")
            folderButton = b;
    ASSERT_TRUE(folderButton);
    folderButton->click();
    EXPECT_FALSE(c.showSummary());
    ASSERT_TRUE(c.current());
    EXPECT_EQ(c.current()->id, c.report()->biggestDir->id);
}

TEST_F(SummaryCardTest, TheSwitchIsPersistedAndATallCardScrolls) {
    QCheckBox* box = card->showAfterScanBox();
    EXPECT_EQ(box->text(), "Zobrazovat po každém skenu");
    EXPECT_TRUE(box->isChecked());
    box->setChecked(false);
    EXPECT_FALSE(AppSettings::showSummaryAfterScan());
    box->setChecked(true);
    EXPECT_TRUE(AppSettings::showSummaryAfterScan());

    window.resize(960, 600);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    c.setShowSummary(true);
    QTest::qWait(50);
    ASSERT_GT(card->contentHeight(), 0);
    EXPECT_LE(card->height(), window.height() - 40);
    EXPECT_EQ(card->height(), std::min(card->sizeHint().height(), window.height() - 40));
    EXPECT_EQ(card->scrollArea()->verticalScrollBar()->maximum(), 0) << "all of it fits";
    // Less room than the content needs: the content scrolls.
    card->resize(card->width(), 220);
    QTest::qWait(20);
    EXPECT_GT(card->scrollArea()->verticalScrollBar()->maximum(), 0);
    // A click on the dimmed area closes the summary.
    QTest::mouseClick(&content().summaryOverlay(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(c.showSummary());
}

// The layer dims the window around the card once it has faded in, closes with Escape wherever
// the keyboard focus is, and takes its card away with it.
TEST_F(SummaryCardTest, TheLayerDimsTheWindowAndEscapeClosesIt) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SummaryOverlay& layer = content().summaryOverlay();
    c.setShowSummary(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return layer.isHidden(); }));
    const QPoint corner(5, window.height() - 5);
    const QColor plain = window.grab().toImage().pixelColor(corner);
    c.setShowSummary(true);
    QTest::qWait(SummaryOverlay::fadeMs + 150);
    EXPECT_TRUE(card->isVisible());
    const QColor dimmed = window.grab().toImage().pixelColor(corner);
    EXPECT_LT(dimmed.lightness(), plain.lightness() - 40)
        << "the window around the card is not dimmed";

    content().folderTable().setFocus();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                    Qt::Key_Escape);
    EXPECT_FALSE(c.showSummary());
    EXPECT_FALSE(card->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return layer.isHidden(); }));
}
