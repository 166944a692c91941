// Freeing downloaded documents from this Mac: what may be freed, the confirmation and the run on
// the thread "icloud-evict". The documents stay in iCloud; the rows change at once, without a new
// scan, because the result's items are updated the way a scan would see the placeholders.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/DesktopServices.hpp"
#include "TessaryApp/DialogList.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/TrashPolicy.hpp"
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Eviction.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <QCoreApplication>

#include <algorithm>
#include <set>

namespace tessary {

namespace {

// The core's reasons are Czech source texts; they are translated here like the app's own.
QString translated(const std::string& reason) {
    return QCoreApplication::translate("Eviction", reason.c_str());
}

} // namespace

std::optional<QString> ScanController::evictReason(const Item& item) const {
    if (m_source.value().readOnly())
        return TrashPolicy::readOnlyReason();
    const ResultPtr result = m_result;
    if (!result)
        return tr("Položka v datech není.");
    if (const std::optional<std::string> why = Eviction::reason(item, *result, m_env))
        return translated(*why);
    return std::nullopt;
}

std::optional<QString> ScanController::evictVerdict(const std::string& id) const {
    if (const RowFacts* facts = factsFor(id))
        return facts->evictReason;
    if (m_busy)
        return tr("Počkejte, až skončí probíhající operace.");
    return tr("Položka v datech není.");
}

Eviction::Selection ScanController::evictSelection(const IDList& ids) const {
    const ResultPtr result = m_result;
    std::vector<const Item*> chosen;
    for (const std::string& id : ids)
        if (const Item* item = result ? result->get(id) : nullptr)
            chosen.push_back(item);
    if (!result || m_source.value().readOnly())
        return {};
    return Eviction::select(chosen, *result, m_env);
}

void ScanController::confirmAndEvict(const IDList& ids) {
    if (m_busy || !m_result.value())
        return;
    if (m_source.value().readOnly()) {
        showToast(TrashPolicy::readOnlyReason(), 6);
        return;
    }
    const Eviction::Selection selection = evictSelection(ids);
    if (selection.documents.empty()) {
        if (selection.refused.size() == 1)
            showToast(translated(selection.refused.front().reason), 6);
        else if (!selection.refused.empty())
            showToast(tr("Žádný ze souborů nelze bezpečně uvolnit."), 6);
        else
            showToast(tr("Není tu nic staženého, co by šlo uvolnit."), 6);
        return;
    }
    // Another operation may have started while the dialogs were open.
    if (!confirmEvictDialog(selection) || m_busy)
        return;
    std::vector<Eviction::Job> jobs;
    jobs.reserve(selection.documents.size());
    for (const Item* doc : selection.documents)
        jobs.push_back(Eviction::jobFor(*doc));
    setProgress("evict", 0, static_cast<std::int64_t>(jobs.size()), tr("Uvolňuji z tohoto Macu…"));
    run(
        Operation::evict,
        [home = m_env.home, jobs](const Progress& progress, const Cancel& cancel) {
            return Eviction::run(home, jobs, progress, cancel);
        },
        [this](const Eviction::Outcome& outcome) { return finishEvict(outcome); });
}

bool ScanController::confirmEvictDialog(const Eviction::Selection& selection) {
    if (!m_desktop)
        return false;
    const auto n = static_cast<std::int64_t>(selection.documents.size());
    DesktopServices::Alert alert;
    alert.style = DesktopServices::AlertStyle::informational;
    alert.message =
        n == 1
            ? tr("Uvolnit „%1“ z tohoto Macu?").arg(Fmt::text(selection.documents.front()->name()))
            : tr("Uvolnit %1 z tohoto Macu?").arg(Fmt::plural(n, "files"));
    alert.informativeText =
        tr("Uvolníte na tomto Macu %1; v iCloudu zůstane vše.").arg(Fmt::size(selection.bytes)) +
        QStringLiteral("\n\n") +
        tr("Soubory zůstanou v iCloudu a stáhnou se znovu, až je otevřete.");
    std::set<QString> apps;
    const TrashPolicy policy = policyNow();
    for (const Item* doc : selection.documents)
        if (const std::optional<QString> app = policy.appDataApp(*doc))
            apps.insert(*app);
    if (!apps.empty())
        alert.informativeText +=
            QStringLiteral("\n\n") +
            tr("Část souborů jsou interní data aplikací (%1); aplikace si je při otevření "
               "stáhne znovu, bez připojení k internetu k nim ale nebude mít přístup.")
                .arg(QStringList(apps.begin(), apps.end()).join(QStringLiteral(", ")));
    if (!selection.refused.empty()) {
        const QStringList lines = DialogList::lines(selection.refused.size(), [&](std::size_t i) {
            return QStringLiteral("%1: %2").arg(Fmt::text(selection.refused[i].item->name()),
                                                translated(selection.refused[i].reason));
        });
        alert.informativeText += QStringLiteral("\n\n") + tr("Zůstanou na disku:") +
                                 QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
    }
    alert.buttons = {tr("Uvolnit z tohoto Macu"), tr("Zrušit")};
    return m_desktop->confirm(alert) == 0;
}

ScanController::Outcome ScanController::finishEvict(const Eviction::Outcome& outcome) {
    const ResultPtr result = m_result;
    if (!result)
        return Outcome::failed;
    // What the next scan would see: a placeholder of the same size with nothing on this disk.
    std::int64_t freed = 0;
    for (const std::string& id : outcome.done)
        if (Item* doc = result->get(id)) {
            freed += doc->localAlloc;
            doc->localAlloc = 0;
            doc->dataless = true;
        }
    Aggregator::aggregate(*result);
    const auto count = static_cast<std::int64_t>(outcome.done.size());
    setProgress(
        "done", 1, 1,
        tr("Uvolněno z tohoto Macu: %1, %2").arg(Fmt::plural(count, "files"), Fmt::size(freed)));
    afterResultChange(currentID());
    if (!outcome.failed.empty()) {
        reportEvictFailures(outcome, freed);
        return Outcome::failed;
    }
    if (outcome.skipped > 0) {
        showToast(tr("Zastaveno. Uvolněno z tohoto Macu: %1 (%2); zbylo %3.")
                      .arg(Fmt::plural(count, "files"), Fmt::size(freed),
                           Fmt::plural(outcome.skipped, "files")),
                  7);
        return Outcome::stopped;
    }
    showToast(tr("Uvolněno z tohoto Macu: %1 (%2). Soubory zůstaly v iCloudu.")
                  .arg(Fmt::plural(count, "files"), Fmt::size(freed)),
              7);
    return Outcome::done;
}

void ScanController::reportEvictFailures(const Eviction::Outcome& outcome, std::int64_t freed) {
    DesktopServices::Alert alert;
    alert.style = DesktopServices::AlertStyle::warning;
    alert.message =
        tr("%1 se nepodařilo uvolnit")
            .arg(Fmt::plural(static_cast<std::int64_t>(outcome.failed.size()), "files"));
    const QStringList lines = DialogList::lines(outcome.failed.size(), [&](std::size_t i) {
        return QStringLiteral("%1: %2").arg(Fmt::text(outcome.failed[i].name),
                                            translated(outcome.failed[i].reason));
    });
    alert.informativeText =
        lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") +
        tr("Ostatní soubory jsou uvolněné (%1, %2). Soubory, které zůstaly, mají svůj obsah "
           "na disku beze změny.")
            .arg(Fmt::plural(static_cast<std::int64_t>(outcome.done.size()), "files"),
                 Fmt::size(freed));
    alert.buttons = {tr("OK")};
    if (m_desktop)
        m_desktop->inform(alert);
}

} // namespace tessary
