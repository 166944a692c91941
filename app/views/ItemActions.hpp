#pragma once

#include "TessaryCore/NodeDTO.hpp"

#include <QObject>
#include <QString>

#include <optional>

class QAction;
class QMenu;

namespace tessary {

class ScanController;

// The commands on one listed item, defined once: "Otevřít", "Ukázat ve správci souborů",
// "Kopírovat cestu", "Uvolnit z tohoto Macu…", "Přidat do seznamu ke smazání" (or "Odebrat…")
// and "Přesunout do Koše…".
// The menu bar and the row menus list these actions and the keys reach them; they act on the
// selected row of the shown listing and are enabled by the verdicts its listing carries, so no
// command reads the scanned tree while an operation runs.
class ItemActions : public QObject {
    Q_OBJECT

public:
    enum class Command { open, reveal, copyPath, evict, toggleListed, trash };
    // What a command shows for a row and whether it can run now.
    struct State {
        QString text;
        bool enabled = false;
        QString toolTip;
    };

    ItemActions(ScanController& c, QObject* owner);

    // The state of `command` for `node`, the same for the row menus and the actions.
    [[nodiscard]] static State state(ScanController& c, const NodeDTO& node, Command command);
    // Runs `command` on `node`.
    static void run(ScanController& c, const NodeDTO& node, Command command);

    [[nodiscard]] QAction* action(Command command) const;
    // The row the actions act on: the selected row of the shown listing; none without one.
    [[nodiscard]] const std::optional<NodeDTO>& row() const { return m_row; }
    // The menu "Položka" with every action.
    void fillMenu(QMenu* menu) const;

private:
    void update();
    [[nodiscard]] std::optional<NodeDTO> selectedRow() const;

    ScanController& m_c;
    std::optional<NodeDTO> m_row;
    QAction* m_open;
    QAction* m_reveal;
    QAction* m_copyPath;
    QAction* m_evict;
    QAction* m_toggleListed;
    QAction* m_trash;
};

} // namespace tessary
