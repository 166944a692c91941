// The usage bar widget driven by real mouse events over a scanned home folder: clicks open and
// close drill-down rows, "Sbalit" closes them all, the pointer sets the hovered id and double
// clicks open folders; and the header's texts.
#include "WindowFixture.hpp"

#include "SummaryOverlay.hpp"
#include "UsageBarView.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QToolButton>

#include <sys/xattr.h>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;

namespace {

using Segment = UsageBarLayout::Segment;

class UsageBarTest : public WindowTest {
protected:
    // A drive whose biggest folder holds two subfolders, each with files.
    void SetUp() override {
        writeFile(home.drive() / "Velká/Fotky/a.jpg", 2'000'000);
        writeFile(home.drive() / "Velká/Fotky/b.jpg", 1'000'000);
        writeFile(home.drive() / "Velká/Texty/c.txt", 900'000);
        writeFile(home.drive() / "Druhá/d.bin", 1'200'000);
        writeFile(home.drive() / "soubor.bin", 800'000);
        scanLocal(home);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // The summary opened by the scan fades out before the pointer can reach the bar.
        c.setShowSummary(false);
        ASSERT_TRUE(QTest::qWaitFor([this] { return content().summaryOverlay().isHidden(); }));
        c.goHome();
        bar = window.findChild<UsageBarView*>();
        ASSERT_TRUE(bar);
        QTest::qWait(20);
    }

    std::string idOf(const std::string& name) {
        const auto node = findNode([&](const NodeDTO& n, const Item&) { return n.name == name; });
        EXPECT_TRUE(node) << name;
        return node ? node->id : std::string();
    }

    QPoint centerOf(const std::string& id) {
        const std::optional<QPoint> point = bar->segmentCenter(id);
        EXPECT_TRUE(point) << id << " is not drawn";
        return point.value_or(QPoint());
    }

    // The segment of `id` in the preview strip under its holder.
    const Segment* previewSegment(const std::string& id) {
        for (const Segment& seg : bar->barLayout().segments)
            if (seg.preview && seg.id == id)
                return &seg;
        return nullptr;
    }

    std::vector<std::string> pathIDs() {
        std::vector<std::string> ids;
        for (const auto& focus : c.barPath())
            ids.push_back(focus.id);
        return ids;
    }

    LocalHome home;
    UsageBarView* bar = nullptr;
};

} // namespace

TEST_F(UsageBarTest, ClickingAFolderTwiceOpensAndClosesItsRowAndSbalitClosesAll) {
    const std::string velka = idOf("Velká");
    const std::string fotky = idOf("Fotky");
    const double before = bar->height();
    QTest::mouseClick(bar, Qt::LeftButton, {}, centerOf(velka));
    EXPECT_EQ(pathIDs(), std::vector<std::string>{velka});
    EXPECT_EQ(c.selectedID(), velka);
    QTest::qWait(20);
    EXPECT_GT(bar->height(), before) << "the widget grows with its drill-down row";
    EXPECT_TRUE(bar->collapseButton()->isVisible());

    QTest::mouseClick(bar, Qt::LeftButton, {}, centerOf(velka));
    EXPECT_TRUE(c.barPath().empty());
    QTest::qWait(20);
    EXPECT_EQ(bar->height(), before);
    EXPECT_FALSE(bar->collapseButton()->isVisible());

    // Two levels, then "Sbalit".
    QTest::mouseClick(bar, Qt::LeftButton, {}, centerOf(velka));
    const Segment* row = nullptr;
    for (const Segment& seg : bar->barLayout().segments)
        if (seg.level == 1 && !seg.preview && seg.id == fotky)
            row = &seg;
    ASSERT_TRUE(row) << "Fotky is on the drill-down row";
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      (row->rect.center() + QPointF(bar->barOrigin())).toPoint());
    EXPECT_EQ(pathIDs(), (std::vector<std::string>{velka, fotky}));
    EXPECT_EQ(bar->collapseButton()->toolTip(), "Zavřít rozbalené úrovně");
    EXPECT_EQ(bar->collapseButton()->text(), "Sbalit");
    QTest::mouseClick(const_cast<QToolButton*>(bar->collapseButton()), Qt::LeftButton);
    EXPECT_TRUE(c.barPath().empty());
}

TEST_F(UsageBarTest, APreviewStripClickOpensItsHolderAndSelectsTheItem) {
    const std::string velka = idOf("Velká");
    const std::string texty = idOf("Texty");
    const Segment* strip = previewSegment(texty);
    ASSERT_TRUE(strip);
    const QPoint point = (strip->rect.center() + QPointF(bar->barOrigin())).toPoint();
    QTest::mouseClick(bar, Qt::LeftButton, {}, point);
    EXPECT_EQ(pathIDs(), std::vector<std::string>{velka});
    EXPECT_EQ(c.selectedID(), texty);
    // A second click in the strip keeps the row open.
    strip = previewSegment(texty);
    ASSERT_TRUE(strip);
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      (strip->rect.center() + QPointF(bar->barOrigin())).toPoint());
    EXPECT_EQ(pathIDs(), std::vector<std::string>{velka});
    // Files do not open anything.
    QTest::mouseClick(bar, Qt::LeftButton, {}, centerOf(idOf("soubor.bin")));
    EXPECT_EQ(pathIDs(), std::vector<std::string>{velka});
    EXPECT_EQ(c.selectedID(), idOf("soubor.bin"));
}

