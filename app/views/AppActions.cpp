#include "AppActions.hpp"

#include "ItemActions.hpp"
#include "Links.hpp"
#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/ScanController.hpp"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>

namespace tessary {

namespace {

QAction* action(QObject* owner, const QString& text, const QKeySequence& shortcut = {}) {
    auto* a = new QAction(text, owner);
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    return a;
}

} // namespace

AppActions::AppActions(ScanController& c, QObject* owner) : QObject(owner), m_c(c) {
    scanFolder = action(this, tr("Skenovat složku…"), QKeySequence(Qt::CTRL | Qt::Key_O));
    scanFolder->setToolTip(tr("Ukáže, co zabírá místo v libovolné složce na disku (%1)")
                               .arg(keysText(scanFolder->shortcut())));
    openDump = action(this, tr("Otevřít výpis databáze…"));
    openDump->setToolTip(tr("Výpis databáze iCloud Drive z jiného Macu, jen pro čtení"));
    iCloudDrive = action(this, tr("iCloud Drive"));
    iCloudDrive->setToolTip(tr("Zpět na iCloud Drive tohoto počítače"));
    compare = action(this, tr("Znovu porovnat"), compareKeys());
    refresh = action(this, tr("Obnovit databázi (brctl dump)…"),
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    stop = action(this, tr("Zrušit"), QKeySequence(Qt::CTRL | Qt::Key_Period));
    summary = action(this, tr("Výsledek skenu…"), QKeySequence(Qt::CTRL | Qt::Key_I));
    home = action(this, tr("Domů (iCloud Drive)"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    parent = action(this, tr("Nadřazená složka"), QKeySequence(Qt::CTRL | Qt::Key_Up));
    topFiles = action(this, tr("Největší soubory"), QKeySequence(Qt::CTRL | Qt::Key_T));
    exportJSON = action(this, tr("Exportovat JSON…"));
    exportCSV = action(this, tr("Exportovat CSV (aktuální složka)…"));
    fullDiskAccess = action(this, tr("Oprávnění k souborům (Plný přístup k disku)…"));
    fullDiskAccess->setToolTip(
        tr("Otevře Nastavení systému → Soukromí a zabezpečení → Plný přístup k disku. Jedno "
           "povolení nahradí dotazy na Plochu, Dokumenty a Stahování."));
    fullDiskAccess->setStatusTip(fullDiskAccess->toolTip());
    website = action(this, tr("Web Varnelo"));
    support = action(this, tr("Napsat podpoře…"));
    privacy = action(this, tr("Ochrana soukromí"));
    // On a Mac, Qt moves it to the application menu under the system's own title.
    quit = action(this, tr("Konec"), QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    item = new ItemActions(c, this);

    connect(scanFolder, &QAction::triggered, this, [this] { m_c.chooseFolderToScan(); });
    connect(openDump, &QAction::triggered, this, [this] { m_c.chooseDumpToOpen(); });
    connect(iCloudDrive, &QAction::triggered, this,
            [this] { m_c.openSource(ScanSource::iCloudDrive()); });
    connect(compare, &QAction::triggered, this, [this] { m_c.startScan(false); });
    connect(refresh, &QAction::triggered, this, [this] { m_c.startScan(true); });
    connect(stop, &QAction::triggered, this, [this] { m_c.stop(); });
    connect(summary, &QAction::triggered, this, [this] { m_c.setShowSummary(true); });
    connect(home, &QAction::triggered, this, [this] { m_c.goHome(); });
    connect(parent, &QAction::triggered, this, [this] { m_c.navigateToParent(); });
    connect(topFiles, &QAction::triggered, this, [this] {
        if (m_c.view() != ScanController::View::top) {
            m_c.loadTopFiles(ScanController::listingRowLimit);
            return;
        }
        m_c.show(ScanController::View::tree); // back to the folder
    });
    connect(quit, &QAction::triggered, this, [] { QApplication::closeAllWindows(); });
    connect(exportJSON, &QAction::triggered, this, [this] { m_c.exportJSON(); });
    connect(exportCSV, &QAction::triggered, this, [this] { m_c.exportCSV(); });
    connect(fullDiskAccess, &QAction::triggered, this,
            [this] { m_c.openFullDiskAccessSettings(); });
    connect(website, &QAction::triggered, this,
            [] { QDesktopServices::openUrl(Links::website()); });
    connect(support, &QAction::triggered, this,
            [] { QDesktopServices::openUrl(Links::support()); });
    connect(privacy, &QAction::triggered, this,
            [] { QDesktopServices::openUrl(Links::privacy()); });

    for (auto signal : {&ScanController::busyChanged, &ScanController::resultChanged,
                        &ScanController::reportChanged, &ScanController::breadcrumbsChanged,
                        &ScanController::currentChanged, &ScanController::viewChanged,
                        &ScanController::summaryChanged, &ScanController::sourceChanged})
        connect(&m_c, signal, this, &AppActions::updateEnabled);
    updateEnabled();
}

void AppActions::updateEnabled() {
    const bool busy = m_c.busy();
    const bool hasResult = m_c.result() != nullptr;
    stop->setEnabled(busy);
    scanFolder->setEnabled(!busy);
    openDump->setEnabled(!busy);
    const bool iCloud = m_c.source().kind == ScanSource::Kind::iCloudDrive;
    iCloudDrive->setEnabled(!busy && !iCloud);
    // Only this computer's own database can be dumped anew.
    refresh->setEnabled(!busy && iCloud);
    summary->setEnabled(m_c.report().has_value() && !busy);
    home->setEnabled(!busy && hasResult && !m_c.isAtHome());
    parent->setEnabled(!busy && !m_c.breadcrumbs().empty());
    topFiles->setEnabled(hasResult && !busy);
    exportJSON->setEnabled(hasResult && !busy);
    exportCSV->setEnabled(m_c.current().has_value() && !busy);
}

void AppActions::fillRecent(QMenu* menu) {
    menu->clear();
    const std::vector<ScanSource> sources = AppSettings::recentSources();
    menu->setEnabled(!sources.empty());
    for (const ScanSource& source : sources) {
        const bool there = source.isAvailable();
        QString text = source.title();
        if (source.readOnly())
            text = tr("%1 (výpis)").arg(text);
        if (!there)
            text = tr("%1 – nenalezeno").arg(text);
        QAction* a = menu->addAction(text);
        a->setToolTip(Fmt::text(source.paths.front()));
        a->setEnabled(there && !m_c.busy());
        connect(a, &QAction::triggered, this, [this, source] { m_c.openSource(source); });
    }
}

QKeySequence AppActions::compareKeys() {
    return QKeySequence(Qt::CTRL | Qt::Key_R);
}

QString AppActions::keysText(const QKeySequence& keys) {
    return keys.toString(QKeySequence::NativeText);
}

void AppActions::fillMenuBar(QMenuBar* bar) {
    QMenu* scan = bar->addMenu(tr("Sken"));
    scan->setToolTipsVisible(true);
    scan->addActions({scanFolder, openDump, iCloudDrive});
    QMenu* recent = scan->addMenu(tr("Nedávné"));
    connect(recent, &QMenu::aboutToShow, this, [this, recent] { fillRecent(recent); });
    fillRecent(recent);
    scan->addSeparator();
    scan->addActions({compare, refresh, stop});
    scan->addSeparator();
    scan->addAction(summary);
    scan->addSeparator();
    scan->addActions({home, parent, topFiles});
    scan->addSeparator();
    scan->addActions({exportJSON, exportCSV});
    scan->addSeparator();
    scan->addAction(fullDiskAccess);
    scan->addSeparator();
    scan->addAction(quit);
    item->fillMenu(bar->addMenu(tr("Položka")));
    QMenu* help = bar->addMenu(tr("Nápověda"));
    help->addActions({website, support, privacy});
}

} // namespace tessary
