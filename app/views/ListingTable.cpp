#include "ListingTable.hpp"

#include "BadgePopover.hpp"
#include "ItemContextMenu.hpp"
#include "NameCell.hpp"
#include "RowHover.hpp"
#include "SizeBarCell.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>

namespace tessary {

namespace {

// A plain text cell that keeps the row's hover tint.
class TextCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        RowHover::paintBackground(*painter, opt, index);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        const QRect text = opt.rect.adjusted(6, 0, -6, 0);
        painter->drawText(text, int(opt.displayAlignment),
                          opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, text.width()));
        painter->restore();
    }
};

} // namespace

ListingTable::ListingTable(ScanController& c, NodeTableModel::Layout layout, QWidget* parent)
    : QTableView(parent), m_c(c), m_model(new NodeTableModel(c, layout, this)),
      m_nameCell(new NameCell(c, this, layout == NodeTableModel::Layout::fileList)),
      m_popover(new BadgePopover(this)) {
    using Column = NodeTableModel::Column;
    if (layout == NodeTableModel::Layout::folder) {
        auto* proxy = new QSortFilterProxyModel(this);
        proxy->setSourceModel(m_model);
        proxy->setSortRole(int(NodeTableModel::Role::sortKey));
        proxy->setSortLocaleAware(true);
        proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
        setModel(proxy);
        setSortingEnabled(true);
        sortByColumn(m_model->section(Column::qta), Qt::DescendingOrder);
        // A folder larger than the listing's limit shows the first rows in the order asked
        // for, not its largest rows sorted anew: the controller picks them.
        connect(horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
                [this](int section, Qt::SortOrder) {
                    switch (m_model->column(section)) {
                    case Column::name:
                        m_c.setSortKey(SortKey::name);
                        break;
                    case Column::qta:
                        m_c.setSortKey(SortKey::qta);
                        break;
                    case Column::cloud:
                        m_c.setSortKey(SortKey::cloud);
                        break;
                    case Column::local:
                        m_c.setSortKey(SortKey::local);
                        break;
                    case Column::docs:
                    case Column::change:
                        break;
                    }
                });
        // And the header follows the controller's order when it is set elsewhere.
        connect(&c, &ScanController::sortKeyChanged, this, &ListingTable::showSortKey);
        setItemDelegateForColumn(m_model->section(Column::qta), new SizeBarCell(this));
    } else {
        setModel(m_model);
    }
    setItemDelegate(new TextCell(this));
    setItemDelegateForColumn(0, m_nameCell);
    new RowHover(c, this);

    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setShowGrid(false);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const int lines = layout == NodeTableModel::Layout::fileList ? 2 : 1;
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() * lines + 12);
    QHeaderView* header = horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int s = 1; s < m_model->columnCount(); ++s) {
        header->setSectionResizeMode(s, QHeaderView::Fixed);
        header->resizeSection(s, m_model->column(s) == Column::qta ? 150 : 110);
    }

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = indexAt(pos);
        if (const NodeDTO* node = NodeTableModel::nodeAt(index)) {
            // The menu's commands act on the selected row: the clicked one.
            selectRow(index.row());
            openMenu(*node, viewport()->mapToGlobal(pos));
        }
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const NodeDTO* node = NodeTableModel::nodeAt(index))
            emit rowActivated(*node);
    });
    connect(m_nameCell, &NameCell::badgeClicked, m_popover, &BadgePopover::open);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListingTable::sendSelection);
    connect(&c, &ScanController::selectedIDChanged, this, &ListingTable::selectFromController);
    connect(model(), &QAbstractItemModel::modelReset, this, &ListingTable::selectFromController);
}

void ListingTable::showSortKey() {
    using Column = NodeTableModel::Column;
    Column column = Column::qta;
    switch (m_c.sortKey()) {
    case SortKey::name:
        column = Column::name;
        break;
    case SortKey::cloud:
        column = Column::cloud;
        break;
    case SortKey::local:
        column = Column::local;
        break;
    case SortKey::qta:
        break;
    }
    const int section = m_model->section(column);
    if (horizontalHeader()->sortIndicatorSection() != section)
        sortByColumn(section, column == Column::name ? Qt::AscendingOrder : Qt::DescendingOrder);
}

const NodeDTO* ListingTable::nodeAtRow(int row) const {
    return NodeTableModel::nodeAt(model()->index(row, 0));
}

QMenu* ListingTable::openMenu(const NodeDTO& node, const QPoint& globalPos) {
    QMenu* menu = ItemContextMenu::build(m_c, node, this, m_itemActions);
    menu->popup(globalPos);
    return menu;
}

void ListingTable::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (const NodeDTO* node = NodeTableModel::nodeAt(currentIndex())) {
            emit rowActivated(*node);
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void ListingTable::sendSelection() {
    if (m_syncing)
        return;
    const QModelIndexList rows = selectionModel()->selectedRows();
    const NodeDTO* node = rows.isEmpty() ? nullptr : NodeTableModel::nodeAt(rows.first());
    m_c.setSelectedID(node ? std::optional<std::string>(node->id) : std::nullopt);
}

void ListingTable::selectFromController() {
    const auto id = m_c.selectedID();
    const auto row = id ? m_model->rowOf(*id) : std::nullopt;
    m_syncing = true;
    if (!row) {
        selectionModel()->clearSelection();
    } else {
        QModelIndex at = m_model->index(*row, 0);
        if (auto* proxy = qobject_cast<QSortFilterProxyModel*>(model()))
            at = proxy->mapFromSource(at);
        selectionModel()->select(at,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
        scrollTo(at);
    }
    m_syncing = false;
    viewport()->update();
}

} // namespace tessary
