#pragma once

#include <QEasingCurve>
#include <QObject>

class QVariantAnimation;
class QWidget;

namespace tessary {

// Fades a layer in and out: shown at the start of a fade in, hidden at the end of a fade out.
// The layer paints itself with `opacity()`; the fader repaints it at every step. A new fade
// starts from the opacity the layer has at that moment.
//
// No QGraphicsEffect: an effect renders the layer and its child widgets through a cached
// picture, and in a real window that picture goes stale (child widgets that change or scroll
// under it leave copies of the window behind them on screen).
class Fader : public QObject {
    Q_OBJECT

public:
    // `target` starts hidden and fully transparent; the fader lives as its child.
    Fader(QWidget* target, int ms, QEasingCurve curve = QEasingCurve::Linear);

    // Fades in (`show`) or out; nothing when it is already heading there.
    void fade(bool show);
    [[nodiscard]] bool isShowing() const { return m_showing; }
    // From 0 (transparent) to 1 (opaque).
    [[nodiscard]] double opacity() const { return m_opacity; }

private:
    QWidget* m_target;
    QVariantAnimation* m_animation;
    double m_opacity = 0;
    bool m_showing = false;
};

} // namespace tessary
