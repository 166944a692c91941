#include "DeleteListHeader.hpp"

#include "Icons.hpp"
#include "SummaryCardsView.hpp"
#include "Tints.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessary {

DeleteListHeader::Lines DeleteListHeader::lines(const ScanController::Savings& savings,
                                                const std::optional<SummaryDTO>& summary) {
    const std::int64_t driveQta = summary ? SummaryCardsView::mainContainer(*summary).qta : 0;
    Lines l;
    l.amount = Fmt::size(savings.qta);
    l.count = Fmt::plural(savings.items, "items") + QStringLiteral(" · ") +
              Fmt::percent(savings.qta, driveQta) + tr(" z iCloud Drive");
    l.detail = tr("z toho jen v cloudu ") + Fmt::size(savings.cloud) +
               tr(" · na tomto Macu se uvolní ") + Fmt::size(savings.local);
    if (summary && summary->quotaRemaining)
        l.quota = tr("Volné místo v kvótě: ") + Fmt::size(*summary->quotaRemaining) +
                  QStringLiteral(" → ") + Fmt::size(*summary->quotaRemaining + savings.qta);
    if (savings.nested > 0)
        l.nested = Fmt::plural(savings.nested, "items") +
                   (savings.nested == 1
                        ? tr(" leží ve složce, která je na seznamu také – nepočítá se dvakrát.")
                        : tr(" leží ve složce, která je na seznamu také – nepočítají se dvakrát."));
    if (savings.evictable > 0)
        l.evict = tr("Uvolníte na tomto Macu %1; v iCloudu zůstane vše.")
                      .arg(Fmt::size(savings.evictable));
    return l;
}

DeleteListHeader::DeleteListHeader(ScanController& c, QWidget* parent)
    : QWidget(parent), m_c(c), m_title(new QLabel(tr("Uvolníte v iCloudu"), this)),
      m_amount(new QLabel(this)), m_count(new QLabel(this)), m_detail(new QLabel(this)),
      m_quota(new QLabel(this)), m_nested(new QLabel(this)), m_evictLine(new QLabel(this)),
      m_clear(new QPushButton(tr("Vyprázdnit seznam"), this)),
      m_evict(
          new QPushButton(Icons::icon("icloud.and.arrow.up"), tr("Uvolnit z tohoto Macu…"), this)),
      m_trash(new QPushButton(QIcon(Icons::tinted("trash", Qt::white, 16, devicePixelRatioF())),
                              tr("Přesunout do Koše…"), this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* titleLine = new QHBoxLayout;
    titleLine->addWidget(m_title);
    titleLine->addWidget(m_amount);
    titleLine->addStretch(1);
    texts->addLayout(titleLine);
    for (QLabel* label : {m_count, m_detail, m_quota, m_nested, m_evictLine})
        texts->addWidget(label);
    for (QLabel* label : {m_title, m_amount, m_count, m_detail, m_quota, m_nested, m_evictLine})
        label->setTextFormat(Qt::PlainText);
    QFont big = m_amount->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    m_amount->setFont(big);
    titleLine->setSpacing(10);
    titleLine->setAlignment(m_title, Qt::AlignBaseline);
    for (QLabel* secondary : {m_detail, m_quota, m_nested, m_evictLine}) {
        QPalette p = secondary->palette();
        p.setColor(QPalette::WindowText, Tints::secondary());
        secondary->setPalette(p);
    }
    layout->addLayout(texts, 1);
    layout->addWidget(m_clear, 0, Qt::AlignBottom);
    layout->addWidget(m_evict, 0, Qt::AlignBottom);
    m_evict->setToolTip(tr("Soubory zůstanou v iCloudu a stáhnou se znovu, až je otevřete."));
    layout->addWidget(m_trash, 0, Qt::AlignBottom);
    // The prominent red button of a destructive command.
    const QString red = Tints::red().name();
    m_trash->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none; "
                       "border-radius: 5px; padding: 5px 14px; }"
                       "QPushButton:disabled { background: %2; }")
            .arg(red, Tints::withAlpha(Tints::red(), 0.35).name(QColor::HexArgb)));

    connect(m_clear, &QPushButton::clicked, this, [this] { m_c.clearDeleteList(); });
    connect(m_evict, &QPushButton::clicked, this, [this] { m_c.confirmAndEvict(m_c.deleteIDs()); });
    // The rows' order (largest first), so the dialog names the largest items.
    connect(m_trash, &QPushButton::clicked, this, [this] {
        ScanController::IDList ids;
        for (const NodeDTO& row : m_c.deleteRows())
            ids.push_back(row.id);
        m_c.confirmAndTrash(ids);
    });
    for (auto signal : {&ScanController::deleteSavingsChanged, &ScanController::deleteIDsChanged,
                        &ScanController::busyChanged, &ScanController::summaryChanged})
        connect(&c, signal, this, &DeleteListHeader::update);
    update();
}

QString DeleteListHeader::title() const {
    return m_title->text();
}

void DeleteListHeader::update() {
    m_lines = lines(m_c.deleteSavings(), m_c.summary());
    m_amount->setText(m_lines.amount);
    m_count->setText(m_lines.count);
    m_detail->setText(m_lines.detail);
    m_quota->setText(m_lines.quota.value_or(QString()));
    m_quota->setVisible(m_lines.quota.has_value());
    m_nested->setText(m_lines.nested.value_or(QString()));
    m_nested->setVisible(m_lines.nested.has_value());
    m_evictLine->setText(m_lines.evict.value_or(QString()));
    m_evictLine->setVisible(m_lines.evict.has_value());
    const bool enabled = !m_c.deleteIDs().empty() && !m_c.busy();
    m_clear->setEnabled(enabled);
    m_trash->setEnabled(enabled);
    m_evict->setEnabled(enabled && m_lines.evict.has_value());
}

} // namespace tessary
