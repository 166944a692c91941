#include "MainToolBar.hpp"

#include "AppActions.hpp"
#include "Icons.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QAction>
#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

#include <algorithm>
#include <array>

namespace tessary {

namespace {

// What a label adds beside a button's icon: its text and the gap before it.
constexpr int labelGap = 4;

} // namespace

MainToolBar::MainToolBar(ScanController& c, AppActions& actions, QWidget* parent)
    : QToolBar(tr("Nástroje"), parent), m_c(c) {
    setObjectName(QStringLiteral("mainToolBar"));
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize(QSize(18, 18));

    const auto keys = [](const QAction* action) {
        return AppActions::keysText(action->shortcut());
    };
    m_parent = addButton(actions.parent, "chevron.up", tr("Nadřazená složka"),
                         tr("Nadřazená složka (%1)").arg(keys(actions.parent)));
    m_home = addButton(actions.home, "house", tr("Domů"),
                       tr("Zpět na hlavní složku iCloud Drive (%1)").arg(keys(actions.home)));
    // Only its icon: the labels of the buttons that are used most keep the room.
    addButton(actions.scanFolder, "folder", tr("Složka…"), actions.scanFolder->toolTip())
        ->setToolButtonStyle(Qt::ToolButtonIconOnly);

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
                          tr("Znovu porovnat databázi s diskem (použije uloženou databázi, %1)")
                              .arg(keys(actions.compare)),
                          &m_compareItem);
    m_refresh =
        addButton(actions.refresh, "arrow.triangle.2.circlepath", tr("Obnovit databázi"),
                  tr("Znovu vypsat databázi iCloud Drive (brctl dump, trvá několik minut, %1)")
                      .arg(keys(actions.refresh)),
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
    // A folder dropped on the field is meant for the window (it scans it), not typed as text.
    m_search->setAcceptDrops(false);
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
    return {View::top, View::bigDirs, View::changes, View::deleteList};
}

bool MainToolBar::isShown(const QToolButton* button) const {
    for (QAction* item : {m_stopItem, m_compareItem, m_refreshItem})
        if (widgetForAction(item) == button)
            return item->isVisible();
    return button->isVisibleTo(this);
}

void MainToolBar::resizeEvent(QResizeEvent* event) {
    QToolBar::resizeEvent(event);
    fitToWidth();
}

void MainToolBar::fitToWidth() {
    const std::array<QToolButton*, 6> labelled = {m_parent, m_home,    m_export,
                                                  m_stop,   m_compare, m_refresh};
    // What the bar needs with icon-only buttons, and what the labels add to that.
    int iconsOnly = 0;
    int labels = 0;
    for (QAction* item : actions()) {
        QWidget* widget = widgetForAction(item);
        if (!widget || !item->isVisible())
            continue;
        const bool isLabelled =
            std::find(labelled.begin(), labelled.end(), widget) != labelled.end();
        const int label = isLabelled ? widget->fontMetrics().horizontalAdvance(
                                           static_cast<QToolButton*>(widget)->text()) +
                                           labelGap
                                     : 0;
        const int hint =
            widget == m_search ? m_search->minimumWidth() : std::max(0, widget->sizeHint().width());
        iconsOnly += (m_compact ? hint : hint - label) + layout()->spacing();
        labels += label;
    }
    // Room for the margins and the bar's own extension button.
    const int needed = iconsOnly + labels + 2 * layout()->contentsMargins().left() + 24;
    const bool compact = needed > width();
    if (compact == m_compact)
        return;
    m_compact = compact;
    for (QToolButton* button : labelled)
        button->setToolButtonStyle(compact ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
}

void MainToolBar::updateBusy() {
    const bool busy = m_c.busy();
    m_stopItem->setVisible(busy);
    m_compareItem->setVisible(!busy);
    m_refreshItem->setVisible(!busy);
    m_export->setEnabled(m_c.result() && !busy);
    fitToWidth();
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
    fitToWidth();
}

void MainToolBar::updateViews() {
    const QSignalBlocker quiet(m_views);
    const QStringList texts{
        tr("Největší soubory"), tr("Největší složky"), tr("Změny od posledního skenu"),
        tr("Ke smazání (") + QString::number(m_c.deleteIDs().size()) + QStringLiteral(")")};
    if (m_views->count() != texts.size())
        m_views->addItems(texts);
    for (int i = 0; i < texts.size(); ++i)
        m_views->setItemText(i, texts[i]);
    const auto views = pickerViews();
    const auto found = std::find(views.begin(), views.end(), m_c.view());
    m_views->setCurrentIndex(found == views.end() ? -1 : int(found - views.begin()));
    m_views->setEnabled(m_c.result() && !m_c.busy());
    fitToWidth();
}

} // namespace tessary
