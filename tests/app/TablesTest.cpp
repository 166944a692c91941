// The listings' parts: size-bar geometry, badges and their texts, the name cell's icon and
// layout, the table model (checked by Qt's model tester), the row menu, the delete toggle, the
// row hover and the badge popover, on generated worlds and hand-made rows.
#include "WindowFixture.hpp"

#include "Badge.hpp"
#include "BadgePopover.hpp"
#include "FileListView.hpp"
#include "FolderTableView.hpp"
#include "Icons.hpp"
#include "ItemContextMenu.hpp"
#include "ListingTable.hpp"
#include "NameCell.hpp"
#include "NodeTableModel.hpp"
#include "SizeBarCell.hpp"
#include "Tints.hpp"
#include "TrashToggleButton.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QSortFilterProxyModel>

#include <cstdio>
#include <set>

using namespace tessary;
using namespace apptest;

namespace {

using View = ScanController::View;
using Entry = ItemContextMenu::Entry;

NodeDTO folder(std::string name) {
    NodeDTO n;
    n.id = "id-" + name;
    n.name = std::move(name);
    n.kind = ItemKind::dir;
    n.resolved = true;
    n.enumerated = true;
    n.timeout = false;
    n.denied = false;
    return n;
}

NodeDTO document(std::string name) {
    NodeDTO n;
    n.id = "id-" + name;
    n.name = std::move(name);
    n.kind = ItemKind::doc;
    n.resolved = true;
    n.dataless = false;
    return n;
}

QStringList texts(const std::vector<Badge>& badges) {
    QStringList list;
    for (const Badge& b : badges)
        list << b.text;
    return list;
}

QStringList shownTexts(const std::vector<Entry>& entries) {
    QStringList list;
    for (const Entry& e : entries)
        list << (e.kind == Entry::Kind::separator ? QStringLiteral("—") : e.text);
    return list;
}

const Entry* entry(const std::vector<Entry>& entries, const QString& text) {
    for (const Entry& e : entries)
        if (e.text == text)
            return &e;
    return nullptr;
}

} // namespace

TEST(SizeBarGeometry, BarsAreSharesOfTheLargestRowCappedAtTheFullWidth) {
    const QRectF cell(10, 0, 200, 20);
    const auto cloudOnly = SizeBarCell::geometry(cell, 500, 500, 1000);
    EXPECT_DOUBLE_EQ(cloudOnly.total.width(), 100);
    EXPECT_EQ(cloudOnly.cloud, cloudOnly.total) << "a wholly cloud row: blue as long as grey";
    EXPECT_DOUBLE_EQ(cloudOnly.total.left(), 10);

    const auto downloaded = SizeBarCell::geometry(cell, 500, 0, 1000);
    EXPECT_DOUBLE_EQ(downloaded.total.width(), 100);
    EXPECT_DOUBLE_EQ(downloaded.cloud.width(), 0) << "a downloaded row has no blue bar";

    const auto largest = SizeBarCell::geometry(cell, 1000, 250, 1000);
    EXPECT_DOUBLE_EQ(largest.total.width(), 200);
    EXPECT_DOUBLE_EQ(largest.cloud.width(), 50);
    EXPECT_DOUBLE_EQ(SizeBarCell::geometry(cell, 5000, 5000, 1000).total.width(), 200);

    const auto noMax = SizeBarCell::geometry(cell, 500, 500, 0);
    EXPECT_DOUBLE_EQ(noMax.total.width(), 0);
    EXPECT_DOUBLE_EQ(noMax.cloud.width(), 0);
    EXPECT_EQ(noMax.text, cell.adjusted(4, 0, -4, 0)) << "the text keeps its padding";
}

