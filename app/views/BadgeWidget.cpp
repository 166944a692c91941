#include "BadgeWidget.hpp"

#include "BadgePopover.hpp"

#include <QMouseEvent>
#include <QPainter>

namespace tessary {

BadgeWidget::BadgeWidget(Badge badge, QWidget* parent)
    : QWidget(parent), m_badge(std::move(badge)), m_popover(new BadgePopover(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize BadgeWidget::sizeHint() const {
    return m_badge.size(Badge::font(font()));
}

void BadgeWidget::toggleInfo() {
    if (m_popover->isVisible()) {
        m_popover->hide();
        return;
    }
    m_popover->open(m_badge, QRect(mapToGlobal(QPoint(0, 0)), size()));
}

void BadgeWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_badge.paint(painter, rect(), Badge::font(font()), m_hovering);
}

void BadgeWidget::enterEvent(QEnterEvent* event) {
    m_hovering = true;
    update();
    QWidget::enterEvent(event);
}

void BadgeWidget::leaveEvent(QEvent* event) {
    m_hovering = false;
    update();
    QWidget::leaveEvent(event);
}

void BadgeWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        toggleInfo();
}

} // namespace tessary
