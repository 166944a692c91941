#include "EmptyState.hpp"

#include "Icons.hpp"
#include "Tints.hpp"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace tessary {

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent), m_icon(new QLabel(this)), m_title(new QLabel(this)),
      m_description(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    for (QLabel* label : {m_icon, m_title, m_description}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 1.35);
    big.setBold(true);
    m_title->setFont(big);
    m_description->setWordWrap(true);
    m_description->setFixedWidth(descriptionWidth);
    layout->setAlignment(m_description, Qt::AlignHCenter);
}

void EmptyState::set(const QString& title, const QString& symbol, const QString& description) {
    m_titleText = title;
    m_symbol = symbol;
    m_descriptionText = description;
    m_title->setText(title);
    m_description->setText(description);
    // A wrapped label in a centred column gets the height of one line otherwise.
    m_description->setFixedHeight(
        m_description->fontMetrics()
            .boundingRect(QRect(0, 0, descriptionWidth, 10000), Qt::TextWordWrap, description)
            .height());
    m_description->setVisible(!description.isEmpty());
    updateIcon();
}

void EmptyState::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateIcon();
}

void EmptyState::updateIcon() {
    m_icon->setVisible(!m_symbol.isEmpty());
    if (!m_symbol.isEmpty())
        m_icon->setPixmap(
            Icons::tinted(m_symbol.toStdString(), Tints::secondary(), 44, devicePixelRatioF()));
}

} // namespace tessary
