#include "ToastOverlay.hpp"

#include "Fader.hpp"
#include "Tints.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QApplication>
#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tessary {

namespace {

// The rounded box of "material" colour (the window colour, slightly translucent).
class ToastBox : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor material = palette().color(QPalette::Window);
        material.setAlphaF(0.94f);
        painter.setPen(QPen(Tints::withAlpha(Tints::primary(), 0.12), 1));
        painter.setBrush(material);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }
};

} // namespace

ToastOverlay::ToastOverlay(ScanController& c, QWidget* host)
    : QWidget(host), m_c(c), m_host(host), m_box(new ToastBox(this)), m_label(new QLabel(m_box)),
      m_fader(new Fader(this, fadeMs)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 16);
    layout->addWidget(m_box);
    auto* boxLayout = new QVBoxLayout(m_box);
    boxLayout->setContentsMargins(18, 10, 18, 10);
    boxLayout->addWidget(m_label);
    m_label->setTextFormat(Qt::PlainText);
    auto* shadow = new QGraphicsDropShadowEffect(m_box);
    shadow->setBlurRadius(18);
    shadow->setOffset(0, 3);
    shadow->setColor(QColor(0, 0, 0, 90));
    m_box->setGraphicsEffect(shadow);
    host->installEventFilter(this);
    connect(&c, &ScanController::toastChanged, this, &ToastOverlay::update);
    update();
}

QString ToastOverlay::text() const {
    return isShowing() ? m_label->text() : QString();
}

bool ToastOverlay::isShowing() const {
    return m_fader->isShowing();
}

bool ToastOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_host && event->type() == QEvent::Resize && isVisible())
        place();
    return QWidget::eventFilter(watched, event);
}

void ToastOverlay::place() {
    adjustSize();
    const QSize size = sizeHint();
    // Above the status line, centred.
    move((m_host->width() - size.width()) / 2, m_host->height() - size.height() - 56);
    resize(size);
    raise();
}

void ToastOverlay::update() {
    const auto toast = m_c.toast();
    const bool show = toast.has_value();
    if (show) {
        // One line while it fits, wrapped at the box's greatest width beyond that.
        const bool wide = m_label->fontMetrics().horizontalAdvance(*toast) > maxTextWidth;
        m_label->setWordWrap(wide);
        m_label->setMinimumWidth(wide ? maxTextWidth : 0);
        m_label->setMaximumWidth(wide ? maxTextWidth : QWIDGETSIZE_MAX);
        m_label->setText(*toast);
    }
    if (show)
        place();
    m_fader->fade(show);
}

} // namespace tessary
