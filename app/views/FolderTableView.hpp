#pragma once

#include <QWidget>

class QLabel;
class QStackedLayout;

namespace tessary {

class EmptyState;
class ListingTable;
class ScanController;

// The rows of the folder being browsed, sortable by every column (largest first at the start),
// with a placeholder when there are none and a line about the rows left out.
class FolderTableView : public QWidget {
    Q_OBJECT

public:
    explicit FolderTableView(ScanController& c, QWidget* parent = nullptr);

    [[nodiscard]] ListingTable& table() { return *m_table; }
    [[nodiscard]] const EmptyState& placeholder() const { return *m_placeholder; }
    [[nodiscard]] bool showsPlaceholder() const;
    // The line under the table; hidden (and empty) when no rows are left out.
    [[nodiscard]] QString moreText() const;

private:
    void update();
    void updatePlaceholder();

    ScanController& m_c;
    ListingTable* m_table;
    EmptyState* m_placeholder;
    QStackedLayout* m_stack;
    QLabel* m_more;
};

} // namespace tessary
