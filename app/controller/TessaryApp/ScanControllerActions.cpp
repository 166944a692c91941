// The controller's commands beside browsing: hydration of a cloud-only folder, the file-manager
// actions, copying a path, the exports.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/DesktopServices.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/TrashPolicy.hpp"
#include "TessaryCore/AtomicFile.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/Serialization.hpp"
#include "TessaryCore/TimeoutPool.hpp"

namespace tessary {

bool ScanController::canHydrate(const NodeDTO& node) {
    return node.isDir() && node.enumerated == std::optional<bool>(false) && node.path &&
           !Item::isVirtualID(node.id);
}

// What a hydration hands to the main thread.
struct ScanController::HydrateOutcome {
    SearchIndex index;
    std::int64_t count = 0;
    std::optional<ScanError> error;
};

void ScanController::startHydrate(const std::string& id, int depth) {
    if (m_source.value().readOnly()) {
        showToast(TrashPolicy::readOnlyReason(), 3.5);
        return;
    }
    const ResultPtr result = m_result;
    const Item* item = m_busy ? nullptr : find(id);
    if (m_busy || !result || !item || !item->isDir() || !item->hasPath() || item->isVirtual()) {
        showToast(tr("Složku nelze načíst (není známa cesta nebo jde o kořen)."), 3.5);
        return;
    }
    m_hydrateTarget = id;
    setProgress("hydrate", 0, 0, tr("Načítám seznam složky z iCloudu…"));
    showToast(tr("Načítám seznam složky z iCloudu – může to trvat i několik minut."), 5);
    run(
        Operation::hydrate,
        [result, id, depth, env = m_env](const Progress& progress, const Cancel& cancel) {
            HydrateOutcome outcome;
            try {
                outcome.count = Scanner::hydrate(*result, id, depth, progress, cancel, env,
                                                 TimeoutPool::shared());
                outcome.index = buildSearchIndex(*result);
            } catch (const ScanError& e) {
                outcome.error = e;
            } catch (const std::exception& e) {
                outcome.error = ScanError::message(e.what());
            }
            return outcome;
        },
        [this](HydrateOutcome outcome) { return finishHydrate(std::move(outcome)); });
}

ScanController::Outcome ScanController::finishHydrate(HydrateOutcome outcome) {
    const OptID target = m_hydrateTarget;
    Outcome ended = Outcome::done;
    if (outcome.error) {
        const QString text = Fmt::text(outcome.error->description());
        showError(text);
        showToast(tr("Chyba: %1").arg(text), 6);
        ended = outcome.error->isCancelled() ? Outcome::stopped : Outcome::failed;
    } else {
        m_searchIndex = std::move(outcome.index);
        setProgress("done", 1, 1, tr("Načteno %1").arg(Fmt::plural(outcome.count, "folders")));
    }
    afterResultChange(target ? target : currentID());
    return ended;
}

void ScanController::chooseFolderToScan() {
    if (m_busy || !m_desktop)
        return;
    if (const std::optional<std::string> path = m_desktop->askFolder())
        openSource(ScanSource::folders({*path}));
}

void ScanController::chooseDumpToOpen() {
    if (m_busy || !m_desktop)
        return;
    if (const std::optional<std::string> path = m_desktop->askDumpFile())
        openSource(ScanSource::dumpFile(*path));
}

std::optional<std::string> ScanController::nearestPath(const Item& item) const {
    if (const auto path = item.path())
        return std::string(*path);
    const std::vector<Item*> ancestors = m_result.value()->ancestors(item);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        if (const auto path = (*it)->path())
            return std::string(*path);
    return std::nullopt;
}

void ScanController::revealInFinder(const std::string& id) {
    const std::optional<std::string> path = localPath(id);
    if (!path || !FS::lstat(*path)) {
        showToast(tr("Cesta na disku není známa."), 3.5);
        return;
    }
    showInFileManager(*path);
}

void ScanController::showInFileManager(const std::string& path) {
    if (m_desktop && !m_desktop->showInFileManager(QString::fromStdString(path)))
        noFileManager(path);
}

// Nothing appeared: the user learns so, and gets the path to go there another way.
void ScanController::noFileManager(const std::string& path) {
    const QString text = QString::fromStdString(path);
    m_desktop->copyToClipboard(text);
#ifdef __APPLE__
    showToast(tr("Finder se nepodařilo otevřít. Cesta je zkopírovaná: %1").arg(text), 6);
#else
    showToast(tr("Žádný správce souborů neodpověděl. Cesta je zkopírovaná: %1").arg(text), 6);
#endif
}

void ScanController::openInFinder(const std::string& id) {
    const Item* item = m_busy ? nullptr : find(id);
    if (item && item->hasPath()) {
        const std::string path(*item->path());
        const std::optional<StatInfo> info = FS::lstat(path);
        if (info) {
            if (item->isDir() && !info->isDataless() && FS::isDirectory(path)) {
                if (m_desktop && !m_desktop->openFolder(QString::fromStdString(path)))
                    noFileManager(path);
            } else {
                showInFileManager(path);
            }
            return;
        }
    }
    revealInFinder(id);
}

void ScanController::showInParent(const std::string& id) {
    const std::optional<std::string> parent = m_busy ? std::nullopt : parentID(id);
    if (!parent)
        return;
    navigate(*parent, true);
    m_selectedID = id;
}

void ScanController::copyPath(const std::string& id) {
    const std::optional<std::string> path = localPath(id);
    if (!path)
        return;
    if (m_desktop)
        m_desktop->copyToClipboard(QString::fromStdString(*path));
    showToast(tr("Cesta zkopírována."), 3.5);
}

void ScanController::writeExport(const QString& proposedName, const QString& contentType,
                                 const std::function<std::string()>& content,
                                 const QString& doneText) {
    if (!m_desktop)
        return;
    const std::optional<QString> target = m_desktop->askSavePath(proposedName, contentType);
    if (!target)
        return;
    try {
        AtomicFile::write(target->toStdString(), content());
        showToast(doneText, 3.5);
    } catch (const ScanError& e) {
        showToast(tr("Export selhal: %1").arg(Fmt::text(e.description())), 3.5);
    } catch (const std::exception& e) {
        showToast(tr("Export selhal: %1").arg(Fmt::text(e.what())), 3.5);
    }
}

void ScanController::exportJSON() {
    const ResultPtr result = m_result;
    if (!result || m_busy)
        return;
    writeExport(
        QStringLiteral("tessary.json"), QStringLiteral("json"),
        [result] { return Serialization::exportJSON(*result, 6, 10); }, tr("JSON uložen."));
}

void ScanController::exportCSV() {
    const ResultPtr result = m_result;
    const Item* item = m_busy ? nullptr : currentItem();
    if (!result || !item)
        return;
    writeExport(
        QStringLiteral("tessary.csv"), QStringLiteral("csv"),
        [result, item] { return Serialization::exportCSV(*result, *item); }, tr("CSV uložen."));
}

void ScanController::openFullDiskAccessSettings() {
#ifdef __APPLE__
    const QUrl url(
        QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"));
    if (url.isValid() && m_desktop && !m_desktop->openUrl(url))
        showToast(tr("Nastavení systému se nepodařilo otevřít."), 6);
#else
    // Linux has no such settings page: what the user can act on is the folder the scan could
    // not read, so show the first refused folder in the file manager (its permissions are set
    // there), or the home folder when none was refused.
    const ResultPtr result = m_result;
    std::optional<std::string> refused;
    if (result && !m_busy)
        result->forEachItem([&refused](Item& item) {
            if (!refused && item.denied && item.hasPath())
                refused = std::string(*item.path());
        });
    showInFileManager(refused.value_or(m_env.home));
#endif
}

std::int64_t ScanController::deniedCount() const {
    const OptSummary summary = m_summary;
    if (!summary)
        return 0;
    const auto found = summary->stats.find("dirs_denied");
    return found == summary->stats.end() ? 0 : found->second;
}

} // namespace tessary
