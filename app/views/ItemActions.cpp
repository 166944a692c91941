#include "ItemActions.hpp"

#include "Icons.hpp"

#include "TessaryApp/ScanController.hpp"
#include "TessaryApp/TrashPolicy.hpp"

#include <QAction>
#include <QMenu>

#include <array>

namespace tessary {

namespace {

using Command = ItemActions::Command;

constexpr std::array allCommands{Command::open,  Command::reveal,       Command::copyPath,
                                 Command::evict, Command::toggleListed, Command::trash};

QAction* makeAction(QObject* owner, const char* symbol, const QKeySequence& keys = {}) {
    auto* a = new QAction(owner);
    a->setIcon(Icons::icon(symbol));
    if (!keys.isEmpty()) {
        a->setShortcut(keys);
        // The keys belong to the listings; a text field keeps its own Delete and copy.
        a->setShortcutContext(Qt::WindowShortcut);
    }
    return a;
}

QString revealText() {
#ifdef __APPLE__
    return ItemActions::tr("Ukázat ve Finderu");
#else
    return ItemActions::tr("Ukázat ve správci souborů");
#endif
}

} // namespace

ItemActions::ItemActions(ScanController& c, QObject* owner)
    : QObject(owner), m_c(c), m_open(makeAction(this, "arrow.up.forward.app")),
      m_reveal(makeAction(this, "finder", QKeySequence(Qt::CTRL | Qt::Key_Return))),
      m_copyPath(makeAction(this, "doc.on.doc", QKeySequence::Copy)),
      m_evict(makeAction(this, "icloud.and.arrow.up")),
      m_toggleListed(makeAction(this, "trash", QKeySequence(Qt::Key_Delete))),
      m_trash(makeAction(this, "trash.circle")) {
    for (Command command : allCommands)
        connect(action(command), &QAction::triggered, this, [this, command] {
            if (m_row)
                run(m_c, *m_row, command);
        });
    for (auto signal : {&ScanController::selectedIDChanged, &ScanController::busyChanged,
                        &ScanController::deleteIDsChanged, &ScanController::viewChanged,
                        &ScanController::childrenChanged, &ScanController::topFilesChanged,
                        &ScanController::bigDirsChanged, &ScanController::searchResultsChanged,
                        &ScanController::deleteRowsChanged, &ScanController::changeRowsChanged})
        connect(&m_c, signal, this, &ItemActions::update);
    update();
}

QAction* ItemActions::action(Command command) const {
    switch (command) {
    case Command::open:
        return m_open;
    case Command::reveal:
        return m_reveal;
    case Command::copyPath:
        return m_copyPath;
    case Command::evict:
        return m_evict;
    case Command::toggleListed:
        return m_toggleListed;
    case Command::trash:
        return m_trash;
    }
    return m_open;
}

ItemActions::State ItemActions::state(ScanController& c, const NodeDTO& node, Command command) {
    State s;
    switch (command) {
    case Command::open:
        s.text = node.isDir() ? tr("Otevřít složku") : tr("Otevřít");
        // A file opens in the file manager, which a dump from another Mac has nothing in.
        s.enabled = !c.busy() && (node.isDir() || !c.source().readOnly());
        break;
    case Command::reveal:
        s.text = revealText();
        s.enabled = c.localPath(node.id).has_value();
        break;
    case Command::copyPath:
        s.text = tr("Kopírovat cestu");
        s.enabled = c.localPath(node.id).has_value();
        break;
    case Command::evict: {
        const std::optional<QString> reason = c.evictVerdict(node.id);
        s.text = tr("Uvolnit z tohoto Macu…");
        s.enabled = !reason && !c.busy();
        s.toolTip = reason.value_or(
            tr("Stažené soubory zůstanou v iCloudu a stáhnou se znovu, až je otevřete."));
        break;
    }
    case Command::toggleListed: {
        const TrashVerdict verdict = c.trashVerdict(node.id);
        s.text = verdict.listed ? tr("Odebrat ze seznamu ke smazání")
                                : tr("Přidat do seznamu ke smazání");
        s.enabled = verdict.listed || verdict.allowed;
        s.toolTip = verdict.reason.value_or(QString());
        break;
    }
    case Command::trash: {
        const TrashVerdict verdict = c.trashVerdict(node.id);
        s.text = tr("Přesunout do Koše…");
        s.enabled = verdict.allowed && !c.busy();
        s.toolTip = verdict.reason.value_or(QString());
        break;
    }
    }
    if (!s.enabled && c.source().readOnly())
        s.toolTip = TrashPolicy::readOnlyReason();
    return s;
}

void ItemActions::run(ScanController& c, const NodeDTO& node, Command command) {
    const std::string id = node.id;
    switch (command) {
    case Command::open:
        if (node.isDir())
            c.navigate(id, true);
        else
            c.revealInFinder(id);
        break;
    case Command::reveal:
        c.revealInFinder(id);
        break;
    case Command::copyPath:
        c.copyPath(id);
        break;
    case Command::evict:
        c.confirmAndEvict({id});
        break;
    case Command::toggleListed:
        if (c.isListed(id))
            c.removeFromDeleteList(id);
        else
            c.addToDeleteList(id);
        break;
    case Command::trash:
        c.confirmAndTrash({id});
        break;
    }
}

std::optional<NodeDTO> ItemActions::selectedRow() const {
    const std::optional<std::string> id = m_c.selectedID();
    if (!id)
        return std::nullopt;
    ScanController::Rows rows;
    switch (m_c.view()) {
    case ScanController::View::tree:
        rows = m_c.children();
        break;
    case ScanController::View::top:
        rows = m_c.topFiles();
        break;
    case ScanController::View::bigDirs:
        rows = m_c.bigDirs();
        break;
    case ScanController::View::search:
        rows = m_c.searchResults();
        break;
    case ScanController::View::deleteList:
        rows = m_c.deleteRows();
        break;
    case ScanController::View::changes:
        rows = m_c.changeRows();
        break;
    }
    for (NodeDTO& row : rows)
        if (row.id == *id)
            return std::move(row);
    return std::nullopt;
}

void ItemActions::update() {
    m_row = selectedRow();
    for (Command command : allCommands) {
        QAction* a = action(command);
        if (!m_row) {
            // Without a row each action keeps a general text and waits for a selection.
            a->setEnabled(false);
            if (a->text().isEmpty())
                a->setText(state(m_c, NodeDTO(), command).text);
            continue;
        }
        const State s = state(m_c, *m_row, command);
        a->setText(s.text);
        a->setEnabled(s.enabled);
        a->setToolTip(s.toolTip.isEmpty() ? s.text : s.toolTip);
    }
}

void ItemActions::fillMenu(QMenu* menu) const {
    menu->setToolTipsVisible(true);
    menu->addActions({m_open, m_reveal, m_copyPath});
    menu->addSeparator();
    menu->addAction(m_evict);
    menu->addSeparator();
    menu->addActions({m_toggleListed, m_trash});
}

} // namespace tessary