TEST(Badges, EachStandsOnlyUnderItsConditionAndInOrder) {
    EXPECT_TRUE(Badge::forNode(folder("Plain"), false).empty());
    EXPECT_TRUE(Badge::forNode(document("plain.txt"), false).empty());

    NodeDTO masked = document("D{7}s");
    masked.resolved = false;
    masked.dataless = true;
    masked.ambiguous = true;
    const auto maskedBadges = Badge::forNode(masked, true);
    EXPECT_EQ(texts(maskedBadges), QStringList({"maskované jméno", "☁", "?", "ke smazání"}));
    EXPECT_EQ(maskedBadges[0].title, "Maskované jméno");
    EXPECT_EQ(maskedBadges[0].style, Badge::Style::warning);
    EXPECT_TRUE(maskedBadges[0].help.contains("na icloud.com – a na tento Mac"));
    EXPECT_EQ(maskedBadges[1].title, "Jen v cloudu");
    EXPECT_EQ(maskedBadges[1].style, Badge::Style::cloud);
    EXPECT_TRUE(maskedBadges[1].help.startsWith("Soubor je odložený v iCloudu"));
    EXPECT_EQ(maskedBadges[2].title, "Jméno je odhad");
    EXPECT_EQ(maskedBadges[2].style, Badge::Style::neutral);
    EXPECT_EQ(maskedBadges[3].title, "Na seznamu ke smazání");
    EXPECT_EQ(maskedBadges[3].style, Badge::Style::danger);

    NodeDTO refused = folder("Soukromé");
    refused.denied = true;
    refused.timeout = true;
    EXPECT_EQ(texts(Badge::forNode(refused, false)), QStringList({"bez oprávnění"}))
        << "denied and timed out together show only the refusal";
    NodeDTO late = folder("Pomalá");
    late.timeout = true;
    const auto lateBadges = Badge::forNode(late, false);
    ASSERT_EQ(texts(lateBadges), QStringList({"nestihlo se"}));
    EXPECT_TRUE(lateBadges[0].help.contains("do 15 sekund"));

    NodeDTO cloudOnly = folder("Fotky");
    cloudOnly.enumerated = false;
    cloudOnly.unenum = 4;
    const auto cloudBadges = Badge::forNode(cloudOnly, false);
    ASSERT_EQ(texts(cloudBadges), QStringList({"jen v cloudu"}))
        << "a cloud-only folder does not count its own unopened folders";
    EXPECT_EQ(cloudBadges[0].title, "Jen v cloudu");
    EXPECT_TRUE(cloudBadges[0].help.startsWith("Složka nebyla na tomto Macu nikdy otevřená"));

    NodeDTO parent = folder("Projekty");
    parent.unenum = 1234;
    const auto parentBadges = Badge::forNode(parent, false);
    ASSERT_EQ(parentBadges.size(), 1u);
    EXPECT_EQ(parentBadges[0].text, "☁ " + Fmt::integer(1234));
    EXPECT_EQ(parentBadges[0].title, "Neotevřené podsložky");

    // Flags that belong to folders mean nothing on a document.
    NodeDTO odd = document("x");
    odd.denied = true;
    odd.enumerated = false;
    EXPECT_TRUE(Badge::forNode(odd, false).empty());
}

TEST(NameCellParts, IconsFollowKindAndCloudStateAndTheLayoutMakesRoomForBadges) {
    NodeDTO cloudDir = folder("A");
    cloudDir.enumerated = false;
    EXPECT_STREQ(NameCell::icon(cloudDir).symbol, "icloud");
    EXPECT_EQ(NameCell::icon(cloudDir).color, Tints::blue());
    EXPECT_STREQ(NameCell::icon(folder("B")).symbol, "folder.fill");
    EXPECT_EQ(NameCell::icon(folder("B")).color, Tints::cyan());
    NodeDTO link = document("l");
    link.kind = ItemKind::symlink;
    EXPECT_STREQ(NameCell::icon(link).symbol, "link");
    NodeDTO placeholder = document("p");
    placeholder.dataless = true;
    EXPECT_STREQ(NameCell::icon(placeholder).symbol, "icloud");
    EXPECT_STREQ(NameCell::icon(document("d")).symbol, "doc.fill");

    const QRect cell(0, 0, 300, 24);
    const auto withMark =
        NameCell::layout(cell, true, 400, {QSize(40, 16), QSize(20, 16)}, false, 16);
    EXPECT_FALSE(withMark.mark.isEmpty());
    EXPECT_TRUE(NameCell::layout(cell, false, 50, {}, false, 16).mark.isEmpty());
    ASSERT_EQ(withMark.badges.size(), 2u);
    EXPECT_LE(withMark.badges.back().right(), cell.right()) << "a long name gives way to badges";
    EXPECT_GT(withMark.badges.front().left(), withMark.name.right());
    EXPECT_GT(withMark.name.left(), withMark.icon.right());
    EXPECT_GT(withMark.icon.left(), withMark.toggle.right());
    EXPECT_TRUE(withMark.path.isEmpty());
    const auto withPath = NameCell::layout(QRect(0, 0, 300, 40), false, 50, {}, true, 16);
    EXPECT_GT(withPath.path.top(), withPath.name.top());
}

