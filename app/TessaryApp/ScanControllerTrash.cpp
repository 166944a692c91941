// The delete list, the rules that decide what may be moved to the Trash, the two confirmation
// dialogs and the trash run.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/DesktopServices.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/NamedThread.hpp"
#include "TessaryApp/NestedItems.hpp"
#include "TessaryApp/TrashMover.hpp"
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <set>
#include <sys/stat.h>

namespace tessary {

namespace {

constexpr const char* webHost = "icloud.com";
constexpr std::size_t dialogListLimit = 8;

// A size for a line of a dialog's list: the number and its unit never part at a line break.
QString unbrokenSize(std::int64_t bytes) {
    return Fmt::size(bytes).replace(QLatin1Char(' '), QChar::Nbsp);
}

std::string lastComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path without trailing "/" (but "/" itself stays).
std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

void ScanController::storeDeleteIDs(IDList ids) {
    AppSettings::setDeleteList(ids);
    m_deleteIDs = std::move(ids);
}

void ScanController::addToDeleteList(const std::string& id) {
    IDList ids = m_deleteIDs;
    if (std::find(ids.begin(), ids.end(), id) != ids.end())
        return;
    const Item* item = find(id);
    if (item) {
        if (const std::optional<QString> reason = trashReason(*item)) {
            showToast(*reason, 3.5);
            return;
        }
    }
    ids.push_back(id);
    const auto count = static_cast<std::int64_t>(ids.size());
    storeDeleteIDs(std::move(ids));
    refreshDeleteRows();
    const std::optional<QString> app = item ? appDataApp(*item) : std::nullopt;
    if (app)
        showToast(tr("Pozor: jsou to interní data aplikace %1. Smazáním můžete přijít o její data "
                     "nebo zálohu. Přidáno na seznam (%2).")
                      .arg(*app, Fmt::plural(count, "items")),
                  7);
    else
        showToast(tr("Přidáno do seznamu ke smazání (%1).").arg(Fmt::plural(count, "items")), 3.5);
}

void ScanController::removeFromDeleteList(const std::string& id) {
    IDList ids = m_deleteIDs;
    std::erase(ids, id);
    storeDeleteIDs(std::move(ids));
    refreshDeleteRows();
    if (m_view == View::deleteList)
        m_colorRank = ranks(m_deleteRows);
}

void ScanController::clearDeleteList() {
    storeDeleteIDs({});
    refreshDeleteRows();
    if (m_view == View::deleteList)
        m_colorRank = ranks(m_deleteRows);
}

void ScanController::refreshDeleteRows() {
    const ResultPtr result = m_result;
    if (!result || m_busy)
        return;
    Rows rows;
    for (const std::string& id : m_deleteIDs.value())
        if (const Item* item = result->get(id))
            rows.push_back(listedRow(*item));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const NodeDTO& a, const NodeDTO& b) { return a.qta > b.qta; });
    std::vector<const Item*> items;
    for (const NodeDTO& row : rows)
        items.push_back(result->get(row.id));
    const std::vector<bool> inside = NestedItems::insideAnother(*result, items);
    Savings savings;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (inside[i]) {
            ++savings.nested;
            continue;
        }
        savings.qta += rows[i].qta;
        savings.cloud += rows[i].cloud;
        savings.local += rows[i].local;
        ++savings.items;
    }
    m_deleteRows = std::move(rows);
    m_deleteSavings = savings;
}

std::optional<QString> ScanController::trashReason(const std::string& id) const {
    const Item* item = find(id);
    if (!item)
        return tr("Položka v datech není.");
    return trashReason(*item);
}

