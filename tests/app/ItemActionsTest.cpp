// The item commands, defined once: the menu bar's "Položka", the row menu of the selected row and
// the keys all use the same actions, enabled by the verdicts the rows carry.
#include "WindowFixture.hpp"

#include "AppActions.hpp"
#include "FolderTableView.hpp"
#include "ItemActions.hpp"
#include "ItemContextMenu.hpp"
#include "ListingTable.hpp"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

using namespace tessary;
using namespace apptest;
namespace fs = std::filesystem;

namespace {

using Command = ItemActions::Command;

QAction* menuAction(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

TEST_F(WindowTest, TheItemCommandsActOnTheSelectedRowFromTheMenuBarAndTheRowMenu) {
    LocalHome home;
    writeFile(home.drive() / "Fotky" / "a.jpg", 4000);
    writeFile(home.drive() / "zprava.txt", 1000);
    scanLocal(home);
    ItemActions& actions = *window.actions().item;
    QAction* toggle = actions.action(Command::toggleListed);
    QAction* copy = actions.action(Command::copyPath);
    QAction* reveal = actions.action(Command::reveal);
    QAction* trash = actions.action(Command::trash);
    EXPECT_EQ(toggle->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(copy->shortcut(), QKeySequence(QKeySequence::Copy));
    EXPECT_EQ(reveal->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));

    // Nothing selected: nothing to act on.
    EXPECT_FALSE(actions.row());
    EXPECT_FALSE(toggle->isEnabled());
    EXPECT_FALSE(copy->isEnabled());

    const std::string file = idOfPath(c, home.drive() / "zprava.txt");
    const std::string folder = idOfPath(c, home.drive() / "Fotky");
    c.setSelectedID(file);
    ASSERT_TRUE(actions.row());
    EXPECT_EQ(actions.row()->id, file);
    EXPECT_EQ(actions.action(Command::open)->text(), "Otevřít");
    EXPECT_EQ(toggle->text(), "Přidat do seznamu ke smazání");
    EXPECT_TRUE(toggle->isEnabled());
    EXPECT_TRUE(trash->isEnabled());

    copy->trigger();
    ASSERT_FALSE(desktop.clipboard.empty());
    EXPECT_EQ(text(desktop.clipboard.back()), (home.drive() / "zprava.txt").string());
    reveal->trigger();
    ASSERT_FALSE(desktop.shown.empty());
    EXPECT_EQ(text(desktop.shown.back()), (home.drive() / "zprava.txt").string());
    toggle->trigger();
    EXPECT_EQ(c.deleteIDs(), ScanController::IDList{file});
    EXPECT_EQ(toggle->text(), "Odebrat ze seznamu ke smazání");
    toggle->trigger();
    EXPECT_TRUE(c.deleteIDs().empty());

    // The menu bar lists the same actions.
    QMenu* itemMenu = nullptr;
    for (QAction* a : window.menuBar()->actions())
        if (a->text() == "Položka")
            itemMenu = a->menu();
    ASSERT_TRUE(itemMenu);
    EXPECT_TRUE(itemMenu->actions().contains(toggle));
    EXPECT_TRUE(itemMenu->actions().contains(copy));

    // The selected row's menu shows the shared actions (with their keys); another row's menu
    // has entries of its own for that row.
    ListingTable& table = content().folderTable().table();
    const std::vector<NodeDTO> rows = c.children();
    const auto row = [&rows](const std::string& id) {
        return *std::find_if(rows.begin(), rows.end(),
                             [&id](const NodeDTO& n) { return n.id == id; });
    };
    QMenu* menu = ItemContextMenu::build(c, row(file), &table, &actions);
    EXPECT_EQ(menuAction(menu, "Kopírovat cestu"), copy);
    delete menu;
    menu = ItemContextMenu::build(c, row(folder), &table, &actions);
    ASSERT_TRUE(menuAction(menu, "Kopírovat cestu"));
    EXPECT_NE(menuAction(menu, "Kopírovat cestu"), copy);
    delete menu;

    // "Otevřít" on a folder opens it in the window.
    c.setSelectedID(folder);
    EXPECT_EQ(actions.action(Command::open)->text(), "Otevřít složku");
    actions.action(Command::open)->trigger();
    EXPECT_EQ(c.currentID(), std::optional<std::string>(folder));
    EXPECT_FALSE(actions.row()) << "a new listing has no selection";

    // While an operation runs nothing goes to the Trash.
    c.goHome();
    c.setSelectedID(file);
    EXPECT_TRUE(trash->isEnabled());
    c.startScan(false);
    ASSERT_TRUE(c.busy());
    EXPECT_FALSE(trash->isEnabled());
    ASSERT_TRUE(waitIdle(c));
}
