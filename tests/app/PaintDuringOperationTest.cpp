// While a background operation changes the scanned tree, the window keeps painting: the rows, their
// delete toggles and their menus must come from values made before the operation, never from the
// tree itself (the thread sanitizer build runs this test to prove no read crosses the operation's
// thread).
#include "WindowFixture.hpp"

#include "FolderTableView.hpp"
#include "ItemContextMenu.hpp"
#include "ListingTable.hpp"

#include <QCoreApplication>

#include <map>

using namespace tessary;
using namespace apptest;

TEST_F(WindowTest, RowsPaintedWhileAFolderIsHydratedShowTheVerdictsMadeBeforeIt) {
    SimWorld world;
    scanWorld(world);
    c.setShowSummary(false);
    // A folder the database lists without names: the hydration gives its rows their names and
    // paths on its own thread while the window shows them.
    const auto cloudFolder = findNode([](const NodeDTO& n, const Item& item) {
        return ScanController::canHydrate(n) && !item.children.empty();
    });
    ASSERT_TRUE(cloudFolder);
    c.navigate(cloudFolder->id, true);
    ASSERT_FALSE(c.children().empty());
    std::map<std::string, TrashVerdict> before;
    for (const NodeDTO& row : c.children()) {
        before[row.id] = c.trashVerdict(row.id);
        EXPECT_FALSE(before[row.id].allowed) << "a masked name cannot be deleted";
    }

    ListingTable& table = content().folderTable().table();
    c.startHydrate(cloudFolder->id, 3);
    ASSERT_TRUE(c.busy());
    int paints = 0;
    while (c.busy()) {
        (void)table.viewport()->grab();
        for (const NodeDTO& row : c.children()) {
            EXPECT_EQ(c.trashVerdict(row.id), before[row.id]) << row.name;
            (void)ItemContextMenu::entries(c, row);
        }
        ++paints;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_GE(paints, 1);
    ASSERT_EQ(c.phase(), ScanController::Phase::done) << text(c.message());

    // After the end the rows and their verdicts are made again: the names are known now.
    int judgedAnew = 0;
    for (const NodeDTO& row : c.children())
        if (before.contains(row.id) && c.trashVerdict(row.id) != before[row.id])
            ++judgedAnew;
    EXPECT_GE(judgedAnew, 1);

    // An item no listing showed before an operation is not judged while it runs.
    c.startScan(false);
    ASSERT_TRUE(c.busy());
    const TrashVerdict unseen = c.trashVerdict("no-such-row");
    EXPECT_FALSE(unseen.allowed);
    EXPECT_EQ(text(unseen.reason.value_or("")), "Počkejte, až skončí probíhající operace.");
    ASSERT_TRUE(waitIdle(c));
}
