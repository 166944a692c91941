#include "BadgePopover.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace tessary {

BadgePopover::BadgePopover(QWidget* parent)
    : QFrame(parent, Qt::Popup), m_title(new QLabel(this)), m_help(new QLabel(this)) {
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(fixedWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_title->setWordWrap(true);
    m_help->setWordWrap(true);
    m_help->setTextFormat(Qt::PlainText);
    m_title->setTextFormat(Qt::PlainText);
    layout->addWidget(m_title);
    layout->addWidget(m_help);
}

void BadgePopover::open(const Badge& badge, const QRect& anchor) {
    m_title->setText(badge.title);
    m_help->setText(badge.help);
    adjustSize();
    QPoint at(anchor.left(), anchor.bottom() + 4);
    if (const QScreen* screen = QGuiApplication::screenAt(anchor.center())) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - fixedWidth)));
        if (at.y() + height() > area.bottom())
            at.setY(std::max(area.top(), anchor.top() - height() - 4));
    }
    move(at);
    show();
}

QString BadgePopover::title() const {
    return m_title->text();
}

QString BadgePopover::help() const {
    return m_help->text();
}

} // namespace tessary
