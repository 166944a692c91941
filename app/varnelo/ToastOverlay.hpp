#pragma once

#include <QWidget>

class QLabel;

namespace tessary {

class Fader;
class ScanController;

// The controller's toast over the window: a padded, rounded box with a shadow near the bottom
// edge that fades in when `toast` is set and out when it is cleared. It lets clicks through.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();
    void place();

    ScanController& m_c;
    QWidget* m_host;
    QWidget* m_box;
    QLabel* m_label;
    Fader* m_fader;
};

} // namespace tessary
