#include "ContentView.hpp"

#include "AppActions.hpp"
#include "BreadcrumbBar.hpp"
#include "DeleteListHeader.hpp"
#include "FileListView.hpp"
#include "FolderTableView.hpp"
#include "ListingTable.hpp"
#include "MainToolBar.hpp"
#include "NameCell.hpp"
#include "StatusBar.hpp"
#include "SummaryCardsView.hpp"
#include "SummaryOverlay.hpp"
#include "ToastOverlay.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tessary {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* headerLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

} // namespace

ContentView::ContentView(ScanController& c, AppActions& actions, QMainWindow* window)
    : QWidget(window), m_c(c), m_toolBar(new MainToolBar(c, actions, window)),
      m_cards(new SummaryCardsView(c, this)), m_breadcrumbs(new BreadcrumbBar(c, this)),
      m_pane(new QStackedWidget(this)), m_folder(new FolderTableView(c, m_pane)),
      m_usageSlot(new QWidget(this)), m_usageLayout(new QVBoxLayout(m_usageSlot)),
      m_status(new StatusBar(c, this)), m_toast(new ToastOverlay(c, window)),
      m_summary(new SummaryOverlay(c, window)), m_searchTask(new QTimer(this)) {
    window->addToolBar(Qt::TopToolBarArea, m_toolBar);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_cards);
    layout->addWidget(divider(this));
    layout->addWidget(m_breadcrumbs);
    layout->addWidget(divider(this));
    m_pane->setMinimumSize(480, 240);
    layout->addWidget(m_pane, 1);
    m_usageLayout->setContentsMargins(0, 0, 0, 0);
    m_usageSlot->hide();
    layout->addWidget(m_usageSlot);
    layout->addWidget(divider(this));
    layout->addWidget(m_status);
    buildListings();
    useItemActions(actions.item);

    m_searchTask->setSingleShot(true);
    m_searchTask->setInterval(searchDelayMs);
    connect(m_searchTask, &QTimer::timeout, this, &ContentView::search);
    // A search typed while an operation runs waits for its end.
    connect(&c, &ScanController::operationFinished, this, [this] {
        if (m_searchAfterRun && !m_c.busy()) {
            // The end of a scan leaves the search; what was typed meanwhile comes back.
            m_searchAfterRun = false;
            m_c.setQuery(m_queryAfterRun);
            search();
        }
    });
    QLineEdit* field = m_toolBar->searchField();
    connect(field, &QLineEdit::textEdited, this, &ContentView::queryEdited);
    connect(field, &QLineEdit::returnPressed, this, &ContentView::submitQuery);
    // The clear button of the field changes the text without a textEdited signal.
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty() && !m_c.query().isEmpty())
            queryEdited(text);
    });
    connect(&c, &ScanController::queryChanged, this, [this] {
        if (m_toolBar->searchField()->text() != m_c.query())
            m_toolBar->searchField()->setText(m_c.query());
    });

    connect(&c, &ScanController::viewChanged, this, &ContentView::updateView);
    connect(&c, &ScanController::topFilesChanged, this, [this] { m_top->setRows(m_c.topFiles()); });
    connect(&c, &ScanController::bigDirsChanged, this,
            [this] { m_bigDirs->setRows(m_c.bigDirs()); });
    connect(&c, &ScanController::deleteRowsChanged, this,
            [this] { m_deleteList->setRows(m_c.deleteRows()); });
    for (auto signal : {&ScanController::searchResultsChanged, &ScanController::searchTotalChanged,
                        &ScanController::queryChanged})
        connect(&c, signal, this, &ContentView::updateSearch);
    for (auto signal : {&ScanController::currentChanged, &ScanController::summaryChanged})
        connect(&c, signal, this, &ContentView::updateHeaders);
    connect(&c, &ScanController::topCloudOnlyChanged, this,
            [this] { m_cloudOnly->setChecked(m_c.topCloudOnly()); });
    updateHeaders();
    updateSearch();
    updateView();
}