std::optional<QString> ScanController::trashReason(const Item& item) const {
    if (item.isVirtual())
        return tr("Kořen kontejneru nelze smazat.");
#ifdef __APPLE__
    if (!item.resolved || !item.hasPath())
        return tr("Jméno je maskované – soubor se na disku nepodařilo najít. Smažte ho ve Finderu "
                  "nebo na %1.")
            .arg(QString::fromLatin1(webHost));
    if (item.ambiguous)
        return tr("Přiřazení jména je jen odhad – kvůli bezpečnosti ho smažte ve Finderu.");
#else
    if (!item.resolved || !item.hasPath())
        return tr("Jméno je maskované – soubor se na disku nepodařilo najít. Smažte ho ve správci "
                  "souborů nebo na %1.")
            .arg(QString::fromLatin1(webHost));
    if (item.ambiguous)
        return tr("Přiřazení jména je jen odhad – kvůli bezpečnosti ho smažte ve správci souborů.");
#endif
    const std::string path(*item.path());
    if (isProtectedFolder(path))
        return tr("Systémovou složku nelze smazat.");
    if (!(path + "/").starts_with(m_env.home + "/"))
        return tr("Položka leží mimo vaši domovskou složku.");
    if (!FS::lstat(path))
        return tr("Položka už na disku není (možná byla smazaná jinde). Klikněte na „Znovu "
                  "porovnat“.");
    return std::nullopt;
}

// The protected folders are compared by identity (device and inode), so another spelling of the
// same folder — a trailing "/", another letter case or normalisation on a file system that
// ignores them, a path through a symbolic link — is refused as well. A protected folder that
// does not exist is compared by its text, without trailing "/".
bool ScanController::isProtectedFolder(const std::string& path) const {
    std::vector<std::string> folders = {
        m_env.home,
        m_env.mobileDocs,
        m_env.cloudDocsDir,
        FS::join(m_env.home, "Desktop"),
        FS::join(m_env.home, "Documents"),
        FS::join(m_env.home, "Downloads"),
        // Where the system keeps the synced Desktop and Documents folders.
        FS::join(m_env.cloudDocsDir, "Desktop"),
        FS::join(m_env.cloudDocsDir, "Documents"),
    };
    if (const ResultPtr result = m_result)
        for (const auto& [index, container] : result->containers)
            if (container.localPath) {
                folders.push_back(*container.localPath);
                folders.push_back(FS::join(*container.localPath, "Documents"));
            }
    struct stat target {};
    const bool known = ::lstat(path.c_str(), &target) == 0;
    const std::string text = withoutTrailingSlash(path);
    for (const std::string& folder : folders) {
        if (withoutTrailingSlash(folder) == text)
            return true;
        struct stat protectedFolder {};
        if (known && ::stat(folder.c_str(), &protectedFolder) == 0 &&
            protectedFolder.st_dev == target.st_dev && protectedFolder.st_ino == target.st_ino)
            return true;
    }
    return false;
}

std::optional<QString> ScanController::appDataApp(const Item& item) const {
    const ResultPtr result = m_result;
    // Only the database knows app containers; the roots of a disk-only scan are plain folders.
    if (!result || result->mode != ScanMode::dump)
        return std::nullopt;
    const auto found = result->containers.find(item.container());
    if (found == result->containers.end())
        return std::nullopt;
    const Container& container = found->second;
    if (container.name == std::optional<std::string>("com.apple.CloudDocs"))
        return std::nullopt;
    if (!container.localPath || !item.hasPath())
        return std::nullopt;
    const std::string documents = FS::join(*container.localPath, "Documents") + "/";
    if ((std::string(*item.path()) + "/").starts_with(documents))
        return std::nullopt;
    return Fmt::text(container.display);
}

