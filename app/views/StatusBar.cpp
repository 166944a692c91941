#include "StatusBar.hpp"

#include "ElidedLabel.hpp"
#include "Icons.hpp"
#include "Tints.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace tessary {

namespace {

std::int64_t counter(const SummaryDTO& summary, const std::string& key) {
    const auto found = summary.stats.find(key);
    return found == summary.stats.end() ? 0 : found->second;
}

QString sep() {
    return QStringLiteral(" · ");
}

} // namespace

StatusBar::State StatusBar::State::of(const ScanController& c) {
    return {c.phase(),   c.busy(),         c.done(),    c.total(),
            c.message(), c.errorMessage(), c.started(), c.finished()};
}

QString StatusBar::statusText(const State& s) {
    // A failure is reported on its own: no phase, progress or duration beside it.
    if (s.errorMessage)
        return tr("Chyba: ") + *s.errorMessage;
    const QString label = ScanController::phaseLabel(s.phase);
    QString text = label;
    if (s.busy && s.total >= 1) {
        const double share = static_cast<double>(s.done) * 100.0 / static_cast<double>(s.total);
        text += sep() + QString::number(static_cast<std::int64_t>(share)) + QStringLiteral(" %");
    }
    if (!s.message.isEmpty() && s.message != label)
        text += sep() + s.message;
    if (s.phase == ScanController::Phase::dump)
        text += QStringLiteral(" (") + Fmt::size(s.done) + QStringLiteral(")");
    if (s.phase == ScanController::Phase::done && s.started && s.finished)
        text += sep() + Fmt::duration(double(s.started->msecsTo(*s.finished)) / 1000.0);
    return text;
}

QString StatusBar::footerText(const std::optional<SummaryDTO>& summary) {
    if (!summary)
        return {};
    QStringList pieces;
    if (summary->mode == ScanMode::dump)
        pieces << tr("databáze iCloud Drive (brctl dump) z ") + Fmt::time(summary->dumpTime);
    else
        pieces << tr("průchod disku");
    pieces << Fmt::plural(counter(*summary, "items_parsed"), "items");
    pieces << tr("složek porovnáno ") + Fmt::integer(counter(*summary, "dirs_enumerated")) +
                  tr(" z ") + Fmt::integer(counter(*summary, "dirs_total"));
    for (const std::string& warning : summary->warnings)
        pieces << QStringLiteral("⚠︎ ") + QString::fromStdString(warning);
    return pieces.join(sep());
}

QString StatusBar::footerToolTip(const std::optional<SummaryDTO>& summary) {
    QString tip = tr("Velikosti „v iCloudu“ jsou kvóta započtená serverem (soubor + verze a "
                     "metadata); nic se nestahuje.");
    if (summary && !summary->warnings.empty()) {
        tip += QStringLiteral("\n\n");
        QStringList lines;
        for (const std::string& warning : summary->warnings)
            lines << QString::fromStdString(warning);
        tip += lines.join(QLatin1Char('\n'));
    }
    return tip;
}

QString StatusBar::permissionToolTip(std::int64_t deniedCount) {
    return tr("Systém odepřel přístup k ") + Fmt::plural(deniedCount, "folders") +
           tr(". V Nastavení systému zapněte Plný přístup k disku pro Varnelo a spusťte „Znovu "
              "porovnat“.");
}

StatusBar::StatusBar(ScanController& c, QWidget* parent)
    : QWidget(parent), m_c(c), m_progress(new QProgressBar(this)), m_icon(new QLabel(this)),
      m_text(new ElidedLabel(this)), m_permission(new QToolButton(this)),
      m_footer(new ElidedLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 3, 10, 3);
    layout->setSpacing(8);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(60, 10);
    m_permission->setText(tr("Povolit přístup k souborům…"));
    m_footer->setTextFormat(Qt::PlainText);
    QFont small = m_footer->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_footer->setFont(small);
    QPalette p = m_footer->palette();
    p.setColor(QPalette::WindowText, Tints::secondary());
    m_footer->setPalette(p);
    layout->addWidget(m_progress);
    layout->addWidget(m_icon);
    // The status keeps the width of its text; the footer takes what is left and shortens
    // itself with "…" (its tooltip has it all), so neither pushes the other out of the window.
    m_text->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_footer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_text);
    layout->addWidget(m_permission);
    layout->addWidget(m_footer, 1);

    connect(m_permission, &QToolButton::clicked, this,
            [this] { m_c.openFullDiskAccessSettings(); });
    for (auto signal :
         {&ScanController::phaseChanged, &ScanController::busyChanged, &ScanController::doneChanged,
          &ScanController::totalChanged, &ScanController::messageChanged,
          &ScanController::errorMessageChanged, &ScanController::startedChanged,
          &ScanController::finishedChanged, &ScanController::summaryChanged})
        connect(&c, signal, this, &StatusBar::update);
    update();
}

QString StatusBar::text() const {
    return m_text->fullText();
}

QString StatusBar::shownText() const {
    return m_text->isVisible() && m_text->width() > 0 ? m_text->text() : QString();
}

QString StatusBar::footer() const {
    return m_footer->fullText();
}

QString StatusBar::footerTip() const {
    return m_footer->toolTip();
}

bool StatusBar::showsProgress() const {
    return !m_progress->isHidden();
}

void StatusBar::update() {
    const bool busy = m_c.busy();
    m_progress->setVisible(busy);
    m_symbol = busy ? QString()
               : m_c.phase() == ScanController::Phase::error
                   ? QStringLiteral("exclamationmark.triangle.fill")
               : m_c.phase() == ScanController::Phase::done ? QStringLiteral("checkmark.circle")
                                                            : QString();
    m_icon->setVisible(!m_symbol.isEmpty());
    if (!m_symbol.isEmpty()) {
        const bool warning = m_c.phase() == ScanController::Phase::error;
        const QIcon icon = Icons::icon(m_symbol.toStdString());
        m_icon->setPixmap(warning ? Icons::tinted(m_symbol.toStdString(), Tints::orange(), 16,
                                                  devicePixelRatioF())
                                  : icon.pixmap(16, 16));
    }
    m_text->setFullText(statusText(State::of(m_c)));
    const std::int64_t denied = m_c.deniedCount();
    m_permission->setVisible(denied > 0);
    m_permission->setToolTip(denied > 0 ? permissionToolTip(denied) : QString());
    const auto summary = m_c.summary();
    m_footer->setFullText(footerText(summary));
    m_footer->setToolTip(footerToolTip(summary));
}

} // namespace tessary
