#include "RowHover.hpp"

#include "NodeTableModel.hpp"

#include "TessaryApp/Palette.hpp"
#include "TessaryApp/ScanController.hpp"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace tessary {

RowHover::RowHover(ScanController& c, QAbstractItemView* view)
    : QObject(view), m_c(c), m_view(view) {
    view->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
}

bool RowHover::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const auto* move = static_cast<QMouseEvent*>(event);
            const NodeDTO* node =
                NodeTableModel::nodeAt(m_view->indexAt(move->position().toPoint()));
            enter(node ? std::optional<std::string>(node->id) : std::nullopt);
        } else if (event->type() == QEvent::Leave) {
            leave();
        }
    }
    return QObject::eventFilter(watched, event);
}

void RowHover::enter(const std::optional<std::string>& id) {
    if (id == m_id)
        return;
    leave();
    m_id = id;
    if (id)
        m_c.setHoveredID(id);
}

void RowHover::leave() {
    if (m_id && m_c.hoveredID() == m_id)
        m_c.setHoveredID(std::nullopt);
    m_id = std::nullopt;
}

void RowHover::paintBackground(QPainter& painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) {
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, &painter, widget);
    const QVariant rank = index.data(int(NodeTableModel::Role::rank));
    if (!rank.isValid() || !index.data(int(NodeTableModel::Role::hovered)).toBool())
        return;
    QColor tint = Palette::base(rank.toInt());
    tint.setAlphaF(0.22f);
    painter.fillRect(option.rect, tint);
}

} // namespace tessary
