#pragma once

#include <QEasingCurve>
#include <QObject>

class QGraphicsOpacityEffect;
class QPropertyAnimation;
class QWidget;

namespace tessary {

// Fades a widget in and out through its opacity: shown at the start of a fade in, hidden at
// the end of a fade out. A new fade starts from the opacity the widget has at that moment.
class Fader : public QObject {
    Q_OBJECT

public:
    // `target` starts hidden and fully transparent; the fader lives as its child.
    Fader(QWidget* target, int ms, QEasingCurve curve = QEasingCurve::Linear);

    // Fades in (`show`) or out; nothing when it is already heading there.
    void fade(bool show);
    [[nodiscard]] bool isShowing() const { return m_showing; }

private:
    QWidget* m_target;
    QGraphicsOpacityEffect* m_opacity;
    QPropertyAnimation* m_animation;
    bool m_showing = false;
};

} // namespace tessary