void ContentView::buildListings() {
    m_pane->addWidget(m_folder);

    auto* topHeader = new QWidget(this);
    auto* topLine = new QHBoxLayout(topHeader);
    topLine->setContentsMargins(0, 0, 0, 0);
    m_topHeader = headerLabel(topHeader);
    m_cloudOnly = new QCheckBox(tr("Jen v cloudu ☁"), topHeader);
    topLine->addWidget(m_topHeader, 1);
    topLine->addWidget(m_cloudOnly);
    connect(m_cloudOnly, &QCheckBox::toggled, this, [this](bool on) {
        if (on == m_c.topCloudOnly())
            return;
        m_c.setTopCloudOnly(on);
        m_c.loadTopFiles(ScanController::listingRowLimit);
    });
    m_top = new FileListView(m_c, topHeader, m_pane);
    m_top->setEmptyText(tr("Žádné soubory."));

    m_bigDirsHeader = headerLabel(this);
    m_bigDirs = new FileListView(m_c, m_bigDirsHeader, m_pane);
    m_bigDirs->setEmptyText(tr("Žádné složky."));

    m_searchHeader = headerLabel(this);
    m_search = new FileListView(m_c, m_searchHeader, m_pane);

    m_deleteHeader = new DeleteListHeader(m_c, this);
    m_deleteList = new FileListView(m_c, m_deleteHeader, m_pane);
    m_deleteList->setEmptyText(
        tr("Seznam ke smazání je prázdný. Přidejte soubory pravým tlačítkem myši → „Přidat do "
           "seznamu ke smazání“."));
    m_deleteList->setRows(m_c.deleteRows());
    buildChanges();
    for (FileListView* list : {m_top, m_bigDirs, m_search, m_deleteList, m_changes})
        m_pane->addWidget(list);
}

void ContentView::buildChanges() {
    auto* header = new QWidget(this);
    auto* line = new QHBoxLayout(header);
    line->setContentsMargins(0, 0, 0, 0);
    m_changesHeader = headerLabel(header);
    m_comparedScan = new QComboBox(header);
    m_comparedScan->setAccessibleName(tr("Porovnat se skenem"));
    m_comparedScan->setToolTip(tr("Se kterým dřívějším skenem porovnat"));
    line->addWidget(m_changesHeader, 1);
    line->addWidget(m_comparedScan);
    connect(m_comparedScan, &QComboBox::activated, this,
            [this](int index) { m_c.compareWith(index); });
    m_changes = new FileListView(m_c, header, m_pane);
    for (auto signal : {&ScanController::changeRowsChanged, &ScanController::earlierScansChanged,
                        &ScanController::comparedScanChanged, &ScanController::changeSummaryChanged,
                        &ScanController::busyChanged})
        connect(&m_c, signal, this, &ContentView::updateChanges);
    updateChanges();
}

void ContentView::updateChanges() {
    const auto summary = m_c.changeSummary();
    m_changesHeader->setText(
        summary ? tr("Největší změny od skenu %1: %2 v iCloudu, %3 na tomto Macu")
                      .arg(Fmt::time(double(summary->since)), Fmt::signedSize(summary->qta),
                           Fmt::signedSize(summary->local))
                : tr("Změny od posledního skenu"));
    m_changes->setEmptyText(summary ? tr("Od tohoto skenu se nic nezměnilo.")
                                    : tr("Není s čím porovnat: toto je první sken tohoto zdroje. "
                                         "Změny ukáže příští sken."));
    m_changes->setRows(m_c.changeRows());
    const QSignalBlocker quiet(m_comparedScan);
    m_comparedScan->clear();
    for (const std::int64_t time : m_c.earlierScans())
        m_comparedScan->addItem(tr("Porovnat se skenem z %1").arg(Fmt::time(double(time))));
    m_comparedScan->setCurrentIndex(m_c.comparedScan());
    m_comparedScan->setVisible(!m_c.earlierScans().empty());
    m_comparedScan->setEnabled(!m_c.busy());
}

void ContentView::useItemActions(const ItemActions* actions) {
    m_folder->table().setItemActions(actions);
    for (FileListView* list : {m_top, m_bigDirs, m_search, m_deleteList, m_changes})
        list->table().setItemActions(actions);
}

