#pragma once

#include "NodeTableModel.hpp"

#include <QTableView>

namespace tessary {

class ItemActions;

class BadgePopover;
class NameCell;
class ScanController;

// The table both listings are made of: rows of a `NodeTableModel` (through `proxy` when the
// table sorts), the name delegate with its badge popover, the size delegates, the row hover and
// the row menu. Selection follows the controller's `selectedID` both ways; the primary action
// (double click or Return) is left to the owner through `activated`.
class ListingTable : public QTableView {
    Q_OBJECT

public:
    ListingTable(ScanController& c, NodeTableModel::Layout layout, QWidget* parent = nullptr);

    [[nodiscard]] NodeTableModel& rowsModel() { return *m_model; }
    [[nodiscard]] QAbstractItemModel& shownModel() const { return *model(); }
    [[nodiscard]] NameCell& nameCell() { return *m_nameCell; }
    [[nodiscard]] BadgePopover& popover() { return *m_popover; }
    // The row shown at view position `row` (after sorting).
    [[nodiscard]] const NodeDTO* nodeAtRow(int row) const;
    // Opens the row menu of the row with `id` at `globalPos` (also what a right click does).
    QMenu* openMenu(const NodeDTO& node, const QPoint& globalPos);
    // The shared item actions the row menu lists; null: the menu makes its own entries.
    void setItemActions(const ItemActions* actions) { m_itemActions = actions; }

signals:
    void rowActivated(const tessary::NodeDTO& node);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void selectFromController();
    // Shows the controller's sortKey as the header's sort column.
    void showSortKey();
    void sendSelection();

    ScanController& m_c;
    NodeTableModel* m_model;
    NameCell* m_nameCell;
    BadgePopover* m_popover;
    const ItemActions* m_itemActions = nullptr;
    bool m_syncing = false;
};

} // namespace tessary
