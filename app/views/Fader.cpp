#include "Fader.hpp"

#include <QVariantAnimation>
#include <QWidget>

namespace tessary {

Fader::Fader(QWidget* target, int ms, QEasingCurve curve)
    : QObject(target), m_target(target), m_animation(new QVariantAnimation(this)) {
    m_animation->setDuration(ms);
    m_animation->setEasingCurve(curve);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_opacity = value.toDouble();
        m_target->update();
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
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
    m_animation->setStartValue(m_opacity);
    m_animation->setEndValue(show ? 1.0 : 0.0);
    if (show)
        m_target->show();
    m_animation->start();
}

} // namespace tessary
