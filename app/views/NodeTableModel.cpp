#include "NodeTableModel.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QAbstractProxyModel>

#include <algorithm>
#include <array>
#include <unordered_set>

namespace tessary {

namespace {

constexpr std::array folderColumns{NodeTableModel::Column::name,  NodeTableModel::Column::qta,
                                   NodeTableModel::Column::cloud, NodeTableModel::Column::local,
                                   NodeTableModel::Column::docs,  NodeTableModel::Column::change};
constexpr std::array fileListColumns{NodeTableModel::Column::name, NodeTableModel::Column::qta,
                                     NodeTableModel::Column::local, NodeTableModel::Column::change};

} // namespace

NodeTableModel::NodeTableModel(ScanController& c, Layout layout, QObject* parent)
    : QAbstractTableModel(parent), m_c(c), m_layout(layout) {
    connect(&c, &ScanController::colorRankChanged, this, &NodeTableModel::updateRanks);
    connect(&c, &ScanController::deleteIDsChanged, this, &NodeTableModel::updateDeleteList);
    connect(&c, &ScanController::resultChanged, this, &NodeTableModel::updateDeleteList);
    connect(&c, &ScanController::busyChanged, this, &NodeTableModel::updateDeleteList);
    connect(&c, &ScanController::hoveredIDChanged, this, &NodeTableModel::updateHovered);
    connect(&c, &ScanController::summaryChanged, this, &NodeTableModel::updateNames);
    // Another earlier scan to compare with changes the column "Změna" of the same rows.
    connect(&c, &ScanController::comparedScanChanged, this, &NodeTableModel::rowsChangedInPlace);
    updateNames();
}

void NodeTableModel::setRows(ScanController::Rows rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_rowOf.clear();
    m_rowOf.reserve(m_rows.size());
    m_maxQta = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        m_rowOf.emplace(m_rows[i].id, static_cast<int>(i));
        m_maxQta = std::max(m_maxQta, m_rows[i].qta);
    }
    m_ranks.assign(m_rows.size(), -1);
    m_inList.assign(m_rows.size(), 0);
    m_toggles.assign(m_rows.size(), std::nullopt);
    m_hoveredRow = -1;
    endResetModel();
    // The states below come from the controller; they signal nothing while the model resets.
    const QSignalBlocker quiet(this);
    updateRanks();
    updateDeleteList();
    updateHovered();
}

std::optional<int> NodeTableModel::rowOf(const std::string& id) const {
    const auto found = m_rowOf.find(id);
    return found == m_rowOf.end() ? std::nullopt : std::optional<int>(found->second);
}

NodeTableModel::Column NodeTableModel::column(int section) const {
    if (m_layout == Layout::folder)
        return folderColumns.at(std::size_t(section));
    return fileListColumns.at(std::size_t(section));
}

int NodeTableModel::section(Column wanted) const {
    for (int s = 0; s < columnCount(); ++s)
        if (column(s) == wanted)
            return s;
    return -1;
}

const TrashToggleButton& NodeTableModel::toggle(int row) const {
    auto& cached = m_toggles.at(std::size_t(row));
    if (!cached)
        cached = TrashToggleButton::forNode(m_c, node(row));
    return *cached;
}

QString NodeTableModel::displayName(const NodeDTO& node) const {
    if (node.id.starts_with("root[")) {
        if (const auto found = m_containerNames.find(node.id); found != m_containerNames.end())
            return found->second;
    }
    return Fmt::text(node.name);
}

const NodeTableModel* NodeTableModel::modelOf(const QModelIndex& index) {
    const QAbstractItemModel* model = index.model();
    while (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(model))
        model = proxy->sourceModel();
    return qobject_cast<const NodeTableModel*>(model);
}

int NodeTableModel::sourceRow(const QModelIndex& index) {
    QModelIndex at = index;
    while (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(at.model()))
        at = proxy->mapToSource(at);
    return at.row();
}

const NodeDTO* NodeTableModel::nodeAt(const QModelIndex& index) {
    const NodeTableModel* model = modelOf(index);
    const int row = sourceRow(index);
    if (!model || row < 0 || row >= model->rowCount())
        return nullptr;
    return &model->node(row);
}

int NodeTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int NodeTableModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return m_layout == Layout::folder ? int(folderColumns.size()) : int(fileListColumns.size());
}

