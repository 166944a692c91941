#include "FolderTableView.hpp"

#include "AppActions.hpp"

#include "EmptyState.hpp"
#include "ListingTable.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/ScanController.hpp"

#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace tessary {

FolderTableView::FolderTableView(ScanController& c, QWidget* parent)
    : QWidget(parent), m_c(c), m_table(new ListingTable(c, NodeTableModel::Layout::folder, this)),
      m_placeholder(new EmptyState(this)), m_more(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* area = new QWidget(this);
    m_stack = new QStackedLayout(area);
    m_stack->addWidget(m_table);
    m_stack->addWidget(m_placeholder);
    layout->addWidget(area, 1);
    m_more->setContentsMargins(10, 4, 10, 4);
    m_more->setTextFormat(Qt::PlainText);
    layout->addWidget(m_more);

    connect(m_table, &ListingTable::rowActivated, this, [this](const NodeDTO& node) {
        if (node.isDir())
            m_c.navigate(node.id, true);
        else
            m_c.revealInFinder(node.id);
    });
    for (auto signal : {&ScanController::childrenChanged, &ScanController::moreChanged,
                        &ScanController::busyChanged, &ScanController::resultChanged,
                        &ScanController::currentChanged, &ScanController::phaseChanged})
        connect(&c, signal, this, &FolderTableView::update);
    update();
}

bool FolderTableView::showsPlaceholder() const {
    return m_stack->currentWidget() == m_placeholder;
}

QString FolderTableView::moreText() const {
    return m_more->isHidden() ? QString() : m_more->text();
}

void FolderTableView::update() {
    ScanController::Rows rows = m_c.children();
    if (rows != m_table->rowsModel().rows())
        m_table->rowsModel().setRows(std::move(rows));
    const std::int64_t more = m_c.more();
    m_more->setText(more > 0 ? tr("… a dalších ") + Fmt::plural(more, "items") +
                                   tr(" (export CSV obsahuje vše)")
                             : QString());
    m_more->setVisible(more > 0);
    updatePlaceholder();
}

void FolderTableView::updatePlaceholder() {
    const bool empty = m_table->rowsModel().rowCount() == 0;
    m_stack->setCurrentWidget(empty ? static_cast<QWidget*>(m_placeholder) : m_table);
    if (!empty)
        return;
    const auto current = m_c.current();
    if (!m_c.result()) {
        if (m_c.busy())
            m_placeholder->set(tr("Probíhá sken"), {}, ScanController::phaseLabel(m_c.phase()));
        else
            m_placeholder->set(tr("Žádná data"), QStringLiteral("icloud"),
                               tr("Spusťte sken tlačítkem „Znovu porovnat“ (%1).")
                                   .arg(AppActions::keysText(AppActions::compareKeys())));
    } else if (current && current->isDir() && current->isCloudOnly()) {
        m_placeholder->set(tr("Složka je jen v cloudu"), QStringLiteral("icloud"),
                           tr("Databáze o jejím obsahu nic neví. Tlačítkem „☁ Načíst složku z "
                              "iCloudu“ se stáhne jen seznam, ne obsah."));
    } else {
        m_placeholder->set(tr("Prázdná složka"), QStringLiteral("folder"), {});
    }
}

} // namespace tessary