TEST(IconNames, EverySymbolHasAThemeIconEvenOffscreen) {
    Icons::useThemeWithFallback();
    for (std::string_view symbol : Icons::symbols()) {
        const QString name = Icons::themeName(symbol);
        EXPECT_FALSE(name.isEmpty()) << symbol;
        EXPECT_FALSE(Icons::icon(symbol).pixmap(16, 16).isNull()) << symbol << " → " << text(name);
    }
    EXPECT_TRUE(Icons::themeName("no.such.symbol").isEmpty());
}

TEST_F(WindowTest, TheFolderModelPassesQtsTesterAndSortsLargestFirst) {
    SimWorld world;
    scanWorld(world);
    ListingTable& table = content().folderTable().table();
    NodeTableModel& model = table.rowsModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester proxyTester(&table.shownModel(),
                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_GT(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 6);
    QStringList headers;
    for (int s = 0; s < model.columnCount(); ++s)
        headers << model.headerData(s, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(headers, QStringList({"Název", "V iCloudu", "Jen v cloudu ☁", "Na disku", "Souborů",
                                    "Změna"}));
    std::int64_t previous = std::numeric_limits<std::int64_t>::max();
    std::int64_t largest = 0;
    for (int row = 0; row < table.shownModel().rowCount(); ++row) {
        const NodeDTO* node = table.nodeAtRow(row);
        ASSERT_TRUE(node);
        EXPECT_LE(node->qta, previous);
        previous = node->qta;
        largest = std::max(largest, node->qta);
    }
    const QModelIndex first = model.index(0, 1);
    EXPECT_EQ(first.data(int(NodeTableModel::Role::maxQta)).toLongLong(), largest);
    EXPECT_EQ(first.data(int(NodeTableModel::Role::qta)).toLongLong(), model.node(0).qta);
    EXPECT_EQ(first.data(Qt::DisplayRole).toString(), Fmt::size(model.node(0).qta));
    EXPECT_EQ(first.data(int(NodeTableModel::Role::rank)).toInt(), 0);

    table.sortByColumn(0, Qt::AscendingOrder);
    QStringList names;
    for (int row = 0; row < table.shownModel().rowCount(); ++row)
        names << table.shownModel().index(row, 0).data().toString();
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
    });
    EXPECT_EQ(names, sorted);

    // The listing changes under the testers: other folder, other listing.
    const auto sub =
        findNode([](const NodeDTO& n, const Item&) { return n.isDir() && n.dirs > 0; });
    ASSERT_TRUE(sub);
    c.navigate(sub->id, true);
    c.loadTopFiles(ScanController::listingRowLimit);
    NodeTableModel& top = content().fileList(View::top).table().rowsModel();
    QAbstractItemModelTester topTester(&top, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(top.columnCount(), 4);
    EXPECT_EQ(top.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Na disku");
    c.goHome();
}

TEST_F(WindowTest, SortingALargeFolderByAHeaderListsTheFirstRowsInThatOrder) {
    // 1,600 files, the larger the later their names: the largest 1,500 are not the first 1,500
    // names.
    LocalHome home;
    for (int i = 0; i < 1600; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%04d.bin", i);
        writeFile(home.drive() / name, static_cast<std::size_t>(i + 1));
    }
    scanLocal(home);
    ListingTable& table = content().folderTable().table();
    const auto shownNames = [&table] {
        std::set<std::string> names;
        for (int row = 0; row < table.shownModel().rowCount(); ++row)
            names.insert(table.nodeAtRow(row)->name);
        return names;
    };
    ASSERT_EQ(table.shownModel().rowCount(), ScanController::folderRowLimit);
    EXPECT_EQ(c.more(), 100);
    EXPECT_FALSE(shownNames().contains("f0000.bin")); // among the smallest

    table.sortByColumn(0, Qt::AscendingOrder); // a click on "Název"
    EXPECT_EQ(c.sortKey(), SortKey::name);
    std::set<std::string> names = shownNames();
    ASSERT_EQ(names.size(), 1500u);
    EXPECT_EQ(*names.begin(), "f0000.bin");
    EXPECT_EQ(*names.rbegin(), "f1499.bin");
    EXPECT_EQ(table.nodeAtRow(0)->name, "f0000.bin");

    table.sortByColumn(1, Qt::DescendingOrder); // "V iCloudu" again
    EXPECT_EQ(c.sortKey(), SortKey::qta);
    EXPECT_EQ(table.nodeAtRow(0)->name, "f1599.bin");
    EXPECT_FALSE(shownNames().contains("f0000.bin"));

    // The order set on the controller shows in the header too.
    c.setSortKey(SortKey::name);
    EXPECT_EQ(table.horizontalHeader()->sortIndicatorSection(), 0);
    EXPECT_EQ(table.nodeAtRow(0)->name, "f0000.bin");
}

TEST_F(WindowTest, RowsWithoutARankHaveNoMarkAndTheHoverFollowsThePointer) {
    SimWorld world;
    scanWorld(world);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    c.setShowSummary(false);
    ListingTable& table = content().folderTable().table();
    NodeTableModel& model = table.rowsModel();
    ASSERT_GT(model.rowCount(), 1);
    const QModelIndex second = table.shownModel().index(1, 1);
    const QPoint at = table.visualRect(second).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(at), table.viewport()->mapToGlobal(QPointF(at)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table.viewport(), &move);
    const NodeDTO* node = table.nodeAtRow(1);
    ASSERT_TRUE(node);
    EXPECT_EQ(c.hoveredID(), node->id);
    EXPECT_TRUE(second.data(int(NodeTableModel::Role::hovered)).toBool());
    // Leaving the table clears the id it set.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(table.viewport(), &leave);
    EXPECT_FALSE(c.hoveredID());
    EXPECT_FALSE(second.data(int(NodeTableModel::Role::hovered)).toBool());
    // The usage bar's hover tints the row too.
    c.setHoveredID(node->id);
    EXPECT_TRUE(second.data(int(NodeTableModel::Role::hovered)).toBool());

    // A row the colour ranks do not know has no rank (no mark, no tint).
    NodeDTO stranger = folder("Cizí");
    model.setRows({stranger});
    EXPECT_FALSE(model.index(0, 0).data(int(NodeTableModel::Role::rank)).isValid());
    c.setHoveredID(stranger.id);
    EXPECT_TRUE(model.index(0, 0).data(int(NodeTableModel::Role::hovered)).toBool());
}

TEST_F(WindowTest, ABadgeClickOpensItsPopoverAndTheToggleChangesTheDeleteList) {
    SimWorld world;
    scanWorld(world);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    c.setShowSummary(false);
    c.loadTopFiles(ScanController::listingRowLimit);
    ListingTable& table = content().fileList(View::top).table();
    int row = -1;
    for (int r = 0; r < table.shownModel().rowCount() && row < 0; ++r)
        if (!Badge::forNode(*table.nodeAtRow(r), false).empty() &&
            table.rowsModel().toggle(r).allowed)
            row = r;
    ASSERT_GE(row, 0) << "no largest file with a badge";
    table.scrollTo(table.shownModel().index(row, 0));
    const QModelIndex index = table.shownModel().index(row, 0);
    const QRect rect = table.visualRect(index);
    const NameCell::Layout layout = table.nameCell().layoutFor(index, rect);
    ASSERT_FALSE(layout.badges.empty());
    const Badge expected = Badge::forNode(*table.nodeAtRow(row), false).front();

    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, layout.badges.front().center());
    BadgePopover& popover = table.popover();
    ASSERT_TRUE(popover.isVisible());
    EXPECT_EQ(popover.width(), 320);
    EXPECT_EQ(popover.title(), expected.title);
    EXPECT_EQ(popover.help(), expected.help);
    popover.hide();

    const std::string id = table.nodeAtRow(row)->id;
    EXPECT_EQ(table.rowsModel().toggle(row).tooltip.startsWith("Pozor: interní data aplikace "),
              table.rowsModel().toggle(row).warning);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, layout.toggle.center());
    ASSERT_EQ(c.deleteIDs(), ScanController::IDList{id});
    EXPECT_TRUE(index.data(int(NodeTableModel::Role::inDeleteList)).toBool());
    EXPECT_TRUE(table.rowsModel().toggle(row).inList);
    EXPECT_EQ(table.rowsModel().toggle(row).tooltip, "Odebrat ze seznamu ke smazání");
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, layout.toggle.center());
    EXPECT_TRUE(c.deleteIDs().empty());
}

