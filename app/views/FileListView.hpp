#pragma once

#include "TessaryApp/ScanController.hpp"

#include <QWidget>

class QStackedLayout;

namespace tessary {

class EmptyState;
class ListingTable;

// One of the listings beside the folder: a header, a divider and a table of rows with their
// display paths, or a placeholder with `emptyText` when there are no rows.
class FileListView : public QWidget {
    Q_OBJECT

public:
    // `header` becomes a child of the view (may be null).
    FileListView(ScanController& c, QWidget* header, QWidget* parent = nullptr);

    void setRows(ScanController::Rows rows);
    void setEmptyText(const QString& text);
    [[nodiscard]] ListingTable& table() { return *m_table; }
    [[nodiscard]] const EmptyState& placeholder() const { return *m_placeholder; }
    [[nodiscard]] bool showsPlaceholder() const;

private:
    void updatePlaceholder();

    ScanController& m_c;
    ListingTable* m_table;
    EmptyState* m_placeholder;
    QStackedLayout* m_stack;
};

} // namespace tessary
