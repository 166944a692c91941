#pragma once

#include "TessaryApp/ScanController.hpp"
#include "TessaryCore/ContainerDTO.hpp"
#include "TessaryCore/SummaryDTO.hpp"

#include <QColor>
#include <QWidget>

#include <optional>
#include <vector>

class QHBoxLayout;
class QLabel;

namespace tessary {

// The row of summary cards at the top of the window: the whole iCloud Drive, the part only in
// the cloud, the part downloaded, the free quota, deleted items still in the database and the
// folders never opened on this Mac. Before the first summary, one line instead.
class SummaryCardsView : public QWidget {
    Q_OBJECT

public:
    struct Card {
        QString id;
        QString title;
        QString value;
        QString subtitle;
        std::optional<QColor> tint;
        friend bool operator==(const Card&, const Card&) = default;
    };

    // Below this many free bytes in the quota the "free" card turns orange.
    static constexpr std::int64_t lowQuota = 50'000'000'000;

    // The cards of a summary, in display order; with a change since an earlier scan, the first
    // card says it on a second line.
    [[nodiscard]] static std::vector<Card>
    cards(const SummaryDTO& summary,
          const std::optional<ScanController::ChangeSummary>& change = {});
    // "Od 1. 12. 2026: +2,3 GB v iCloudu, −1,1 GB na tomto Macu".
    [[nodiscard]] static QString changeLine(const ScanController::ChangeSummary& change);
    // The line shown without a summary.
    [[nodiscard]] static QString waitingLine(bool busy);
    // The summary's entry of the main container; all zero when there is none.
    [[nodiscard]] static ContainerDTO mainContainer(const SummaryDTO& summary);

    explicit SummaryCardsView(ScanController& c, QWidget* parent = nullptr);

    // What the view shows now: the cards, or (when there are none) the line.
    [[nodiscard]] const std::vector<Card>& shownCards() const { return m_cards; }
    [[nodiscard]] QString lineText() const;

private:
    void update();

    ScanController& m_c;
    QLabel* m_line;
    QWidget* m_row;
    QHBoxLayout* m_rowLayout;
    std::vector<Card> m_cards;
};

} // namespace tessary
