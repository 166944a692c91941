#include "Fader.hpp"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QWidget>

namespace tessary {

Fader::Fader(QWidget* target, int ms, QEasingCurve curve)
    : QObject(target), m_target(target), m_opacity(new QGraphicsOpacityEffect(target)),
      m_animation(new QPropertyAnimation(m_opacity, "opacity", this)) {
    m_opacity->setOpacity(0);
    target->setGraphicsEffect(m_opacity);
    m_animation->setDuration(ms);
    m_animation->setEasingCurve(curve);
    connect(m_animation, &QPropertyAnimation::finished, this, [this] {
        if (!m_showing)
            m_target->hide();
    });
    target->hide();
}

void Fader::fade(bool show) {
    if (show == m_showing)
        return;
    m_showing = show;
    m_animation->stop();
    m_animation->setStartValue(m_opacity->opacity());
    m_animation->setEndValue(show ? 1.0 : 0.0);
    if (show)
        m_target->show();
    m_animation->start();
}

} // namespace tessary
