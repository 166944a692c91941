#pragma once

#include <QWidget>

namespace tessary {

class Fader;
class ScanController;

// The controller's toast over the window: a padded, rounded box with a shadow near the bottom
// edge that fades in when `toast` is set and out when it is cleared. It lets clicks through.
// The whole toast is painted by this widget, its size measured from its own text every time the
// text changes: one line while it fits, wrapped at `maxTextWidth` beyond that.
class ToastOverlay : public QWidget {
    Q_OBJECT

public:
    static constexpr int fadeMs = 180;
    static constexpr int maxTextWidth = 560;

    // Floats over `host` (usually the main window) for its life.
    ToastOverlay(ScanController& c, QWidget* host);

    // The text being shown, or empty when the toast is fading out or hidden.
    [[nodiscard]] QString text() const;
    [[nodiscard]] bool isShowing() const;
    // Where the text is drawn, in this widget.
    [[nodiscard]] QRect textRect() const;
    // The room the text needs when laid out at the width of `textRect`.
    [[nodiscard]] QSize neededTextSize() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void update();
    void place();
    [[nodiscard]] QRect boxRect() const;

    ScanController& m_c;
    QWidget* m_host;
    QString m_text;
    QSize m_textSize;
    Fader* m_fader;
};

} // namespace tessary
