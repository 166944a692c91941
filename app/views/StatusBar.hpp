#pragma once

#include "TessaryApp/ScanController.hpp"

#include <QWidget>

class QLabel;
class QProgressBar;
class QToolButton;

namespace tessary {

class ElidedLabel;

// The bottom line of the window: a progress indicator or the last run's icon, the status text,
// the button to allow access to refused folders and the scan's source and counters.
class StatusBar : public QWidget {
    Q_OBJECT

public:
    // What the status text is built from.
    struct State {
        ScanController::Phase phase = ScanController::Phase::idle;
        bool busy = false;
        std::int64_t done = 0;
        std::int64_t total = 0;
        QString message;
        std::optional<QString> errorMessage;
        std::optional<QDateTime> started;
        std::optional<QDateTime> finished;

        [[nodiscard]] static State of(const ScanController& c);
    };

    [[nodiscard]] static QString statusText(const State& state);
    // Empty without a summary.
    [[nodiscard]] static QString footerText(const std::optional<SummaryDTO>& summary);
    [[nodiscard]] static QString footerToolTip(const std::optional<SummaryDTO>& summary);
    [[nodiscard]] static QString permissionToolTip(std::int64_t deniedCount);

    explicit StatusBar(ScanController& c, QWidget* parent = nullptr);

    [[nodiscard]] QString text() const;
    // What the line shows of the text now (shortened with "…"); empty when nothing of it shows.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] QString footer() const;
    [[nodiscard]] QString footerTip() const;
    [[nodiscard]] bool showsProgress() const;
    // "exclamationmark.triangle.fill", "checkmark.circle" or empty.
    [[nodiscard]] QString iconSymbol() const { return m_symbol; }
    [[nodiscard]] const QToolButton* permissionButton() const { return m_permission; }

private:
    void update();

    ScanController& m_c;
    QProgressBar* m_progress;
    QLabel* m_icon;
    ElidedLabel* m_text;
    QToolButton* m_permission;
    ElidedLabel* m_footer;
    QString m_symbol;
};

} // namespace tessary
