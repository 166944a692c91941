#include "FileListView.hpp"

#include "EmptyState.hpp"
#include "ListingTable.hpp"

#include <QFrame>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace tessary {

FileListView::FileListView(ScanController& c, QWidget* header, QWidget* parent)
    : QWidget(parent), m_c(c), m_table(new ListingTable(c, NodeTableModel::Layout::fileList, this)),
      m_placeholder(new EmptyState(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (header) {
        auto* padded = new QWidget(this);
        auto* box = new QVBoxLayout(padded);
        box->setContentsMargins(12, 8, 12, 8);
        box->addWidget(header);
        layout->addWidget(padded);
        auto* divider = new QFrame(this);
        divider->setFrameShape(QFrame::HLine);
        divider->setFrameShadow(QFrame::Sunken);
        layout->addWidget(divider);
    }
    auto* area = new QWidget(this);
    m_stack = new QStackedLayout(area);
    m_stack->addWidget(m_table);
    m_stack->addWidget(m_placeholder);
    layout->addWidget(area, 1);
    m_placeholder->set({}, QStringLiteral("magnifyingglass"), {});

    connect(m_table, &ListingTable::rowActivated, this, [this](const NodeDTO& node) {
        if (node.isDir())
            m_c.navigate(node.id, true);
        else
            m_c.showInParent(node.id);
    });
    updatePlaceholder();
}

void FileListView::setRows(ScanController::Rows rows) {
    if (rows != m_table->rowsModel().rows())
        m_table->rowsModel().setRows(std::move(rows));
    updatePlaceholder();
}

void FileListView::setEmptyText(const QString& text) {
    if (text != m_placeholder->title())
        m_placeholder->set(text, QStringLiteral("magnifyingglass"), {});
}

bool FileListView::showsPlaceholder() const {
    return m_stack->currentWidget() == m_placeholder;
}

void FileListView::updatePlaceholder() {
    const bool empty = m_table->rowsModel().rowCount() == 0;
    m_stack->setCurrentWidget(empty ? static_cast<QWidget*>(m_placeholder) : m_table);
}

} // namespace tessary
