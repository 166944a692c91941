#pragma once

#include "ItemActions.hpp"

#include "TessaryCore/NodeDTO.hpp"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QMenu;
class QWidget;

namespace tessary {

class ScanController;

// The menu of a listed row: open, show, copy, load from iCloud, largest files, and the delete
// list and Trash (never first). The entries are built from the controller's state when the menu
// opens; an entry that does not apply is left out, one that applies but cannot run now is shown
// disabled, and the reason an item cannot be deleted stands below as plain text.
class ItemContextMenu {
public:
    struct Entry {
        enum class Kind { action, separator, note };
        Kind kind = Kind::action;
        QString text;
        bool enabled = true;
        std::function<void()> run;
        // The item command the entry runs, whose shared action can stand for it.
        std::optional<ItemActions::Command> command;
    };

    ItemContextMenu() = delete;

    // `c` must outlive the entries' actions.
    [[nodiscard]] static std::vector<Entry> entries(ScanController& c, const NodeDTO& node);
    // A menu of the entries, deleted when it closes. For the selected row the item commands are
    // the `shared` actions (with their keys shown).
    [[nodiscard]] static QMenu* build(ScanController& c, const NodeDTO& node, QWidget* parent,
                                      const ItemActions* shared = nullptr);
};

} // namespace tessary
