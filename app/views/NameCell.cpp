#include "NameCell.hpp"
#include "TessaryApp/Fmt.hpp"

#include "Icons.hpp"
#include "NodeTableModel.hpp"
#include "RowHover.hpp"
#include "Tints.hpp"

#include "TessaryApp/Palette.hpp"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace tessary {

namespace {

QString optionalText(const std::optional<std::string>& s) {
    return s ? Fmt::text(*s) : QString();
}

constexpr int padding = 4;
constexpr int gap = 6;
constexpr int markWidth = 4;
constexpr int badgeGap = 4;

QRect centeredRow(int x, int width, int height, int centerY) {
    return {x, centerY - height / 2, width, height};
}

} // namespace

NameCell::Layout NameCell::layout(const QRect& cell, bool hasMark, int nameWidth,
                                  const std::vector<QSize>& badgeSizes, bool showPath,
                                  int lineHeight) {
    Layout l;
    const int firstLineY = showPath ? cell.top() + 3 + lineHeight / 2 : cell.center().y();
    int x = cell.left() + padding;
    if (hasMark)
        l.mark = QRect(x, cell.center().y() - 7, markWidth, 14);
    x += markWidth + gap;
    l.toggle = centeredRow(x, toggleSize, toggleSize, firstLineY);
    x += toggleSize + gap;
    l.icon = centeredRow(x, iconSize, iconSize, firstLineY);
    x += iconSize + gap;

    int badgesWidth = 0;
    for (const QSize& size : badgeSizes)
        badgesWidth += size.width() + badgeGap;
    const int available = std::max(0, cell.right() - padding - x + 1);
    const int nameRoom = std::max(0, available - badgesWidth);
    l.name = centeredRow(x, std::min(nameWidth, nameRoom), lineHeight, firstLineY);
    if (showPath)
        l.path = QRect(x, l.name.bottom() + 1, available, lineHeight);
    int bx = l.name.right() + 1 + badgeGap;
    for (const QSize& size : badgeSizes) {
        l.badges.push_back(centeredRow(bx, size.width(), size.height(), firstLineY));
        bx += size.width() + badgeGap;
    }
    return l;
}

NameCell::Icon NameCell::icon(const NodeDTO& node) {
    switch (node.kind) {
    case ItemKind::dir:
        if (node.enumerated == std::optional<bool>(false))
            return {"icloud", Tints::blue()};
        return {"folder.fill", Tints::cyan()};
    case ItemKind::symlink:
        return {"link", Tints::secondary()};
    case ItemKind::doc:
        break;
    }
    if (node.dataless == std::optional<bool>(true))
        return {"icloud", Tints::blue()};
    return {"doc.fill", Tints::secondary()};
}

QString NameCell::displayName(const NodeDTO& node, const std::optional<SummaryDTO>& summary) {
    if (summary && node.id.starts_with("root["))
        for (const ContainerDTO& container : summary->containers)
            if (container.root == node.id)
                return QString::fromStdString(container.display);
    return QString::fromStdString(node.name);
}

NameCell::NameCell(ScanController& c, QAbstractItemView* view, bool showPath)
    : QStyledItemDelegate(view), m_c(c), m_view(view), m_showPath(showPath) {
    view->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
}

QFont NameCell::nameFont() const {
    return m_view->font();
}

std::vector<Badge> NameCell::badgesOf(const QModelIndex& index) const {
    const NodeDTO* node = NodeTableModel::nodeAt(index);
    if (!node)
        return {};
    return Badge::forNode(*node, index.data(int(NodeTableModel::Role::inDeleteList)).toBool());
}

NameCell::Layout NameCell::layoutFor(const QModelIndex& index, const QRect& rect) const {
    const QFont font = nameFont();
    const QFontMetrics metrics(font);
    const QFont small = Badge::font(font);
    std::vector<QSize> sizes;
    for (const Badge& badge : badgesOf(index))
        sizes.push_back(badge.size(small));
    // A few pixels over the advance: elidedText shortens a text that fits its advance exactly.
    const int nameWidth = metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 4;
    return layout(rect, index.data(int(NodeTableModel::Role::rank)).isValid(), nameWidth, sizes,
                  m_showPath, metrics.height());
}

NameCell::Part NameCell::partAt(const QModelIndex& index, const QRect& rect,
                                const QPoint& point) const {
    const Layout l = layoutFor(index, rect);
    Part part;
    part.toggle = l.toggle.contains(point);
    for (std::size_t i = 0; i < l.badges.size(); ++i)
        if (l.badges[i].contains(point))
            part.badge = static_cast<int>(i);
    return part;
}

void NameCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const {
    const NodeDTO* node = NodeTableModel::nodeAt(index);
    const NodeTableModel* model = NodeTableModel::modelOf(index);
    if (!node || !model)
        return;
    RowHover::paintBackground(*painter, option, index);
    const Layout l = layoutFor(index, option.rect);
    const bool hoverHere = m_hoverIndex.isValid() && m_hoverIndex == index;
    painter->save();
    if (!l.mark.isEmpty()) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(Palette::base(index.data(int(NodeTableModel::Role::rank)).toInt()));
        painter->drawRoundedRect(QRectF(l.mark), 2, 2);
    }
    model->toggle(NodeTableModel::sourceRow(index))
        .paint(*painter, l.toggle, hoverHere && m_hoverPart.toggle);
    const Icon ic = icon(*node);
    painter->drawPixmap(l.icon, Icons::tinted(ic.symbol, ic.color, iconSize,
                                              painter->device()->devicePixelRatioF()));

    const bool selected = option.state & QStyle::State_Selected;
    const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QFont font = nameFont();
    painter->setFont(font);
    painter->setPen(text);
    const QFontMetrics metrics(font);
    painter->drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle,
                                         l.name.width()));
    if (m_showPath) {
        const QFont small = Badge::font(font);
        painter->setFont(small);
        painter->setPen(Tints::withAlpha(text, 0.55));
        painter->drawText(l.path, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(small).elidedText(optionalText(node->dpath), Qt::ElideMiddle,
                                                         l.path.width()));
    }
    const std::vector<Badge> badges = badgesOf(index);
    const QFont small = Badge::font(font);
    for (std::size_t i = 0; i < badges.size(); ++i)
        badges[i].paint(*painter, l.badges[i], small,
                        hoverHere && m_hoverPart.badge == static_cast<int>(i));
    painter->restore();
}

QSize NameCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QFontMetrics metrics(nameFont());
    const int lines = m_showPath ? 2 : 1;
    const int width = metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 80;
    Q_UNUSED(option);
    return {width, lines * metrics.height() + 10};
}

bool NameCell::editorEvent(QEvent* event, QAbstractItemModel* model,
                           const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const Part part = partAt(index, option.rect, mouse->position().toPoint());
    if (!part.toggle && part.badge < 0)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    // The toggle and the badges take their clicks; the row is not selected or opened by them.
    if (type != QEvent::MouseButtonRelease || mouse->button() != Qt::LeftButton)
        return true;
    const NodeTableModel* source = NodeTableModel::modelOf(index);
    if (part.toggle) {
        const TrashToggleButton& toggle = source->toggle(NodeTableModel::sourceRow(index));
        if (toggle.enabled() && toggle.action) {
            // The action changes the delete list, which rebuilds the cached toggle.
            const auto action = toggle.action;
            action();
        }
        return true;
    }
    const std::vector<Badge> badges = badgesOf(index);
    const QRect local = layoutFor(index, option.rect).badges.at(std::size_t(part.badge));
    const QRect anchor(m_view->viewport()->mapToGlobal(local.topLeft()), local.size());
    emit badgeClicked(badges.at(std::size_t(part.badge)), anchor);
    return true;
}

bool NameCell::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                         const QStyleOptionViewItem& option, const QModelIndex& index) {
    const Part part = partAt(index, option.rect, event->pos());
    const NodeTableModel* source = NodeTableModel::modelOf(index);
    if (part.toggle && source) {
        QToolTip::showText(event->globalPos(),
                           source->toggle(NodeTableModel::sourceRow(index)).tooltip, view,
                           option.rect);
        return true;
    }
    if (part.badge >= 0)
        return true;
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

bool NameCell::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_view->viewport())
        return QStyledItemDelegate::eventFilter(watched, event);
    QPersistentModelIndex index;
    Part part;
    if (event->type() == QEvent::MouseMove) {
        const QPoint point = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QModelIndex at = m_view->indexAt(point);
        if (at.isValid() && m_view->itemDelegateForIndex(at) == this) {
            index = at;
            part = partAt(at, m_view->visualRect(at), point);
        }
    } else if (event->type() != QEvent::Leave) {
        return QStyledItemDelegate::eventFilter(watched, event);
    }
    if (index != m_hoverIndex || !(part == m_hoverPart)) {
        for (const QPersistentModelIndex& changed : {m_hoverIndex, index})
            if (changed.isValid())
                m_view->viewport()->update(m_view->visualRect(changed));
        m_hoverIndex = index;
        m_hoverPart = part;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

} // namespace tessary