void ScanController::confirmAndTrash(const IDList& ids) {
    const ResultPtr result = m_result;
    if (m_busy || !result)
        return;
    std::vector<Item*> items;
    for (const std::string& id : ids)
        if (Item* item = result->get(id))
            items.push_back(item);
    std::vector<Item*> allowed;
    for (Item* item : items)
        if (!trashReason(*item))
            allowed.push_back(item);
    const int refused = static_cast<int>(items.size() - allowed.size());
    if (allowed.empty()) {
        if (items.size() == 1)
            showToast(*trashReason(*items.front()), 6);
        else
            showToast(tr("Žádnou z položek nelze bezpečně smazat."), 6);
        return;
    }
    if (!confirmTrashDialogs(allowed, refused))
        return;

    // A folder and items inside it may all be confirmed: only the outermost are moved, and
    // the inner ones leave with their folder, so nothing is moved twice or counted twice.
    const std::vector<bool> inside =
        NestedItems::insideAnother(*result, {allowed.begin(), allowed.end()});
    std::vector<TrashMover::Job> jobs;
    IDList inner;
    for (std::size_t i = 0; i < allowed.size(); ++i) {
        if (inside[i])
            inner.emplace_back(allowed[i]->id());
        else
            jobs.push_back(TrashMover::jobFor(*allowed[i]));
    }

    // The run starts as every operation does: an earlier scan's error is no longer shown.
    beginOperation();
    setProgress("trash", 0, static_cast<std::int64_t>(jobs.size()), tr("Přesouvám do Koše…"));

    QPointer<ScanController> self(this);
    auto progress = progressSink();
    const bool started = NamedThread::start("icloud-trash", NamedThread::defaultStack,
                                            [self, home = m_env.home, jobs, inner, progress] {
                                                TrashMover::Outcome outcome =
                                                    TrashMover::run(home, jobs, progress);
                                                QMetaObject::invokeMethod(
                                                    QCoreApplication::instance(),
                                                    [self, outcome = std::move(outcome), inner] {
                                                        if (self)
                                                            self->finishTrash(outcome, inner);
                                                    },
                                                    Qt::QueuedConnection);
                                            });
    if (!started) {
        TrashMover::Outcome outcome;
        for (const TrashMover::Job& job : jobs)
            outcome.failed.push_back(
                {lastComponent(job.path),
                 tr("Nepodařilo se spustit vlákno pro práci s diskem.").toStdString()});
        finishTrash(outcome, {});
    }
}

bool ScanController::confirmTrashDialogs(const std::vector<Item*>& allowed, int refused) {
    if (!m_desktop)
        return false;
    // What really moves: the outermost items, each counted once; the listed items inside them
    // go along with their folder.
    const ResultPtr result = m_result;
    const std::vector<bool> inside =
        NestedItems::insideAnother(*result, {allowed.begin(), allowed.end()});
    std::vector<const Item*> outer;
    std::int64_t inner = 0;
    for (std::size_t i = 0; i < allowed.size(); ++i) {
        if (inside[i])
            ++inner;
        else
            outer.push_back(allowed[i]);
    }
    const auto n = static_cast<std::int64_t>(outer.size());
    std::int64_t total = 0;
    for (const Item* item : outer)
        total += item->aggQta;

    DesktopServices::Alert first;
    first.style = DesktopServices::AlertStyle::warning;
    first.message = n == 1 ? tr("Přesunout „%1“ do Koše?").arg(Fmt::text(outer.front()->name()))
                           : tr("Přesunout %1 do Koše?").arg(Fmt::plural(n, "items"));
#ifdef __APPLE__
    first.informativeText =
        tr("Celkem %1 v iCloudu. Položky z iCloud Drive tím zmizí ze všech vašich zařízení. "
           "Dokud Koš nevysypete, můžete je ve Finderu vrátit (Koš → Vrátit).")
            .arg(Fmt::size(total));
#else
    first.informativeText =
        tr("Celkem %1 v iCloudu. Položky z iCloud Drive tím zmizí ze všech vašich zařízení. "
           "Dokud Koš nevysypete, můžete je vrátit v Koši ve správci souborů.")
            .arg(Fmt::size(total));
#endif
    if (n >= 2) {
        QStringList lines;
        for (std::size_t i = 0; i < std::min(outer.size(), dialogListLimit); ++i)
            lines.push_back(QStringLiteral("• %1 (%2)")
                                .arg(Fmt::text(outer[i]->name()), unbrokenSize(outer[i]->aggQta)));
        if (outer.size() > dialogListLimit)
            lines.push_back(tr("… a dalších %1").arg(outer.size() - dialogListLimit));
        first.informativeText += QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
    }
    if (inner >= 1)
        first.informativeText +=
            QStringLiteral("\n\n") +
            tr("Obsah ze seznamu, který leží uvnitř (%1), se přesune také a nepočítá se dvakrát.")
                .arg(Fmt::plural(inner, "items"));
    if (refused >= 1)
        first.informativeText +=
            QStringLiteral("\n\n") + (refused == 1
                                          ? tr("%1 nelze bezpečně smazat – zůstane na seznamu.")
                                          : tr("%1 nelze bezpečně smazat – zůstanou na seznamu."))
                                         .arg(Fmt::plural(refused, "itemsAccusative"));
    first.buttons = {tr("Přesunout do Koše"), tr("Zrušit")};
    first.destructive = 0;
    if (m_desktop->confirm(first) != 0)
        return false;

    std::set<QString> apps;
    std::int64_t appItems = 0;
    for (const Item* item : outer)
        if (const std::optional<QString> app = appDataApp(*item)) {
            apps.insert(*app);
            ++appItems;
        }
    if (apps.empty())
        return true;
    DesktopServices::Alert second;
    second.style = DesktopServices::AlertStyle::critical;
    second.message = tr("Opravdu smazat interní data aplikací?");
    second.informativeText =
        tr("%1 patří aplikacím: %2.")
            .arg(Fmt::plural(appItems, "items"),
                 QStringList(apps.begin(), apps.end()).join(QStringLiteral(", "))) +
        QStringLiteral("\n\n") +
        tr("Tato data spravuje aplikace sama (zálohy, databáze, synchronizace). Jejich smazáním "
           "můžete přijít o zálohu (např. chatů), rozbít synchronizaci nebo smazat záznamy na "
           "všech svých zařízeních a aplikace pak nemusí správně fungovat.") +
        QStringLiteral("\n\n") +
        tr("Bezpečnější je mazat přímo v dané aplikaci, nebo v Nastavení systému → Apple účet → "
           "iCloud → Spravovat.");
    second.buttons = {tr("Zrušit"), tr("Přesto smazat")};
    second.destructive = 1;
    return m_desktop->confirm(second) == 1;
}

