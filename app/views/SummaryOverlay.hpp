#pragma once

#include <QWidget>

class QShortcut;

namespace tessary {

class Fader;
class ScanController;

// The layer of the scan summary: while the controller's `showSummary` is true it dims the whole
// window and holds the summary card in the middle; a click on the dimmed area or Escape closes
// it. The dimming fades in and out (ease-out); the card comes and goes with it.
class SummaryOverlay : public QWidget {
    Q_OBJECT

public:
    static constexpr int fadeMs = 220;

    // Covers `host` (the main window) for its life.
    SummaryOverlay(ScanController& c, QWidget* host);

    // Puts `card` in the middle of the layer (the layer takes it over; null removes it).
    void setCard(QWidget* card);
    [[nodiscard]] QWidget* card() const { return m_card; }
    [[nodiscard]] bool isShowing() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();
    void place();

    ScanController& m_c;
    QWidget* m_host;
    QWidget* m_card = nullptr;
    Fader* m_fader;
    QShortcut* m_escape;
};

} // namespace tessary
