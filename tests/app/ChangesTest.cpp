// What changed since an earlier scan, in the window's controller and texts: two scans of a
// generated world aged by a month in between, and a third with nothing new.
#include "ControllerFixture.hpp"

#include "NodeTableModel.hpp"
#include "SummaryCardsView.hpp"
#include "TessaryApp/Fmt.hpp"

using namespace tessary;
using namespace apptest;
using Kind = ScanComparison::Kind;

namespace {

const NodeDTO* rowOf(const ScanController::Rows& rows, const std::string& id) {
    for (const NodeDTO& row : rows)
        if (row.id == id)
            return &row;
    return nullptr;
}

} // namespace

TEST(ChangesInWindow, AnAgedWorldShowsItsChangesAndAnotherEarlierScanCanBeChosen) {
    SettingsSandbox settings;
    SimWorld world(41);
    ScriptedDesktop desktop;
    ScanController c(&desktop);
    c.setEnvironment(world.env);
    scanNow(c, true);
    EXPECT_FALSE(c.changeSummary()) << "the first scan has nothing to compare with";
    EXPECT_TRUE(c.earlierScans().empty());
    EXPECT_FALSE(c.rowChange(c.children().front().id));

    const nlohmann::json aged = world.age(3, 30);
    scanNow(c, true);
    ASSERT_TRUE(c.changeSummary());
    EXPECT_EQ(c.earlierScans().size(), 1u);
    EXPECT_EQ(c.comparedScan(), 0);
    // The ager changes only the iCloud Drive: its root changed by the whole change.
    const std::string root = *c.summary()->mainRoot;
    ASSERT_TRUE(c.rowChange(root));
    EXPECT_EQ(c.rowChange(root)->delta, c.changeSummary()->qta);
    EXPECT_TRUE(SummaryCardsView::changeLine(*c.changeSummary())
                    .startsWith("Od " + Fmt::date(double(c.changeSummary()->since)) + ": "));

    // Each folder the ager made, deleted or moved is a row of the changes with its kind.
    int checked = 0;
    for (const nlohmann::json& made : aged["changes"]) {
        if (made["kind"] != "dir")
            continue;
        const std::string id = made["id"];
        const std::string what = made["change"];
        const auto change = c.rowChange(id);
        ASSERT_TRUE(change) << made.dump();
        EXPECT_EQ(change->kind, what == "new"       ? Kind::added
                                : what == "deleted" ? Kind::removed
                                : what == "moved"   ? Kind::moved
                                                    : change->kind)
            << made.dump();
        EXPECT_EQ(change->delta, made["qtaAfter"].get<std::int64_t>() -
                                     (what == "new" ? 0 : made["qtaBefore"].get<std::int64_t>()));
        const NodeDTO* row = rowOf(c.changeRows(), id);
        ASSERT_NE(row, nullptr) << made.dump();
        if (what == "deleted") {
            EXPECT_EQ(NodeTableModel::changeText(change), "smazané");
        } else if (what == "new") {
            EXPECT_EQ(NodeTableModel::changeText(change), "nové");
            EXPECT_EQ(row->name, made["path"].get<std::string>().substr(
                                     made["path"].get<std::string>().rfind('/') + 1));
        }
        ++checked;
    }
    EXPECT_GE(checked, 3);
    EXPECT_FALSE(c.grownFolders().empty());
    for (const NodeDTO& grown : c.grownFolders())
        EXPECT_GT(c.rowChange(grown.id)->delta, 0) << grown.name;

    c.showChanges();
    EXPECT_EQ(c.view(), ScanController::View::changes);
    EXPECT_EQ(c.mapRows().size(), std::min<std::size_t>(c.changeRows().size(), 200));

    // A third scan of the same disk: nothing changed since the second; the first one can still
    // be chosen and shows the month's changes again.
    scanNow(c, false);
    ASSERT_EQ(c.earlierScans().size(), 2u);
    EXPECT_EQ(c.changeSummary()->qta, 0);
    EXPECT_TRUE(c.changeRows().empty());
    c.compareWith(1);
    EXPECT_EQ(c.comparedScan(), 1);
    EXPECT_FALSE(c.changeRows().empty());
    ASSERT_TRUE(c.rowChange(root));
    EXPECT_EQ(c.rowChange(root)->delta, c.changeSummary()->qta);

    // The texts of the column.
    EXPECT_EQ(NodeTableModel::changeText(std::nullopt), "");
    EXPECT_EQ(NodeTableModel::changeText(ScanController::RowChange{Kind::grown, 2'300'000'000}),
              "+" + Fmt::size(2'300'000'000));
    EXPECT_EQ(NodeTableModel::changeText(ScanController::RowChange{Kind::shrunk, -120'000'000}),
              QString(QChar(0x2212)) + Fmt::size(120'000'000));
    EXPECT_EQ(NodeTableModel::changeText(ScanController::RowChange{Kind::moved, 0}), "přesunuto");
}