QVariant NodeTableModel::displayText(const NodeDTO& node, Column column) const {
    switch (column) {
    case Column::name:
        return displayName(node);
    case Column::qta:
        return Fmt::size(node.qta);
    case Column::cloud:
        return Fmt::size(node.cloud);
    case Column::local:
        return Fmt::size(node.local);
    case Column::docs:
        return Fmt::integer(node.docs);
    case Column::change:
        return changeText(m_c.rowChange(node.id));
    }
    return {};
}

QString NodeTableModel::changeText(const std::optional<ScanController::RowChange>& change) {
    if (!change)
        return {};
    switch (change->kind) {
    case ScanComparison::Kind::added:
        return tr("nové");
    case ScanComparison::Kind::removed:
        return tr("smazané");
    case ScanComparison::Kind::moved:
        if (change->delta == 0)
            return tr("přesunuto");
        break;
    case ScanComparison::Kind::grown:
    case ScanComparison::Kind::shrunk:
    case ScanComparison::Kind::other:
        break;
    }
    return change->delta == 0 ? QString() : Fmt::signedSize(change->delta);
}

QVariant NodeTableModel::sortValue(const NodeDTO& node, Column column) const {
    switch (column) {
    case Column::name:
        return displayName(node);
    case Column::qta:
        return qlonglong(node.qta);
    case Column::cloud:
        return qlonglong(node.cloud);
    case Column::local:
        return qlonglong(node.local);
    case Column::docs:
        return qlonglong(node.docs);
    case Column::change: {
        const auto change = m_c.rowChange(node.id);
        return qlonglong(change ? change->delta : 0);
    }
    }
    return {};
}

QVariant NodeTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const std::size_t row = std::size_t(index.row());
    const NodeDTO& n = m_rows[row];
    const Column col = column(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return displayText(n, col);
    case Qt::TextAlignmentRole:
        return col == Column::name ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    default:
        break;
    }
    switch (static_cast<Role>(role)) {
    case Role::id:
        return Fmt::text(n.id);
    case Role::qta:
        return qlonglong(n.qta);
    case Role::cloud:
        return qlonglong(n.cloud);
    case Role::local:
        return qlonglong(n.local);
    case Role::docs:
        return qlonglong(n.docs);
    case Role::maxQta:
        return qlonglong(m_maxQta);
    case Role::rank:
        return m_ranks[row] < 0 ? QVariant() : QVariant(m_ranks[row]);
    case Role::hovered:
        return index.row() == m_hoveredRow;
    case Role::inDeleteList:
        return m_inList[row] != 0;
    case Role::sortKey:
        return sortValue(n, col);
    }
    return {};
}

QVariant NodeTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return column(section) == Column::name ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                               : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (column(section)) {
    case Column::name:
        return tr("Název");
    case Column::qta:
        return tr("V iCloudu");
    case Column::cloud:
        return tr("Jen v cloudu ☁");
    case Column::local:
        return tr("Na disku");
    case Column::docs:
        return tr("Souborů");
    case Column::change:
        return tr("Změna");
    }
    return {};
}

void NodeTableModel::rowsChangedInPlace() {
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void NodeTableModel::updateRanks() {
    const ScanController::ColorRanks ranks = m_c.colorRank();
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const auto found = ranks.find(m_rows[i].id);
        m_ranks[i] = found == ranks.end() ? -1 : found->second;
    }
    rowsChangedInPlace();
}

void NodeTableModel::updateDeleteList() {
    const ScanController::IDList ids = m_c.deleteIDs();
    const std::unordered_set<std::string> listed(ids.begin(), ids.end());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_inList[i] = listed.contains(m_rows[i].id) ? 1 : 0;
    m_toggles.assign(m_rows.size(), std::nullopt);
    rowsChangedInPlace();
}

void NodeTableModel::updateHovered() {
    const auto id = m_c.hoveredID();
    const int old = m_hoveredRow;
    m_hoveredRow = id ? rowOf(*id).value_or(-1) : -1;
    if (old == m_hoveredRow)
        return;
    for (const int row : {old, m_hoveredRow})
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void NodeTableModel::updateNames() {
    m_containerNames.clear();
    if (const auto summary = m_c.summary())
        for (const ContainerDTO& container : summary->containers)
            m_containerNames.emplace(container.root, Fmt::text(container.display));
    rowsChangedInPlace();
}

} // namespace tessary