void ScanController::finishTrash(const TrashMover::Outcome& outcome, const IDList& inner) {
    m_busy = false;
    m_finished = QDateTime::currentDateTime();
    m_runID = m_runID + 1;
    const ResultPtr result = m_result;
    if (!result)
        return;
    std::int64_t freed = 0;
    std::set<std::string> gone;
    for (const std::string& id : outcome.done)
        if (Item* item = result->get(id)) {
            freed += item->aggQta;
            // The confirmed items inside this folder went with it.
            for (const std::string& innerID : inner)
                if (const Item* innerItem = result->get(innerID))
                    for (const Item* ancestor : result->ancestors(*innerItem))
                        if (ancestor == item)
                            gone.insert(innerID);
            result->remove(*item);
            gone.insert(id);
        }
    IDList ids = m_deleteIDs;
    std::erase_if(ids, [&gone](const std::string& id) { return gone.contains(id); });
    storeDeleteIDs(std::move(ids));
    Aggregator::aggregate(*result);
    m_breakdownCache.clear();
    m_searchIndex = buildSearchIndex(*result);
    const auto moved = static_cast<std::int64_t>(outcome.done.size());
    setProgress("done", 1, 1,
                tr("Přesunuto do Koše: %1, %2").arg(Fmt::plural(moved, "items"), Fmt::size(freed)));
    refreshSnapshots(currentID());
    m_report = ScanReport::build(*result);
    if (outcome.failed.empty()) {
        showToast(tr("Přesunuto do Koše: %1 (%2). Server údaje aktualizuje při příštím „Obnovit "
                     "databázi“.")
                      .arg(Fmt::plural(moved, "items"), Fmt::size(freed)),
                  7);
        return;
    }
    DesktopServices::Alert alert;
    alert.style = DesktopServices::AlertStyle::warning;
    alert.message =
        tr("%1 se nepodařilo přesunout do Koše")
            .arg(Fmt::plural(static_cast<std::int64_t>(outcome.failed.size()), "itemsAccusative"));
    QStringList lines;
    for (std::size_t i = 0; i < std::min(outcome.failed.size(), dialogListLimit); ++i)
        lines.push_back(
            QStringLiteral("• %1: %2")
                .arg(Fmt::text(outcome.failed[i].name), Fmt::text(outcome.failed[i].reason)));
#ifdef __APPLE__
    alert.informativeText = lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") +
                            tr("Zkuste je smazat ve Finderu (pravé tlačítko → Ukázat ve Finderu).");
#else
    alert.informativeText =
        lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") +
        tr("Zkuste je smazat ve správci souborů (pravé tlačítko → Ukázat ve správci souborů).");
#endif
    alert.buttons = {tr("OK")};
    if (m_desktop)
        m_desktop->inform(alert);
}

} // namespace tessary
