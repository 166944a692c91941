#pragma once

#include "TessaryApp/SummaryContent.hpp"

#include <QWidget>

#include <optional>

class QCheckBox;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace tessary {

class ScanController;

// The card of the after-scan summary over the dimmed window: the cloud-only total, the main
// figures, the file categories as a bar and rows, the biggest file and folder, the dead items
// and a footer with the "show after each scan" switch and ways onward. Its content scrolls when
// it is taller than the window allows; the footer stays in view.
class ScanSummaryView : public QWidget {
    Q_OBJECT

public:
    // The width the card asks for (the window may give less).
    static constexpr int preferredWidth = 600;
    static constexpr int categoryBarHeight = 18;

    explicit ScanSummaryView(ScanController& c, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    // Height of the content above the footer at the card's preferred width.
    [[nodiscard]] int contentHeight() const;
    // What the card shows now; none without a report.
    [[nodiscard]] const std::optional<SummaryContent>& shown() const { return m_shown; }
    [[nodiscard]] QScrollArea* scrollArea() const { return m_scroll; }
    [[nodiscard]] QCheckBox* showAfterScanBox() const { return m_showAfterScan; }
    // The footer's and the highlights' buttons by their text; null when absent.
    [[nodiscard]] QPushButton* button(const QString& text) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();
    void dismiss();
    void show(const SummaryContent::Highlight& highlight);
    [[nodiscard]] QWidget* footer();
    // "Nejvíc narostlo": the folders that grew most since the earlier scan; null without any.
    [[nodiscard]] QWidget* grownSection(QWidget* parent);

    ScanController& m_c;
    QScrollArea* m_scroll;
    QCheckBox* m_showAfterScan = nullptr;
    std::optional<SummaryContent> m_shown;
};

} // namespace tessary
