// The delete list's commands, the two confirmation dialogs and the Trash run. The rules that
// decide what may go to the Trash are TrashPolicy's.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/DesktopServices.hpp"
#include "TessaryApp/DialogList.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/NestedItems.hpp"
#include "TessaryApp/NodeRows.hpp"
#include "TessaryApp/TrashMover.hpp"
#include "TessaryApp/TrashPolicy.hpp"
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <algorithm>
#include <set>

namespace tessary {

namespace {

// A size for a line of a dialog's list: the number and its unit never part at a line break.
QString unbrokenSize(std::int64_t bytes) {
    return Fmt::size(bytes).replace(QLatin1Char(' '), QChar::Nbsp);
}

} // namespace

void ScanController::syncDeleteIDs() {
    m_deleteIDs = m_deleteList.ids();
}

void ScanController::addToDeleteList(const std::string& id) {
    if (m_deleteList.contains(id))
        return;
    // While an operation runs the result is not read: the verdict its row carries decides.
    const Item* item = m_busy ? nullptr : find(id);
    const TrashVerdict verdict = item ? policyNow().verdict(*item) : trashVerdict(id);
    if (verdict.reason && (item || m_busy)) {
        showToast(*verdict.reason, 3.5);
        return;
    }
    m_deleteList.add(id);
    syncDeleteIDs();
    refreshDeleteRows();
    const auto count = static_cast<std::int64_t>(m_deleteList.ids().size());
    if (verdict.app)
        showToast(tr("Pozor: jsou to interní data aplikace %1. Smazáním můžete přijít o její data "
                     "nebo zálohu. Přidáno na seznam (%2).")
                      .arg(*verdict.app, Fmt::plural(count, "items")),
                  7);
    else
        showToast(tr("Přidáno do seznamu ke smazání (%1).").arg(Fmt::plural(count, "items")), 3.5);
}

void ScanController::removeFromDeleteList(const std::string& id) {
    m_deleteList.remove(id);
    syncDeleteIDs();
    refreshDeleteRows();
}

void ScanController::clearDeleteList() {
    m_deleteList.clear();
    syncDeleteIDs();
    refreshDeleteRows();
}

void ScanController::refreshDeleteRows() {
    const ResultPtr result = m_result;
    if (!result || m_busy)
        return;
    DeleteList::Listing listing = m_deleteList.listing(*result);
    const Eviction::Selection evictable = evictSelection(m_deleteList.ids());
    listing.savings.evictable = evictable.bytes;
    listing.savings.evictableFiles = static_cast<std::int64_t>(evictable.documents.size());
    m_deleteOuter = NodeRows::outermost(result.get(), listing.rows);
    m_deleteRows = std::move(listing.rows);
    m_deleteSavings = listing.savings;
}

void ScanController::confirmAndTrash(const IDList& ids) {
    const ResultPtr result = m_result;
    if (m_busy || !result)
        return;
    const TrashPolicy policy = policyNow();
    std::vector<Item*> items;
    for (const std::string& id : ids)
        if (Item* item = result->get(id))
            items.push_back(item);
    std::vector<Item*> allowed;
    for (Item* item : items)
        if (!policy.reason(*item))
            allowed.push_back(item);
    const int refused = static_cast<int>(items.size() - allowed.size());
    if (allowed.empty()) {
        if (items.size() == 1)
            showToast(*policy.reason(*items.front()), 6);
        else
            showToast(tr("Žádnou z položek nelze bezpečně smazat."), 6);
        return;
    }
    // Another operation may have started while the dialogs were open.
    if (!confirmTrashDialogs(allowed, refused) || m_busy)
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
    setProgress("trash", 0, static_cast<std::int64_t>(jobs.size()), tr("Přesouvám do Koše…"));
    run(
        Operation::trash,
        [home = m_env.home, jobs](const Progress& progress, const Cancel&) {
            return TrashMover::run(home, jobs, progress);
        },
        [this, inner](const TrashMover::Outcome& outcome) { return finishTrash(outcome, inner); });
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
        const QStringList lines = DialogList::lines(outer.size(), [&](std::size_t i) {
            return QStringLiteral("%1 (%2)").arg(Fmt::text(outer[i]->name()),
                                                 unbrokenSize(outer[i]->aggQta));
        });
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

    const TrashPolicy policy = policyNow();
    std::set<QString> apps;
    std::int64_t appItems = 0;
    for (const Item* item : outer)
        if (const std::optional<QString> app = policy.appDataApp(*item)) {
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

ScanController::Outcome ScanController::finishTrash(const TrashMover::Outcome& outcome,
                                                    const IDList& inner) {
    const ResultPtr result = m_result;
    if (!result)
        return Outcome::failed;
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
    m_deleteList.removeAll(gone);
    syncDeleteIDs();
    Aggregator::aggregate(*result);
    m_searchIndex = buildSearchIndex(*result);
    const auto moved = static_cast<std::int64_t>(outcome.done.size());
    setProgress("done", 1, 1,
                tr("Přesunuto do Koše: %1, %2").arg(Fmt::plural(moved, "items"), Fmt::size(freed)));
    afterResultChange(currentID());
    if (!outcome.failed.empty()) {
        reportTrashFailures(outcome);
        return Outcome::failed;
    }
    showToast(tr("Přesunuto do Koše: %1 (%2). Server údaje aktualizuje při příštím „Obnovit "
                 "databázi“.")
                  .arg(Fmt::plural(moved, "items"), Fmt::size(freed)),
              7);
    return Outcome::done;
}

void ScanController::reportTrashFailures(const TrashMover::Outcome& outcome) {
    DesktopServices::Alert alert;
    alert.style = DesktopServices::AlertStyle::warning;
    alert.message =
        tr("%1 se nepodařilo přesunout do Koše")
            .arg(Fmt::plural(static_cast<std::int64_t>(outcome.failed.size()), "itemsAccusative"));
    const QStringList lines = DialogList::lines(outcome.failed.size(), [&](std::size_t i) {
        return QStringLiteral("%1: %2").arg(Fmt::text(outcome.failed[i].name),
                                            Fmt::text(outcome.failed[i].reason));
    });
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
