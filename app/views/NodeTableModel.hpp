#pragma once

#include "TrashToggleButton.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QAbstractTableModel>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessary {

// A table of listed rows (`NodeDTO`) for the folder table and the other listings. It copies the
// rows it is given and follows from the controller what changes without new rows: colour ranks,
// the delete list, the hovered row and the containers' display names.
//
// Numbers reach the delegates through the custom roles, the display role carries the formatted
// text for plain cells and accessibility.
class NodeTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum class Layout { folder, fileList };
    enum class Column { name, qta, cloud, local, docs, change };
    enum class Role {
        id = Qt::UserRole + 1,
        qta,
        cloud,
        local,
        docs,
        // The largest `qta` among the rows, the full width of a size bar.
        maxQta,
        // The colour rank of the row, or an invalid value when it has none.
        rank,
        hovered,
        inDeleteList,
        // What the column sorts by: the name's text or the number.
        sortKey,
    };

    NodeTableModel(ScanController& c, Layout layout, QObject* parent = nullptr);

    void setRows(ScanController::Rows rows);
    [[nodiscard]] const ScanController::Rows& rows() const { return m_rows; }
    [[nodiscard]] const NodeDTO& node(int row) const { return m_rows.at(std::size_t(row)); }
    [[nodiscard]] std::optional<int> rowOf(const std::string& id) const;
    [[nodiscard]] Column column(int section) const;
    [[nodiscard]] int section(Column column) const;
    // The delete toggle of a row, computed once per row until the delete list or result changes.
    [[nodiscard]] const TrashToggleButton& toggle(int row) const;
    [[nodiscard]] ScanController& controller() const { return m_c; }
    // What the column "Změna" shows for a change: "+2,3 GB", "−120 MB", "nové", "smazané",
    // "přesunuto"; empty for none.
    [[nodiscard]] static QString changeText(const std::optional<ScanController::RowChange>& change);
    // The name a row shows (a container root shows its container's name).
    [[nodiscard]] QString displayName(const NodeDTO& node) const;

    // The row behind an index of this model or of a proxy over it; null for any other index.
    [[nodiscard]] static const NodeDTO* nodeAt(const QModelIndex& index);
    // The model behind an index, through proxies.
    [[nodiscard]] static const NodeTableModel* modelOf(const QModelIndex& index);
    [[nodiscard]] static int sourceRow(const QModelIndex& index);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

private:
    void updateRanks();
    void updateDeleteList();
    void updateHovered();
    void updateNames();
    void rowsChangedInPlace();
    [[nodiscard]] QVariant displayText(const NodeDTO& node, Column column) const;
    [[nodiscard]] QVariant sortValue(const NodeDTO& node, Column column) const;

    ScanController& m_c;
    Layout m_layout;
    ScanController::Rows m_rows;
    std::unordered_map<std::string, int> m_rowOf;
    std::vector<int> m_ranks;
    std::vector<char> m_inList;
    mutable std::vector<std::optional<TrashToggleButton>> m_toggles;
    std::unordered_map<std::string, QString> m_containerNames;
    std::int64_t m_maxQta = 0;
    int m_hoveredRow = -1;
};

} // namespace tessary