TEST_F(UsageBarTest, HoverSetsTheHoveredIDAndLeavingClearsIt) {
    const std::string druha = idOf("Druhá");
    EXPECT_NE(text(bar->headerText()).find("bledší = jen v cloudu · celkem "), std::string::npos);
    QTest::mouseMove(bar, centerOf(druha));
    EXPECT_EQ(c.hoveredID(), druha);
    EXPECT_EQ(bar->hoverSegment(), druha);
    EXPECT_NE(text(bar->headerText()).find("„Druhá“"), std::string::npos);
    EXPECT_NE(text(bar->headerText()).find("klik rozbalí, dvojklik otevře"), std::string::npos);

    // Over the header, outside every segment.
    QTest::mouseMove(bar, QPoint(bar->width() / 2, 4));
    EXPECT_EQ(c.hoveredID(), std::nullopt);
    QTest::mouseMove(bar, centerOf(druha));
    EXPECT_EQ(c.hoveredID(), druha);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(bar, &leave);
    EXPECT_EQ(c.hoveredID(), std::nullopt);
    EXPECT_EQ(bar->hoverSegment(), std::nullopt);

    // A row hovered in the table is described by the bar's header as well.
    c.setHoveredID(idOf("soubor.bin"));
    EXPECT_NE(text(bar->headerText()).find("„soubor.bin“"), std::string::npos);
    EXPECT_EQ(text(bar->headerText()).find("klik rozbalí"), std::string::npos);
}

TEST_F(UsageBarTest, DoubleClickOpensAFolderButNotWhileBusy) {
    const std::string velka = idOf("Velká");
    QTest::mouseDClick(bar, Qt::LeftButton, {}, centerOf(idOf("soubor.bin")));
    EXPECT_TRUE(c.isAtHome()) << "a file opens nothing";
    QTest::mouseDClick(bar, Qt::LeftButton, {}, centerOf(velka));
    ASSERT_TRUE(c.current());
    EXPECT_EQ(c.current()->id, velka);
    EXPECT_TRUE(c.barPath().empty());
    QTest::qWait(20);
    EXPECT_EQ(text(bar->headerText()).rfind("Rozdělení „Velká“", 0), 0u);

    c.goHome();
    // A folder that blocks its listing keeps the next scan running for a while.
    const fs::path slow = home.drive() / "Druhá";
    if (::setxattr(slow.c_str(), "user.tessary.busy", "3", 1, 0) != 0)
        GTEST_SKIP() << "the temporary folder takes no extended attributes";
    const QPoint point = centerOf(velka);
    c.startScan(false);
    ASSERT_TRUE(c.busy());
    QTest::mouseDClick(bar, Qt::LeftButton, {}, point);
    EXPECT_TRUE(c.isAtHome());
    c.stop();
    ASSERT_TRUE(waitIdle(c));
}

TEST(UsageBarTexts, ListingNamesEmptyLinesAndHoverDescriptions) {
    EXPECT_EQ(UsageBarView::emptyText(true), "Probíhá sken…");
    EXPECT_EQ(UsageBarView::emptyText(false), "Nic k zobrazení");
    Segment rest;
    rest.id = "__rest__row0";
    rest.count = 12;
    rest.qta = 5000;
    rest.parentQta = 10000;
    EXPECT_NE(text(UsageBarView::hoverText(rest)).find(text(Fmt::plural(12, "items") + " menších")),
              std::string::npos);
    Segment file;
    file.id = "f";
    file.node = NodeDTO();
    file.node->name = "a.mov";
    file.qta = 2000;
    file.cloud = 1000;
    file.parentQta = 8000;
    EXPECT_EQ(UsageBarView::hoverText(file), "„a.mov“ " + Fmt::size(2000) + " · " +
                                                 Fmt::percent(2000, 8000) + " · jen v cloudu " +
                                                 Fmt::size(1000));
    EXPECT_EQ(UsageBarView::hintText(3000), "bledší = jen v cloudu · celkem " + Fmt::size(3000) +
                                                " · klik na složku ji rozbalí, dvojklik otevře");
}

TEST_F(UsageBarTest, NamesEachListingAndFollowsTheView) {
    c.loadTopFiles(ScanController::listingRowLimit);
    EXPECT_EQ(UsageBarView::listingName(c), "největších souborů");
    QTest::qWait(20);
    EXPECT_EQ(text(bar->headerText()).rfind("Rozdělení největších souborů", 0), 0u);
    EXPECT_TRUE(bar->segmentCenter(idOf("a.jpg"))) << "the largest file is on the bar";
    c.loadBigDirs(ScanController::listingRowLimit);
    EXPECT_EQ(UsageBarView::listingName(c), "největších složek");
    c.show(ScanController::View::deleteList);
    EXPECT_EQ(UsageBarView::listingName(c), "seznamu ke smazání");
}