TEST_F(WindowTest, TheDeleteToggleWarnsAboutAppDataAndRefusesAmbiguousItems) {
    SimWorld world;
    scanWorld(world);
    const auto appItem = findNode([this](const NodeDTO& n, const Item& item) {
        return !n.id.starts_with("root[") && c.appDataApp(item) && !c.trashReason(n.id);
    });
    ASSERT_TRUE(appItem) << "the world has no item in an app's internal data";
    {
        const TrashToggleButton toggle = TrashToggleButton::forNode(c, *appItem);
        const QString app = *c.appDataApp(*c.result()->get(appItem->id));
        EXPECT_TRUE(toggle.warning);
        EXPECT_TRUE(toggle.allowed);
        EXPECT_EQ(toggle.tooltip, "Pozor: interní data aplikace " + app +
                                      " – smazáním můžete aplikaci poškodit. Přidat do seznamu "
                                      "ke smazání");
    }
    const auto plain = findNode([this](const NodeDTO& n, const Item& item) {
        return n.kind == ItemKind::doc && !c.appDataApp(item) && !c.trashReason(n.id);
    });
    ASSERT_TRUE(plain);
    const TrashToggleButton allowed = TrashToggleButton::forNode(c, *plain);
    EXPECT_FALSE(allowed.warning);
    EXPECT_EQ(allowed.tooltip, "Přidat do seznamu ke smazání");
    EXPECT_STREQ(allowed.symbol(), "trash");

    const auto ambiguous =
        findNode([](const NodeDTO& n, const Item&) { return n.ambiguous && !n.dead; });
    ASSERT_TRUE(ambiguous) << "the world has no ambiguous item";
    const TrashToggleButton refused = TrashToggleButton::forNode(c, *ambiguous);
    ASSERT_TRUE(c.trashReason(ambiguous->id));
    EXPECT_FALSE(refused.allowed);
    EXPECT_FALSE(refused.enabled());
    EXPECT_STREQ(refused.symbol(), "trash.slash.fill");
    EXPECT_EQ(refused.tooltip, *c.trashReason(ambiguous->id));
}

