#include "BreadcrumbBar.hpp"

#include "BadgeWidget.hpp"
#include "Icons.hpp"
#include "NameCell.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/ScanController.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace tessary {

namespace {

QToolButton* button(QWidget* parent, const QString& text, std::string_view symbol,
                    const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    if (!symbol.empty())
        b->setIcon(Icons::icon(symbol));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setToolButtonStyle(text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    return b;
}

} // namespace

BreadcrumbBar::BreadcrumbBar(ScanController& c, QWidget* parent)
    : QWidget(parent), m_c(c), m_waiting(new QLabel(this)),
      m_back(button(this, tr("Zpět do složky"), "chevron.backward", {})), m_path(new QWidget(this)),
      m_pathLayout(new QHBoxLayout(m_path)),
#ifdef __APPLE__
      m_finder(button(this, {}, "magnifyingglass", tr("Ukázat ve Finderu"))),
#else
      m_finder(button(this, {}, "magnifyingglass", tr("Ukázat ve správci souborů"))),
#endif
      m_hydrate(button(this, tr("☁ Načíst složku z iCloudu"), "icloud.and.arrow.down",
                       tr("Načíst seznam této složky z iCloudu (stáhne se jen seznam, ne obsah) "
                          "a dopočítat jména"))),
      m_summary(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 12, 4);
    layout->setSpacing(6);
    m_pathLayout->setContentsMargins(0, 0, 0, 0);
    m_pathLayout->setSpacing(2);
    m_waiting->setTextFormat(Qt::PlainText);
    m_summary->setTextFormat(Qt::PlainText);
    layout->addWidget(m_waiting);
    layout->addWidget(m_back);
    layout->addWidget(m_path);
    layout->addWidget(m_finder);
    layout->addWidget(m_hydrate);
    layout->addStretch(1);
    layout->addWidget(m_summary);

    connect(m_back, &QToolButton::clicked, this, [this] {
        if (const auto current = m_c.current())
            m_c.navigate(current->id, true);
    });
    connect(m_finder, &QToolButton::clicked, this, [this] {
        if (const auto current = m_c.current())
            m_c.revealInFinder(current->id);
    });
    connect(m_hydrate, &QToolButton::clicked, this, [this] {
        if (const auto current = m_c.current())
            m_c.startHydrate(current->id, 1);
    });
    for (auto signal : {&ScanController::currentChanged, &ScanController::breadcrumbsChanged,
                        &ScanController::busyChanged, &ScanController::viewChanged,
                        &ScanController::summaryChanged})
        connect(&c, signal, this, &BreadcrumbBar::update);
    update();
}

QString BreadcrumbBar::folderSummary(const NodeDTO& folder) {
    QString text = Fmt::plural(folder.docs, "files") + QStringLiteral(" · ") +
                   Fmt::plural(folder.dirs, "folders");
    if (folder.unenum > 0)
        text += QStringLiteral(" · ☁ ") + Fmt::plural(folder.unenum, "unopened");
    return text;
}

QString BreadcrumbBar::waitingText() const {
    return m_waiting->isHidden() ? QString() : m_waiting->text();
}

QStringList BreadcrumbBar::pathTexts() const {
    QStringList texts;
    for (const NodeDTO& node : m_shownPath)
        texts << nameOf(node);
    return texts;
}

QString BreadcrumbBar::summaryText() const {
    return m_summary->isHidden() ? QString() : m_summary->text();
}

QString BreadcrumbBar::nameOf(const NodeDTO& node) const {
    return NameCell::displayName(node, m_c.summary());
}

void BreadcrumbBar::update() {
    const auto current = m_c.current();
    m_waiting->setVisible(!current);
    m_waiting->setText(current ? QString()
                               : (m_c.busy() ? tr("Čekám na výsledek skenu…") : tr("Žádná data")));
    for (QWidget* w : {static_cast<QWidget*>(m_path), static_cast<QWidget*>(m_finder),
                       static_cast<QWidget*>(m_summary)})
        w->setVisible(current.has_value());
    m_back->setVisible(current && m_c.view() != ScanController::View::tree);
    m_hydrate->setVisible(current && ScanController::canHydrate(*current));
    if (current) {
        m_back->setToolTip(tr("Zpět do složky „") + nameOf(*current) + tr("“"));
        m_summary->setText(folderSummary(*current));
    }
    rebuildPath();
}

void BreadcrumbBar::rebuildPath() {
    std::vector<NodeDTO> path;
    if (const auto current = m_c.current()) {
        path = m_c.breadcrumbs();
        path.push_back(*current);
    }
    // A crumb may be the button whose click is being handled: delete the old ones later.
    while (QLayoutItem* item = m_pathLayout->takeAt(0)) {
        if (QWidget* old = item->widget()) {
            old->hide();
            old->deleteLater();
        }
        delete item;
    }
    m_masked = nullptr;
    m_shownPath = std::move(path);
    for (std::size_t i = 0; i < m_shownPath.size(); ++i) {
        const NodeDTO& node = m_shownPath[i];
        if (i > 0) {
            auto* separator = new QLabel(QStringLiteral("›"), m_path);
            m_pathLayout->addWidget(separator);
        }
        auto* crumb = new QToolButton(m_path);
        crumb->setText(nameOf(node));
        crumb->setAutoRaise(true);
        const std::string id = node.id;
        connect(crumb, &QToolButton::clicked, this, [this, id] { m_c.navigate(id, true); });
        m_pathLayout->addWidget(crumb);
    }
    if (!m_shownPath.empty()) {
        const NodeDTO& last = m_shownPath.back();
        QFont bold = font();
        bold.setBold(true);
        m_pathLayout->itemAt(m_pathLayout->count() - 1)->widget()->setFont(bold);
        if (!last.resolved && !last.id.starts_with("root[")) {
            m_masked = new BadgeWidget(Badge::masked(), m_path);
            m_pathLayout->addWidget(m_masked);
        }
    }
}

} // namespace tessary
