#include "SummaryOverlay.hpp"

#include "Fader.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

namespace tessary {

SummaryOverlay::SummaryOverlay(ScanController& c, QWidget* host)
    : QWidget(host), m_c(c), m_host(host), m_fader(new Fader(this, fadeMs, QEasingCurve::OutCubic)),
      m_escape(new QShortcut(QKeySequence(Qt::Key_Escape), host)) {
    host->installEventFilter(this);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, [this] { m_c.setShowSummary(false); });
    connect(&c, &ScanController::showSummaryChanged, this, &SummaryOverlay::update);
    update();
}

bool SummaryOverlay::isShowing() const {
    return m_fader->isShowing();
}

void SummaryOverlay::setCard(QWidget* card) {
    if (m_card == card)
        return;
    delete m_card;
    m_card = card;
    if (card) {
        card->setParent(this);
        card->setVisible(m_fader->isShowing());
    }
    place();
}

void SummaryOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, static_cast<int>(96 * m_fader->opacity())));
}

void SummaryOverlay::mousePressEvent(QMouseEvent* event) {
    if (!m_card || !m_card->geometry().contains(event->position().toPoint()))
        m_c.setShowSummary(false);
}

bool SummaryOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_host && event->type() == QEvent::Resize)
        place();
    return QWidget::eventFilter(watched, event);
}

void SummaryOverlay::place() {
    setGeometry(m_host->rect());
    if (m_card) {
        const QSize size = m_card->sizeHint().boundedTo(this->size() - QSize(40, 40));
        m_card->setGeometry(
            QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
    }
    raise();
}

void SummaryOverlay::update() {
    const bool show = m_c.showSummary();
    if (show)
        place();
    // The card is live widgets and cannot fade without a graphics effect: it comes and goes at
    // once while the dimmed layer fades.
    if (m_card) {
        m_card->setVisible(show);
        if (show)
            m_card->setFocus();
    }
    m_escape->setEnabled(show);
    m_fader->fade(show);
}

} // namespace tessary