TEST_F(WindowTest, TheRowMenuShowsWhatAppliesAndDisablesWhatCannotRunNow) {
    SimWorld world;
    scanWorld(world);
    const SummaryDTO summary = *c.summary();

    // The root: nothing above it.
    c.goHome();
    const NodeDTO root = *c.current();
    const auto rootEntries = ItemContextMenu::entries(c, root);
    EXPECT_FALSE(entry(rootEntries, "Ukázat v nadřazené složce"));
    EXPECT_TRUE(entry(rootEntries, "Otevřít složku"));
    EXPECT_EQ(shownTexts(rootEntries).back(), *c.trashReason(root.id))
        << "a root cannot be deleted; the reason stands last";

    // A cloud-only folder: loading offered, opening in the file manager not.
    const auto cloudOnly =
        findNode([](const NodeDTO& n, const Item&) { return ScanController::canHydrate(n); });
    ASSERT_TRUE(cloudOnly);
    const auto cloudEntries = ItemContextMenu::entries(c, *cloudOnly);
    EXPECT_FALSE(entry(cloudEntries, "Otevřít ve správci souborů"));
    EXPECT_TRUE(entry(cloudEntries, "Ukázat v nadřazené složce"));
    EXPECT_TRUE(entry(cloudEntries, "☁ Načíst seznam složky z iCloudu"));
    EXPECT_TRUE(entry(cloudEntries, "☁ Načíst včetně podsložek (3 úrovně)"));

    // A downloaded folder with a path: every opening entry.
    const auto local = findNode([](const NodeDTO& n, const Item&) {
        return n.isDir() && n.enumerated == std::optional<bool>(true) && n.path &&
               !n.id.starts_with("root[") && !n.ambiguous;
    });
    ASSERT_TRUE(local);
    const auto localEntries = ItemContextMenu::entries(c, *local);
    const QStringList expected{"Otevřít složku",
                               "Ukázat v nadřazené složce",
                               "Ukázat ve správci souborů",
                               "Otevřít ve správci souborů",
                               "Kopírovat cestu",
                               "—",
                               "Největší soubory v této složce",
                               "—",
                               "Přidat do seznamu ke smazání",
                               "Přesunout do Koše…"};
    if (!c.trashReason(local->id)) {
        EXPECT_EQ(shownTexts(localEntries), expected);
    }

    // A document in the largest files: its folder's largest files.
    c.loadTopFiles(ScanController::listingRowLimit);
    ASSERT_FALSE(c.topFiles().empty());
    const NodeDTO doc = c.topFiles().front();
    ASSERT_TRUE(doc.parent);
    const auto docEntries = ItemContextMenu::entries(c, doc);
    EXPECT_FALSE(entry(docEntries, "Otevřít složku"));
    EXPECT_TRUE(entry(docEntries, "Ukázat ve správci souborů")->enabled);
    entry(docEntries, "Největší soubory v této složce")->run();
    EXPECT_EQ(c.current()->id, *doc.parent);
    EXPECT_EQ(c.view(), View::top);

    // An ambiguous item: the delete entries are disabled and the reason stands below them.
    const auto ambiguous =
        findNode([](const NodeDTO& n, const Item&) { return n.ambiguous && !n.dead; });
    ASSERT_TRUE(ambiguous);
    const auto ambiguousEntries = ItemContextMenu::entries(c, *ambiguous);
    const QString reason = *c.trashReason(ambiguous->id);
    EXPECT_FALSE(entry(ambiguousEntries, "Přidat do seznamu ke smazání")->enabled);
    EXPECT_FALSE(entry(ambiguousEntries, "Přesunout do Koše…")->enabled);
    EXPECT_EQ(ambiguousEntries.back().kind, Entry::Kind::note);
    EXPECT_EQ(ambiguousEntries.back().text, reason);
    // The menu built from the entries shows the reason as a disabled line.
    QMenu* menu = ItemContextMenu::build(c, *ambiguous, &window);
    EXPECT_EQ(menu->actions().back()->text(), reason);
    EXPECT_FALSE(menu->actions().back()->isEnabled());
    delete menu;

    // On the list: the remove entry instead of the add entry.
    c.addToDeleteList(local->id);
    const auto listed = ItemContextMenu::entries(c, *local);
    if (c.deleteIDs() == ScanController::IDList{local->id}) {
        EXPECT_TRUE(entry(listed, "Odebrat ze seznamu ke smazání"));
        EXPECT_FALSE(entry(listed, "Přidat do seznamu ke smazání"));
    }

    // While the controller is busy, nothing goes to the Trash.
    c.startScan(true);
    ASSERT_TRUE(c.busy());
    for (const NodeDTO& node : {root, *local, doc})
        EXPECT_FALSE(entry(ItemContextMenu::entries(c, node), "Přesunout do Koše…")->enabled)
            << node;
    c.stop();
    ASSERT_TRUE(waitIdle(c));
}

