#include "ItemContextMenu.hpp"

#include "ItemActions.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QCoreApplication>
#include <QMenu>

namespace tessary {

namespace {

using Entry = ItemContextMenu::Entry;
using Command = ItemActions::Command;

QString tr(const char* text) {
    return QCoreApplication::translate("ItemContextMenu", text);
}

Entry action(const QString& text, std::function<void()> run, bool enabled = true) {
    return {Entry::Kind::action, text, enabled, std::move(run), std::nullopt};
}

// An entry of one of the item commands, as the shared action shows it for this row.
Entry command(ScanController& c, const NodeDTO& node, Command which) {
    const ItemActions::State state = ItemActions::state(c, node, which);
    return {Entry::Kind::action, state.text, state.enabled,
            [&c, node, which] { ItemActions::run(c, node, which); }, which};
}

Entry separator() {
    return {Entry::Kind::separator, {}, false, {}, std::nullopt};
}

} // namespace

std::vector<Entry> ItemContextMenu::entries(ScanController& c, const NodeDTO& node) {
    const std::string id = node.id;
    std::vector<Entry> list;
    if (node.isDir())
        list.push_back(command(c, node, Command::open));
    if (c.parentID(id))
        list.push_back(action(tr("Ukázat v nadřazené složce"), [&c, id] { c.showInParent(id); }));
    list.push_back(command(c, node, Command::reveal));
#ifdef __APPLE__
    const QString open = tr("Otevřít ve Finderu");
#else
    const QString open = tr("Otevřít ve správci souborů");
#endif
    if (node.isDir() && node.enumerated != std::optional<bool>(false) && node.path)
        list.push_back(action(open, [&c, id] { c.openInFinder(id); }));
    list.push_back(command(c, node, Command::copyPath));
    if (ScanController::canHydrate(node)) {
        list.push_back(separator());
        list.push_back(
            action(tr("☁ Načíst seznam složky z iCloudu"), [&c, id] { c.startHydrate(id, 1); }));
        list.push_back(action(tr("☁ Načíst včetně podsložek (3 úrovně)"),
                              [&c, id] { c.startHydrate(id, 3); }));
    }
    list.push_back(separator());
    list.push_back(command(c, node, Command::evict));
    if (const std::optional<QString> reason = c.evictVerdict(id))
        list.push_back({Entry::Kind::note, *reason, false, {}, std::nullopt});
    list.push_back(separator());
    const std::string target = node.isDir() ? id : node.parent.value_or(id);
    list.push_back(action(tr("Největší soubory v této složce"), [&c, target] {
        c.navigate(target, true);
        c.loadTopFiles(ScanController::listingRowLimit);
    }));
    list.push_back(separator());
    list.push_back(command(c, node, Command::toggleListed));
    list.push_back(command(c, node, Command::trash));
    if (const std::optional<QString> reason = c.trashVerdict(id).reason)
        list.push_back({Entry::Kind::note, *reason, false, {}, std::nullopt});
    return list;
}

QMenu* ItemContextMenu::build(ScanController& c, const NodeDTO& node, QWidget* parent,
                              const ItemActions* shared) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The shared actions act on the selected row: they stand in the menu of that row only.
    const bool useShared = shared && shared->row() && shared->row()->id == node.id;
    for (const Entry& entry : entries(c, node)) {
        switch (entry.kind) {
        case Entry::Kind::separator:
            menu->addSeparator();
            break;
        case Entry::Kind::note:
            menu->addAction(entry.text)->setEnabled(false);
            break;
        case Entry::Kind::action: {
            if (useShared && entry.command) {
                menu->addAction(shared->action(*entry.command));
                break;
            }
            QAction* a = menu->addAction(entry.text);
            a->setEnabled(entry.enabled);
            QObject::connect(a, &QAction::triggered, menu, entry.run);
            break;
        }
        }
    }
    return menu;
}

} // namespace tessary
