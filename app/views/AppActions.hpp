#pragma once

#include <QKeySequence>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace tessary {

class ItemActions;

class ScanController;

// Every command of the menus, defined once and reused by the toolbar and the context menus.
// Each action's enabled state follows the controller.
class AppActions : public QObject {
    Q_OBJECT

public:
    AppActions(ScanController& c, QObject* owner);

    // The menus "Sken", "Položka" and "Nápověda" with these actions, in their order.
    void fillMenuBar(QMenuBar* bar);

    // The shortcut of `compare`, also named by texts that point to it.
    [[nodiscard]] static QKeySequence compareKeys();
    // A shortcut in the platform's own notation: "Ctrl+R" on Linux, "⌘R" on a Mac.
    [[nodiscard]] static QString keysText(const QKeySequence& keys);

    QAction* scanFolder;
    QAction* openDump;
    QAction* iCloudDrive;
    QAction* compare;
    QAction* refresh;
    QAction* stop;
    QAction* summary;
    QAction* home;
    QAction* parent;
    QAction* topFiles;
    QAction* exportJSON;
    QAction* exportCSV;
    QAction* fullDiskAccess;
    QAction* website;
    QAction* support;
    QAction* privacy;
    QAction* quit;
    // The commands on the selected row.
    ItemActions* item;

    // The menu "Nedávné": the sources scanned recently, a missing one marked and disabled.
    void fillRecent(QMenu* menu);

private:
    void updateEnabled();

    ScanController& m_c;
};

} // namespace tessary
