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
namespace fs = std::filesystem;

TEST_F(WindowTest, RowsPaintedWhileAFolderIsHydratedShowTheVerdictsMadeBeforeIt) {
    SimWorld world;
    scanWorld(world);
    const auto cloudFolder = findNode(
        [](const NodeDTO& n, const Item&) { return ScanController::canHydrate(n) && n.parent; });
    ASSERT_TRUE(cloudFolder);
    // A downloaded document, which may go to the Trash now, shown in its folder.
    const auto local = findNode([this](const NodeDTO& n, const Item&) {
        return !n.isDir() && n.path && n.parent && c.trashVerdict(n.id).allowed;
    });
    ASSERT_TRUE(local);
    c.navigate(*local->parent, true);
    c.setShowSummary(false);
    std::map<std::string, TrashVerdict> before;
    for (const NodeDTO& row : c.children())
        before[row.id] = c.trashVerdict(row.id);

    ListingTable& table = content().folderTable().table();
    c.startHydrate(cloudFolder->id, 3);
    ASSERT_TRUE(c.busy());
    // The document leaves the disk while the operation runs: the row keeps its verdict until the
    // operation ends, because nothing reads the disk or the tree for it meanwhile.
    fs::remove(*local->path);
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

    // After the end the verdicts are made again from the disk as it is now.
    const TrashVerdict now = c.trashVerdict(local->id);
    EXPECT_FALSE(now.allowed);
    EXPECT_EQ(text(now.reason.value_or("")),
              "Položka už na disku není (možná byla smazaná jinde). Klikněte na „Znovu "
              "porovnat“.");
    // An item no listing showed before the operation is not judged while it runs.
    c.startHydrate(cloudFolder->id, 1);
    ASSERT_TRUE(c.busy());
    const TrashVerdict unseen = c.trashVerdict("no-such-row");
    EXPECT_FALSE(unseen.allowed);
    EXPECT_EQ(text(unseen.reason.value_or("")), "Počkejte, až skončí probíhající operace.");
    ASSERT_TRUE(waitIdle(c));
}
