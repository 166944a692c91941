#include "MainToolBar.hpp"

#include "AppActions.hpp"
#include "Icons.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include <algorithm>

namespace tessary {

MainToolBar::MainToolBar(ScanController& c, AppActions& actions, QWidget* parent)
    : QToolBar(tr("Nástroje"), parent), m_c(c) {
    setObjectName(QStringLiteral("mainToolBar"));
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize(QSize(18, 18));

    m_parent = addButton(actions.parent, "chevron.up", tr("Nadřazená složka"),
                         tr("Nadřazená složka (⌘↑)"));
    m_home = addButton(actions.home, "house", tr("Domů"),
                       tr("Zpět na hlavní složku iCloud Drive (⇧⌘H)"));

    m_containers = new QComboBox(this);
    m_containers->setPlaceholderText(tr("Kontejner"));
    m_containers->setAccessibleName(tr("Kontejner"));
    m_containers->setToolTip(tr("Kontejner iCloudu (iCloud Drive nebo složka aplikace)"));
    m_containers->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_containers->setMinimumContentsLength(14);
    addWidget(m_containers);

    m_views = new QComboBox(this);
    m_views->setPlaceholderText(tr("Zobrazení"));
    m_views->setAccessibleName(tr("Zobrazení"));
    m_views->setToolTip(tr("Největší žrouti místa, nebo seznam souborů ke smazání. Zpět ke "
                           "složkám: název složky vlevo nahoře nebo domeček."));
    m_views->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    addWidget(m_views);

    m_export = new QToolButton(this);
    m_export->setText(tr("Export"));
    m_export->setIcon(Icons::icon("square.and.arrow.up"));
    m_export->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_export->setPopupMode(QToolButton::InstantPopup);
    auto* exportMenu = new QMenu(m_export);
    exportMenu->addAction(actions.exportJSON);
    exportMenu->addAction(actions.exportCSV);
    m_export->setMenu(exportMenu);
    addWidget(m_export);
    addSeparator();

    m_stop = addButton(actions.stop, "xmark.circle", tr("Zrušit"), tr("Zrušit běžící úlohu"),
                       &m_stopItem);
    m_compare = addButton(actions.compare, "arrow.clockwise", tr("Znovu porovnat"),
                          tr("Znovu porovnat databázi s diskem (použije uloženou databázi, ⌘R)"),
                          &m_compareItem);
    m_refresh = addButton(actions.refresh, "arrow.triangle.2.circlepath", tr("Obnovit databázi"),
                          tr("Znovu vypsat databázi iCloud Drive (brctl dump, trvá několik minut, "
                             "⇧⌘R)"),
                          &m_refreshItem);

    auto* spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(spacer);
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(tr("Hledat název (min. 2 znaky)"));
    m_search->setClearButtonEnabled(true);
    m_search->addAction(Icons::icon("magnifyingglass"), QLineEdit::LeadingPosition);
    m_search->setMinimumWidth(220);
    m_search->setMaximumWidth(300);
    addWidget(m_search);

    connect(m_containers, &QComboBox::activated, this, [this](int row) {
        const QString root = m_containers->itemData(row).toString();
        if (!root.isEmpty())
            m_c.navigate(root.toStdString(), true);
    });
    connect(m_views, &QComboBox::activated, this, [this](int row) {
        if (row >= 0 && row < int(pickerViews().size()))
            m_c.show(pickerViews()[std::size_t(row)]);
        updateViews();
    });
    for (auto signal : {&ScanController::busyChanged, &ScanController::summaryChanged,
                        &ScanController::breadcrumbsChanged, &ScanController::currentChanged})
        connect(&c, signal, this, &MainToolBar::updateContainers);
    for (auto signal : {&ScanController::busyChanged, &ScanController::resultChanged,
                        &ScanController::viewChanged, &ScanController::deleteIDsChanged})
        connect(&c, signal, this, &MainToolBar::updateViews);
    connect(&c, &ScanController::busyChanged, this, &MainToolBar::updateBusy);
    connect(&c, &ScanController::resultChanged, this, &MainToolBar::updateBusy);
    updateBusy();
    updateContainers();
    updateViews();
}

QToolButton* MainToolBar::addButton(QAction* action, std::string_view symbol, const QString& label,
                                    const QString& tip, QAction** item) {
    action->setIcon(Icons::icon(symbol));
    action->setIconText(label);
    action->setToolTip(tip);
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setIconSize(iconSize());
    QAction* added = addWidget(button);
    if (item)
        *item = added;
    return button;
}

QString MainToolBar::containerText(const ContainerDTO& container,
                                   const std::optional<std::string>& mainRoot) {
    // The main container is iCloud Drive also where a disk-only scan named it otherwise.
    const bool drive = container.name == std::optional<std::string>("com.apple.CloudDocs") ||
                       mainRoot == container.root;
    return QString::fromStdString(container.display) +
           (drive ? QStringLiteral(" – ") : tr(" (aplikace) – ")) + Fmt::size(container.qta);
}

std::vector<ScanController::View> MainToolBar::pickerViews() {
    using View = ScanController::View;
    return {View::top, View::bigDirs, View::deleteList};
}

bool MainToolBar::isShown(const QToolButton* button) const {
    for (QAction* item : {m_stopItem, m_compareItem, m_refreshItem})
        if (widgetForAction(item) == button)
            return item->isVisible();
    return button->isVisibleTo(this);
}

void MainToolBar::updateBusy() {
    const bool busy = m_c.busy();
    m_stopItem->setVisible(busy);
    m_compareItem->setVisible(!busy);
    m_refreshItem->setVisible(!busy);
    m_export->setEnabled(m_c.result() && !busy);
}

void MainToolBar::updateContainers() {
    const auto summary = m_c.summary();
    const std::vector<ContainerDTO> containers =
        summary ? summary->containers : std::vector<ContainerDTO>{};
    const QSignalBlocker quiet(m_containers);
    m_containers->clear();
    for (const ContainerDTO& container : containers)
        m_containers->addItem(containerText(container, summary->mainRoot),
                              QString::fromStdString(container.root));
    const auto crumbs = m_c.breadcrumbs();
    const std::optional<std::string> root =
        !crumbs.empty() ? std::optional<std::string>(crumbs.front().id) : m_c.currentID();
    m_containers->setCurrentIndex(root ? m_containers->findData(QString::fromStdString(*root))
                                       : -1);
    m_containers->setEnabled(!m_c.busy() && !containers.empty());
}

void MainToolBar::updateViews() {
    const QSignalBlocker quiet(m_views);
    const QStringList texts{tr("Největší soubory"), tr("Největší složky"),
                            tr("Ke smazání (") + QString::number(m_c.deleteIDs().size()) +
                                QStringLiteral(")")};
    if (m_views->count() != texts.size())
        m_views->addItems(texts);
    for (int i = 0; i < texts.size(); ++i)
        m_views->setItemText(i, texts[i]);
    const auto views = pickerViews();
    const auto found = std::find(views.begin(), views.end(), m_c.view());
    m_views->setCurrentIndex(found == views.end() ? -1 : int(found - views.begin()));
    m_views->setEnabled(m_c.result() && !m_c.busy());
}

} // namespace tessary
