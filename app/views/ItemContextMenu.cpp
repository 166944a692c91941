#include "ItemContextMenu.hpp"

#include "TessaryApp/ScanController.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <QCoreApplication>
#include <QMenu>

#include <algorithm>

namespace tessary {

namespace {

using Entry = ItemContextMenu::Entry;

QString tr(const char* text) {
    return QCoreApplication::translate("ItemContextMenu", text);
}

Entry action(const QString& text, std::function<void()> run, bool enabled = true) {
    return {Entry::Kind::action, text, enabled, std::move(run)};
}

Entry separator() {
    return {Entry::Kind::separator, {}, false, {}};
}

// The row's parent: its own `parent` when the listing set one, else the parent of the item in
// the result; none when that item is not in the result.
std::optional<std::string> parentOf(const ScanResult* result, const NodeDTO& node) {
    std::string parent = node.parent.value_or(std::string());
    if (parent.empty() && result)
        if (const Item* item = result->get(node.id))
            parent = std::string(item->parent());
    if (parent.empty() || !result || !result->get(parent))
        return std::nullopt;
    return parent;
}

} // namespace

std::vector<Entry> ItemContextMenu::entries(ScanController& c, const NodeDTO& node) {
    const std::string id = node.id;
    const auto result = c.result();
    const bool hasLocalPath = c.localPath(id).has_value();
    std::vector<Entry> list;
    if (node.isDir())
        list.push_back(action(tr("Otevřít složku"), [&c, id] { c.navigate(id, true); }));
    if (parentOf(result.get(), node))
        list.push_back(action(tr("Ukázat v nadřazené složce"), [&c, id] { c.showInParent(id); }));
#ifdef __APPLE__
    const QString reveal = tr("Ukázat ve Finderu");
    const QString open = tr("Otevřít ve Finderu");
#else
    const QString reveal = tr("Ukázat ve správci souborů");
    const QString open = tr("Otevřít ve správci souborů");
#endif
    list.push_back(action(
        reveal, [&c, id] { c.revealInFinder(id); }, hasLocalPath));
    if (node.isDir() && node.enumerated != std::optional<bool>(false) && node.path)
        list.push_back(action(open, [&c, id] { c.openInFinder(id); }));
    list.push_back(action(
        tr("Kopírovat cestu"), [&c, id] { c.copyPath(id); }, hasLocalPath));
    if (ScanController::canHydrate(node)) {
        list.push_back(separator());
        list.push_back(
            action(tr("☁ Načíst seznam složky z iCloudu"), [&c, id] { c.startHydrate(id, 1); }));
        list.push_back(action(tr("☁ Načíst včetně podsložek (3 úrovně)"),
                              [&c, id] { c.startHydrate(id, 3); }));
    }
    list.push_back(separator());
    const std::string target = node.isDir() ? id : node.parent.value_or(id);
    list.push_back(action(tr("Největší soubory v této složce"), [&c, target] {
        c.navigate(target, true);
        c.loadTopFiles(ScanController::listingRowLimit);
    }));
    list.push_back(separator());
    const auto ids = c.deleteIDs();
    const std::optional<QString> reason = c.trashReason(id);
    if (std::find(ids.begin(), ids.end(), id) != ids.end())
        list.push_back(
            action(tr("Odebrat ze seznamu ke smazání"), [&c, id] { c.removeFromDeleteList(id); }));
    else
        list.push_back(action(
            tr("Přidat do seznamu ke smazání"), [&c, id] { c.addToDeleteList(id); }, !reason));
    list.push_back(action(
        tr("Přesunout do Koše…"), [&c, id] { c.confirmAndTrash({id}); }, !reason && !c.busy()));
    if (reason)
        list.push_back({Entry::Kind::note, *reason, false, {}});
    return list;
}

QMenu* ItemContextMenu::build(ScanController& c, const NodeDTO& node, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Entry& entry : entries(c, node)) {
        switch (entry.kind) {
        case Entry::Kind::separator:
            menu->addSeparator();
            break;
        case Entry::Kind::note:
            menu->addAction(entry.text)->setEnabled(false);
            break;
        case Entry::Kind::action: {
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