FileListView& ContentView::fileList(ScanController::View view) {
    switch (view) {
    case ScanController::View::top:
        return *m_top;
    case ScanController::View::bigDirs:
        return *m_bigDirs;
    case ScanController::View::search:
        return *m_search;
    case ScanController::View::changes:
        return *m_changes;
    case ScanController::View::deleteList:
    case ScanController::View::tree:
        break;
    }
    return *m_deleteList;
}

void ContentView::setUsageBar(QWidget* bar) {
    while (QLayoutItem* item = m_usageLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (bar)
        m_usageLayout->addWidget(bar);
    m_usageSlot->setVisible(bar != nullptr);
}

void ContentView::setSummaryView(QWidget* view) {
    m_summary->setCard(view);
}

QWidget* ContentView::shownListing() const {
    return m_pane->currentWidget();
}

bool ContentView::isSearchPending() const {
    return m_searchTask->isActive();
}

QString ContentView::headerText(ScanController::View view) const {
    switch (view) {
    case ScanController::View::top:
        return m_topHeader->text();
    case ScanController::View::bigDirs:
        return m_bigDirsHeader->text();
    case ScanController::View::search:
        return m_searchHeader->text();
    case ScanController::View::changes:
        return m_changesHeader->text();
    case ScanController::View::deleteList:
    case ScanController::View::tree:
        break;
    }
    return {};
}

void ContentView::queryEdited(const QString& text) {
    m_c.setQuery(text);
    m_searchTask->stop();
    if (text.isEmpty()) {
        m_searchAfterRun = false;
        // An emptied field never starts a search: it leaves the hits for the folder they were
        // searched from, or simply drops the search still waiting.
        if (m_c.view() == ScanController::View::search)
            m_c.show(ScanController::View::tree);
        return;
    }
    m_searchTask->start();
}

void ContentView::submitQuery() {
    m_searchTask->stop();
    m_c.setQuery(m_toolBar->searchField()->text());
    search();
}

void ContentView::search() {
    m_searchAfterRun = m_c.busy();
    m_queryAfterRun = m_c.query();
    if (!m_searchAfterRun)
        m_c.runSearch(ScanController::listingRowLimit);
}

void ContentView::updateView() {
    switch (m_c.view()) {
    case ScanController::View::tree:
        m_pane->setCurrentWidget(m_folder);
        return;
    case ScanController::View::top:
        m_top->setRows(m_c.topFiles());
        break;
    case ScanController::View::bigDirs:
        m_bigDirs->setRows(m_c.bigDirs());
        break;
    case ScanController::View::search:
        updateSearch();
        break;
    case ScanController::View::deleteList:
        m_deleteList->setRows(m_c.deleteRows());
        break;
    case ScanController::View::changes:
        updateChanges();
        break;
    }
    m_pane->setCurrentWidget(&fileList(m_c.view()));
}

QString ContentView::currentName() const {
    const auto current = m_c.current();
    return current ? NameCell::displayName(*current, m_c.summary()) : QString();
}

void ContentView::updateHeaders() {
    const QString name = currentName();
    m_topHeader->setText(tr("Největší soubory v „") + name + tr("“ (celý podstrom)"));
    m_bigDirsHeader->setText(tr("Složky s nejvíc daty přímo uvnitř (bez podsložek) v „") + name +
                             tr("“ – velikosti jsou jen za soubory přímo ve složce"));
}

void ContentView::updateSearch() {
    const ScanController::Rows rows = m_c.searchResults();
    const std::int64_t total = m_c.searchTotal();
    QString header = tr("Nalezeno ") + Fmt::plural(total, "items");
    if (total > std::int64_t(rows.size()))
        header += tr(", zobrazeno 200 největších");
    m_searchHeader->setText(header);
    m_search->setEmptyText(m_c.query().trimmed().size() < ScanController::searchMinLength
                               ? tr("Zadejte aspoň 2 znaky.")
                               : tr("Nic nenalezeno."));
    m_search->setRows(rows);
}

} // namespace tessary