TEST_F(WindowTest, ReturnOpensAFolderRowAndShowsAFileRowInItsFolder) {
    SimWorld world;
    scanWorld(world);
    ListingTable& table = content().folderTable().table();
    int folderRow = -1;
    for (int r = 0; r < table.shownModel().rowCount() && folderRow < 0; ++r)
        if (table.nodeAtRow(r)->isDir())
            folderRow = r;
    ASSERT_GE(folderRow, 0);
    const std::string folderID = table.nodeAtRow(folderRow)->id;
    table.setCurrentIndex(table.shownModel().index(folderRow, 0));
    EXPECT_EQ(c.selectedID(), folderID) << "the selection is the controller's";
    QTest::keyClick(&table, Qt::Key_Return);
    EXPECT_EQ(c.current()->id, folderID);

    c.goHome();
    c.loadTopFiles(ScanController::listingRowLimit);
    ListingTable& top = content().fileList(View::top).table();
    ASSERT_GT(top.shownModel().rowCount(), 0);
    const NodeDTO file = *top.nodeAtRow(0);
    top.setCurrentIndex(top.shownModel().index(0, 0));
    QTest::keyClick(&top, Qt::Key_Return);
    EXPECT_EQ(c.view(), View::tree);
    EXPECT_EQ(c.current()->id, *file.parent);
    EXPECT_EQ(c.selectedID(), file.id);
    // The folder table shows the selection the controller made.
    const QModelIndexList selected = table.selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(NodeTableModel::nodeAt(selected.front())->id, file.id);
}
