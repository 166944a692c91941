#include "ToastOverlay.hpp"

#include "Fader.hpp"
#include "Tints.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tessary {

namespace {

// Room around the box for its shadow, and inside the box around the text.
constexpr QMargins shadowMargins(16, 12, 16, 16);
constexpr QMargins textMargins(18, 10, 18, 10);
constexpr double radius = 10;
constexpr int tallest = 100000;
constexpr int textFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;

} // namespace

ToastOverlay::ToastOverlay(ScanController& c, QWidget* host)
    : QWidget(host), m_c(c), m_host(host), m_fader(new Fader(this, fadeMs)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    host->installEventFilter(this);
    connect(&c, &ScanController::toastChanged, this, &ToastOverlay::update);
    update();
}

QString ToastOverlay::text() const {
    return isShowing() ? m_text : QString();
}

bool ToastOverlay::isShowing() const {
    return m_fader->isShowing();
}

QRect ToastOverlay::boxRect() const {
    return rect() - shadowMargins;
}

QRect ToastOverlay::textRect() const {
    return boxRect() - textMargins;
}

QSize ToastOverlay::neededTextSize() const {
    return fontMetrics()
        .boundingRect(QRect(0, 0, textRect().width(), tallest), textFlags, m_text)
        .size();
}

bool ToastOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_host && event->type() == QEvent::Resize && isVisible())
        place();
    return QWidget::eventFilter(watched, event);
}

void ToastOverlay::place() {
    const QSize size = (QRect(QPoint(), m_textSize) + textMargins + shadowMargins).size();
    // Above the status line, centred.
    setGeometry((m_host->width() - size.width()) / 2, m_host->height() - size.height() - 56,
                size.width(), size.height());
    raise();
}

void ToastOverlay::update() {
    const auto toast = m_c.toast();
    if (toast) {
        m_text = *toast;
        // One line while it fits, wrapped at the box's greatest width beyond that; the box is
        // as wide as the longest line.
        const QFontMetrics metrics = fontMetrics();
        const int width = std::min(metrics.horizontalAdvance(m_text) + 1, maxTextWidth);
        m_textSize = metrics.boundingRect(QRect(0, 0, width, tallest), textFlags, m_text).size();
        place();
        QWidget::update();
    }
    m_fader->fade(toast.has_value());
}

void ToastOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_fader->opacity());
    const QRectF box = QRectF(boxRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // A soft shadow below the box: a few widening, fainter outlines.
    painter.setPen(Qt::NoPen);
    for (int step = 1; step <= 6; ++step) {
        QPainterPath shadow;
        shadow.addRoundedRect(box.adjusted(-step, -step + 3, step, step + 3), radius + step,
                              radius + step);
        painter.setBrush(QColor(0, 0, 0, 14 - 2 * step));
        painter.drawPath(shadow);
    }
    // The "material": the window's colour, slightly translucent.
    QColor material = palette().color(QPalette::Window);
    material.setAlphaF(0.94f);
    painter.setPen(QPen(Tints::withAlpha(Tints::primary(), 0.12), 1));
    painter.setBrush(material);
    painter.drawRoundedRect(box, radius, radius);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRect(), textFlags, m_text);
}

} // namespace tessary
