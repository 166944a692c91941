#include "SummaryCardsView.hpp"

#include "ElidedLabel.hpp"
#include "Links.hpp"
#include "Tints.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/ScanController.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tessary {

namespace {

// One card: title, large value and subtitle on a faint rounded background, tinted when the card
// has a tint.
class CardTile : public QWidget {
public:
    CardTile(const SummaryCardsView::Card& card, QWidget* parent)
        : QWidget(parent), m_tint(card.tint) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(12, 8, 12, 8);
        layout->setSpacing(2);
        auto* title = new ElidedLabel(this);
        title->setFullText(card.title);
        title->setToolTip(card.title);
        auto* value = new QLabel(card.value, this);
        auto* subtitle = new QLabel(card.subtitle, this);
        QFont big = value->font();
        big.setPointSizeF(big.pointSizeF() * 1.6);
        big.setBold(true);
        value->setFont(big);
        QFont small = subtitle->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        subtitle->setFont(small);
        subtitle->setWordWrap(true);
        for (QLabel* secondary : {static_cast<QLabel*>(title), subtitle}) {
            QPalette p = secondary->palette();
            p.setColor(QPalette::WindowText, Tints::secondary());
            secondary->setPalette(p);
        }
        if (m_tint) {
            QPalette p = value->palette();
            p.setColor(QPalette::WindowText, *m_tint);
            value->setPalette(p);
        }
        for (QLabel* label : {static_cast<QLabel*>(title), value, subtitle}) {
            label->setTextFormat(Qt::PlainText);
            layout->addWidget(label);
        }
        layout->addStretch(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_tint ? Tints::withAlpha(*m_tint, 0.14)
                                : Tints::withAlpha(Tints::primary(), 0.06));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }

private:
    std::optional<QColor> m_tint;
};

} // namespace

ContainerDTO SummaryCardsView::mainContainer(const SummaryDTO& summary) {
    for (const ContainerDTO& container : summary.containers)
        if (summary.mainRoot && container.root == *summary.mainRoot)
            return container;
    return {};
}

QString SummaryCardsView::changeLine(const ScanController::ChangeSummary& change) {
    if (change.qta == 0 && change.local == 0)
        return tr("Od %1 beze změny").arg(Fmt::date(double(change.since)));
    return tr("Od %1: %2 v iCloudu, %3 na tomto Macu")
        .arg(Fmt::date(double(change.since)), Fmt::signedSize(change.qta),
             Fmt::signedSize(change.local));
}

std::vector<SummaryCardsView::Card>
SummaryCardsView::cards(const SummaryDTO& summary,
                        const std::optional<ScanController::ChangeSummary>& change) {
    const ContainerDTO main = mainContainer(summary);
    std::vector<Card> list;
    QString files = Fmt::plural(main.docs, "files");
    if (change)
        files += QLatin1Char('\n') + changeLine(*change);
    list.push_back({QStringLiteral("total"), tr("iCloud Drive celkem"), Fmt::size(main.qta), files,
                    std::nullopt});
    list.push_back({QStringLiteral("cloud"), tr("Z toho jen v cloudu ☁"), Fmt::size(main.cloud),
                    tr("odložené, na disku nezabírají nic"), Tints::blue()});
    list.push_back({QStringLiteral("local"), tr("Staženo na tomto Macu"), Fmt::size(main.local),
                    tr("skutečně obsazené místo na disku"), std::nullopt});
    const auto quota = summary.quotaRemaining;
    list.push_back(
        {QStringLiteral("free"), tr("Volné místo v kvótě"),
         quota ? Fmt::size(*quota) : Fmt::size(std::nullopt), tr("podle iCloudu (brctl quota)"),
         quota && *quota < lowQuota ? std::optional<QColor>(Tints::orange()) : std::nullopt});
    if (summary.deadCount >= 1)
        list.push_back({QStringLiteral("dead"), tr("Smazané položky v databázi"),
                        Fmt::size(summary.deadQta),
                        Fmt::plural(summary.deadCount, "items") +
                            tr(" – zkontrolujte „Nedávno smazané“ na ") + Links::icloudWeb(),
                        Tints::orange()});
    list.push_back({QStringLiteral("unenum"), tr("Složky nikdy neotevřené na Macu"),
                    Fmt::integer(main.unenum), tr("jména maskovaná, lze načíst tlačítkem ☁ Načíst"),
                    std::nullopt});
    return list;
}

QString SummaryCardsView::waitingLine(bool busy) {
    return busy ? tr("Probíhá sken…") : tr("Spusťte sken tlačítkem „Znovu porovnat“.");
}

SummaryCardsView::SummaryCardsView(ScanController& c, QWidget* parent)
    : QWidget(parent), m_c(c), m_line(new QLabel(this)), m_row(new QWidget(this)),
      m_rowLayout(new QHBoxLayout(m_row)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    m_rowLayout->setContentsMargins(0, 0, 0, 0);
    m_rowLayout->setSpacing(10);
    m_line->setTextFormat(Qt::PlainText);
    layout->addWidget(m_line);
    layout->addWidget(m_row);
    connect(&c, &ScanController::summaryChanged, this, &SummaryCardsView::update);
    connect(&c, &ScanController::busyChanged, this, &SummaryCardsView::update);
    connect(&c, &ScanController::changeSummaryChanged, this, &SummaryCardsView::update);
    update();
}

QString SummaryCardsView::lineText() const {
    return m_line->isHidden() ? QString() : m_line->text();
}

void SummaryCardsView::update() {
    const auto summary = m_c.summary();
    m_line->setText(summary ? QString() : waitingLine(m_c.busy()));
    m_line->setHidden(summary.has_value());
    m_row->setVisible(summary.has_value());
    std::vector<Card> next = summary ? cards(*summary, m_c.changeSummary()) : std::vector<Card>{};
    if (next == m_cards)
        return;
    m_cards = std::move(next);
    while (QLayoutItem* item = m_rowLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const Card& card : m_cards)
        m_rowLayout->addWidget(new CardTile(card, m_row), 1);
}

} // namespace tessary
