#pragma once

#include "TessaryApp/CancelBox.hpp"
#include "TessaryApp/DeleteList.hpp"
#include "TessaryApp/ScanReport.hpp"
#include "TessaryApp/ScanSource.hpp"
#include "TessaryApp/TrashMover.hpp"
#include "TessaryApp/TrashVerdict.hpp"
#include "TessaryApp/UsageBarData.hpp"
#include "TessaryCore/Eviction.hpp"
#include "TessaryCore/NodeDTO.hpp"
#include "TessaryCore/ScanComparison.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanHistory.hpp"
#include "TessaryCore/ScanMode.hpp"
#include "TessaryCore/SortKey.hpp"
#include "TessaryCore/SummaryDTO.hpp"

#include <QDateTime>
#include <QObject>
#include <QProperty>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class QTimer;

namespace tessary {

class DesktopServices;
class Item;
class ScanError;
class ScanResult;
class TrashPolicy;

// The one state object of the application, the front the windows hold. Its parts:
// - the operations (ScanController.cpp: the scan; ScanControllerActions.cpp: hydration,
//   file-manager actions, exports; ScanControllerTrash.cpp: the Trash run;
//   ScanControllerEvict.cpp: freeing downloads from this Mac), all started through
//   one runner (`run`);
// - the browsing state (ScanControllerNavigation.cpp): the current folder, the listings, search,
//   selection and the usage bar's path; `colorRank` follows the shown listing;
// - the delete list (DeleteList) and the rules of the Trash (TrashPolicy), whose verdicts the
//   rows carry (ScanControllerVerdicts.cpp).
//
// Every property is read and written on the main thread only; its change signal fires only
// when a value really changes. Background threads never touch the controller: they hold a
// QPointer to it and post their results and progress as queued calls, which a controller that
// is gone drops. Only one background operation runs at a time (`busy`); while it runs, nothing
// on the main thread reads the items of the result (the operation may be changing them): rows,
// verdicts and breakdowns are values made before it started.
class ScanController : public QObject {
    Q_OBJECT

public:
    // Stage of the running or last operation; stored by its text value, which is the phase
    // text of the core's progress reports.
    enum class Phase {
        idle,
        start,
        dump,
        parse,
        resolve,
        aggregate,
        fs,
        hydrate,
        trash,
        evict,
        done,
        error
    };
    // The listing the window shows.
    enum class View { tree, top, bigDirs, search, deleteList, changes };
    // The background operations and how one ended.
    enum class Operation { scan, hydrate, trash, evict };
    enum class Outcome { done, failed, stopped };

    using BarFocus = tessary::BarFocus;
    using Breakdown = tessary::Breakdown;
    using Savings = DeleteList::Savings;
    // Lower-cased NFC names of the result's items (container roots left out), in the id map's
    // order. The pointers belong to the result the index was built from.
    using SearchIndex = std::vector<std::pair<std::string, Item*>>;
    using ColorRanks = tessary::ColorRanks;
    using Rows = std::vector<NodeDTO>;
    using BarPath = tessary::BarPath;
    using IDList = std::vector<std::string>;
    using ResultPtr = std::shared_ptr<ScanResult>;
    // What a background operation reports: phase, done, total, message.
    using Progress =
        std::function<void(std::string_view, std::int64_t, std::int64_t, std::string_view)>;
    using Cancel = std::function<bool()>;

    // What changed since the earlier scan compared with, in all: the quota charge and the bytes
    // on this Mac.
    struct ChangeSummary {
        std::int64_t since = 0; // seconds since the epoch
        std::int64_t qta = 0;
        std::int64_t local = 0;
        friend bool operator==(const ChangeSummary&, const ChangeSummary&) = default;
    };
    // What changed of one item.
    struct RowChange {
        ScanComparison::Kind kind = ScanComparison::Kind::other;
        std::int64_t delta = 0;
        friend bool operator==(const RowChange&, const RowChange&) = default;
    };
    using OptChangeSummary = std::optional<ChangeSummary>;
    using ScanTimes = std::vector<std::int64_t>;

    // Limits of the listings.
    static constexpr int folderRowLimit = 1500;
    static constexpr int listingRowLimit = 200;
    static constexpr int breakdownChildLimit = 80;
    static constexpr int barDepthLimit = 4;
    static constexpr int searchMinLength = 2;

    // `desktop` answers dialogs and talks to the file manager; it must outlive the controller
    // (null: dialogs are answered with "cancel" and desktop actions do nothing).
    explicit ScanController(DesktopServices* desktop = nullptr, QObject* parent = nullptr);
    ~ScanController() override;

    [[nodiscard]] static QString phaseText(Phase phase);
    // The Czech status text of a phase.
    [[nodiscard]] static QString phaseLabel(Phase phase);
    // The phase named by `text`; `start` for an unknown text.
    [[nodiscard]] static Phase phaseFromText(std::string_view text);

    // Properties (read side). Each has a change signal of the same name plus "Changed".
    [[nodiscard]] Phase phase() const { return m_phase; }
    [[nodiscard]] std::int64_t done() const { return m_done; }
    [[nodiscard]] std::int64_t total() const { return m_total; }
    [[nodiscard]] QString message() const { return m_message; }
    [[nodiscard]] std::optional<QString> errorMessage() const { return m_errorMessage; }
    [[nodiscard]] bool busy() const { return m_busy; }
    [[nodiscard]] std::optional<QDateTime> started() const { return m_started; }
    [[nodiscard]] std::optional<QDateTime> finished() const { return m_finished; }
    [[nodiscard]] int runID() const { return m_runID; }
    [[nodiscard]] std::optional<QString> toast() const { return m_toast; }
    [[nodiscard]] std::optional<ScanReport> report() const { return m_report; }
    [[nodiscard]] bool showSummary() const { return m_showSummary; }
    [[nodiscard]] Rows bigDirs() const { return m_bigDirs; }
    [[nodiscard]] IDList deleteIDs() const { return m_deleteIDs; }
    [[nodiscard]] Rows deleteRows() const { return m_deleteRows; }
    [[nodiscard]] Savings deleteSavings() const { return m_deleteSavings; }
    // The current result; shared with a running hydration or trash run, which only touch it
    // while `busy` is true.
    [[nodiscard]] ResultPtr result() const { return m_result; }
    [[nodiscard]] std::optional<SummaryDTO> summary() const { return m_summary; }
    [[nodiscard]] std::optional<NodeDTO> current() const { return m_current; }
    // The id of `current`; none without one.
    [[nodiscard]] std::optional<std::string> currentID() const {
        return m_current.value() ? std::optional<std::string>(m_current.value()->id) : std::nullopt;
    }
    [[nodiscard]] Rows breadcrumbs() const { return m_breadcrumbs; }
    [[nodiscard]] Rows children() const { return m_children; }
    [[nodiscard]] std::int64_t more() const { return m_more; }
    [[nodiscard]] SortKey sortKey() const { return m_sortKey; }
    [[nodiscard]] View view() const { return m_view; }
    [[nodiscard]] QString query() const { return m_query; }
    [[nodiscard]] Rows searchResults() const { return m_searchResults; }
    [[nodiscard]] std::int64_t searchTotal() const { return m_searchTotal; }
    [[nodiscard]] bool topCloudOnly() const { return m_topCloudOnly; }
    [[nodiscard]] Rows topFiles() const { return m_topFiles; }
    [[nodiscard]] std::optional<std::string> selectedID() const { return m_selectedID; }
    [[nodiscard]] std::optional<std::string> hoveredID() const { return m_hoveredID; }
    [[nodiscard]] ColorRanks colorRank() const { return m_colorRank; }
    [[nodiscard]] BarPath barPath() const { return m_barPath; }
    // The change since the earlier scan compared with; none without one (the first scan of a
    // source, a dump from another Mac).
    [[nodiscard]] OptChangeSummary changeSummary() const { return m_changeSummary; }
    // The largest changes (the view "changes"), the five folders that grew most, the times of
    // the earlier scans of this source (newest first) and which of them is compared with.
    [[nodiscard]] Rows changeRows() const { return m_changeRows; }
    [[nodiscard]] Rows grownFolders() const { return m_grownFolders; }
    [[nodiscard]] ScanTimes earlierScans() const { return m_earlierScans; }
    [[nodiscard]] int comparedScan() const { return m_comparedScan; }
    // Where the shown result came from; the iCloud Drive until another source was scanned.
    [[nodiscard]] ScanSource source() const { return m_source; }

    // Settings of the next operation (no change signal: nothing shows them).
    // The folder a running hydration lists; none otherwise.
    [[nodiscard]] std::optional<std::string> hydrateTarget() const { return m_hydrateTarget; }
    [[nodiscard]] ScanMode mode() const { return m_mode; }
    [[nodiscard]] double maxAgeHours() const { return m_maxAgeHours; }
    [[nodiscard]] double staleAfterHours() const { return m_staleAfterHours; }
    void setMode(ScanMode mode) { m_mode = mode; }
    void setMaxAgeHours(double hours) { m_maxAgeHours = hours; }
    void setStaleAfterHours(double hours) { m_staleAfterHours = hours; }
    // The folders every operation works on; the process's default environment unless a test
    // points the controller at another home folder.
    [[nodiscard]] const ScanEnvironment& environment() const { return m_env; }
    void setEnvironment(const ScanEnvironment& env) { m_env = env; }

    // Settable properties.
    void setShowSummary(bool show) { m_showSummary = show; }
    // The order that picks which children of a large folder are listed (the first
    // folderRowLimit of them); the current folder's listing is made again in it.
    void setSortKey(SortKey key);
    void setQuery(const QString& query) { m_query = query; }
    // Only the value; `show` is what switches a listing with its rows.
    void setView(View view) { m_view = view; }
    void setTopCloudOnly(bool cloudOnly) { m_topCloudOnly = cloudOnly; }
    void setSelectedID(std::optional<std::string> id) { m_selectedID = std::move(id); }
    void setHoveredID(std::optional<std::string> id) { m_hoveredID = std::move(id); }

    // Scan lifecycle.
    // Starts a scan of `source` on the thread "tessary"; `refresh` makes a new database dump.
    // Does nothing while `busy`.
    void startScan(bool refresh);
    // Scans another source; the shown result and its source stay until the scan succeeds.
    void openSource(const ScanSource& source);
    // Asks for a folder (a dump file) with the desktop's dialog and scans it.
    void chooseFolderToScan();
    void chooseDumpToOpen();
    // Asks the running operation to stop at its next check.
    void stop();
    // Shows `text` in `toast` for `seconds`; a newer toast replaces it and restarts the count.
    void showToast(const QString& text, double seconds);

    // Navigation and listings (all refuse while `busy` or without a result).
    void navigate(const std::optional<std::string>& id, bool resetView);
    void navigateToParent();
    void goHome();
    [[nodiscard]] bool isAtHome() const;
    void show(View view);
    void showDeleteList();
    void loadTopFiles(int n);
    void loadBigDirs(int n);
    void runSearch(int limit);
    // The rows the usage bar draws for the current view.
    [[nodiscard]] Rows mapRows() const;
    // The folder's breakdown, cached until the result changes; none for a file, an unknown id
    // or while `busy` (cached ones are still returned).
    // The record lives in the cache: valid until the result changes (a scan, a hydration or a
    // trash run ends), so callers use it at once and keep no pointer.
    [[nodiscard]] const Breakdown* breakdown(const std::string& id);
    void toggleBarFocus(const std::string& id, int level, int rank);
    [[nodiscard]] static ColorRanks ranks(const Rows& rows);
    // Runs on any thread; reads the result only.
    [[nodiscard]] static SearchIndex buildSearchIndex(const ScanResult& result);

    // Changes since an earlier scan.
    // The change of the item since the scan compared with; none when it did not change (or is
    // too small to be recorded, or nothing is compared).
    [[nodiscard]] std::optional<RowChange> rowChange(const std::string& id) const;
    void showChanges();
    // Compares with the earlier scan `index` of earlierScans.
    void compareWith(int index);

    // Delete list and Trash.
    void addToDeleteList(const std::string& id);
    void removeFromDeleteList(const std::string& id);
    void clearDeleteList();
    void refreshDeleteRows();
    [[nodiscard]] bool isListed(const std::string& id) const;
    // What the rows show for the item: the verdict made when its listing was built (never
    // reading the result while an operation runs), else one made now; while an operation runs
    // an item no listing showed may not be added.
    [[nodiscard]] TrashVerdict trashVerdict(const std::string& id) const;
    // Why the item must not be moved to the Trash, or none when it may; asked of the disk now.
    [[nodiscard]] std::optional<QString> trashReason(const std::string& id) const;
    [[nodiscard]] std::optional<QString> trashReason(const Item& item) const;
    // The display name of the app whose internal data holds the item, or none.
    [[nodiscard]] std::optional<QString> appDataApp(const Item& item) const;
    // Asks (one or two dialogs) and, when confirmed, moves the allowed items to the Trash on
    // the thread "icloud-trash".
    void confirmAndTrash(const IDList& ids);

    // Freeing downloaded documents from this Mac (they stay in iCloud).
    // Why the item (a document, or a folder's downloaded documents) cannot be freed, or none;
    // the verdict its listing carries, like trashVerdict.
    [[nodiscard]] std::optional<QString> evictVerdict(const std::string& id) const;
    // Asks with one dialog (what is freed, what stays and why) and, when confirmed, frees the
    // documents of the items on the thread "icloud-evict"; the rows change when it ends.
    void confirmAndEvict(const IDList& ids);

    // Hydration, file-manager actions, exports.
    void startHydrate(const std::string& id, int depth);
    [[nodiscard]] static bool canHydrate(const NodeDTO& node);
    // The local path `revealInFinder` would show for the item: its own, else its nearest
    // ancestor's; none when neither is known or the id is not in the result.
    [[nodiscard]] std::optional<std::string> localPath(const std::string& id) const;
    // The id of the item's folder when the result holds it; none otherwise.
    [[nodiscard]] std::optional<std::string> parentID(const std::string& id) const;
    void revealInFinder(const std::string& id);
    void openInFinder(const std::string& id);
    void showInParent(const std::string& id);
    void copyPath(const std::string& id);
    void exportJSON();
    void exportCSV();
    void openFullDiskAccessSettings();
    // The summary's count of folders that could not be read.
    [[nodiscard]] std::int64_t deniedCount() const;

signals:
    void phaseChanged();
    void doneChanged();
    void totalChanged();
    void messageChanged();
    void errorMessageChanged();
    void busyChanged();
    void startedChanged();
    void finishedChanged();
    void runIDChanged();
    void toastChanged();
    void reportChanged();
    void showSummaryChanged();
    void bigDirsChanged();
    void deleteIDsChanged();
    void deleteRowsChanged();
    void deleteSavingsChanged();
    void resultChanged();
    void summaryChanged();
    void currentChanged();
    void breadcrumbsChanged();
    void childrenChanged();
    void moreChanged();
    void sortKeyChanged();
    void viewChanged();
    void queryChanged();
    void searchResultsChanged();
    void searchTotalChanged();
    void topCloudOnlyChanged();
    void topFilesChanged();
    void selectedIDChanged();
    void hoveredIDChanged();
    void colorRankChanged();
    void barPathChanged();
    void sourceChanged();
    void changeSummaryChanged();
    void changeRowsChanged();
    void grownFoldersChanged();
    void earlierScansChanged();
    void comparedScanChanged();
    // A background operation has ended and everything it changed is in place: the last signal
    // of each operation.
    void operationFinished(ScanController::Operation operation, ScanController::Outcome outcome);

private:
    using OptText = std::optional<QString>;
    using OptID = std::optional<std::string>;
    using OptDate = std::optional<QDateTime>;
    using OptReport = std::optional<ScanReport>;
    using OptSummary = std::optional<SummaryDTO>;
    using OptNode = std::optional<NodeDTO>;
    // What the rows of the listings carry besides their values: made with the listing.
    struct RowFacts {
        TrashVerdict verdict;
        OptID localPath;
        OptID parent;
        OptText evictReason;
        std::optional<RowChange> change;
    };

    // Runs `work(progress, cancel)` on a thread of its own and then, on the main thread,
    // `finish(value)` with the value it returned; `finish` says how the operation ended.
    // Marks the controller busy and clears the last error first; ends with operationFinished.
    template <class Work, class Finish> void run(Operation operation, Work work, Finish finish);
    // The untyped part of `run`: `inThread` runs on the new thread, `onMain` after it.
    void launch(Operation operation, std::function<void()> inThread,
                std::function<Outcome()> onMain);
    void endOperation(Operation operation, const std::function<Outcome()>& onMain);
    // Marks the start of a background operation: stop flag and error cleared, busy.
    void beginOperation();
    // Shows an operation's error in the status line.
    void showError(const QString& text);
    // Switches to `view` with `rows` built by `build(result)`; refused while busy.
    template <class Listing, class Build> void showListing(View view, Listing& rows, Build&& build);
    // The one place a new listing is entered: the view, no drilled-into bar segments.
    void enterListing(View view);
    // Keeps colorRank to the ranks of the shown listing's rows: the one place it is set.
    void followShownRows();
    [[nodiscard]] const Rows& shownRows() const;
    void setProgress(std::string_view phase, std::int64_t done, std::int64_t total,
                     const QString& message);
    // A progress callback for the core that posts every report to this controller.
    [[nodiscard]] Progress progressSink();
    [[nodiscard]] Cancel cancelCallback();
    void scanSource(const ScanSource& source, bool refresh, bool chosen);
    // What a new result of `source` keeps of the shown one: the folder shown (returned) and the
    // delete list.
    [[nodiscard]] OptID carryOver(const ScanResult& next, const ScanSource& source);
    struct ScanOutcome;
    struct HydrateOutcome;
    Outcome finishScan(ScanOutcome outcome);
    Outcome finishHydrate(HydrateOutcome outcome);
    // `inner` are the confirmed ids that lie inside another confirmed item: they leave the list
    // and the result with it.
    Outcome finishTrash(const TrashMover::Outcome& outcome, const IDList& inner);
    void reportTrashFailures(const TrashMover::Outcome& outcome);
    [[nodiscard]] std::optional<QString> evictReason(const Item& item) const;
    // The documents the items stand for; empty for a dump from another Mac.
    [[nodiscard]] Eviction::Selection evictSelection(const IDList& ids) const;
    [[nodiscard]] bool confirmEvictDialog(const Eviction::Selection& selection);
    Outcome finishEvict(const Eviction::Outcome& outcome);
    void reportEvictFailures(const Eviction::Outcome& outcome, std::int64_t freed);
    // The result changed (an operation ended): caches dropped, listings made again, and the
    // report made anew unless `report` was made for this result already.
    void afterResultChange(const OptID& keepingNode, std::optional<ScanReport> report = {});
    void refreshSnapshots(const OptID& keepingNode);
    // The listing of `folder`'s children in the order of sortKey, cut at folderRowLimit.
    void listChildren(const Item& folder);
    void showStalenessToast();
    // Takes over what recording the scan found: the earlier scans and the comparison.
    void takeHistory(std::optional<ScanHistory::Recorded> history);
    void applyComparison(std::shared_ptr<const ScanComparison> comparison);
    [[nodiscard]] NodeDTO changeRow(const ScanComparison::Change& change) const;
    void syncDeleteIDs();
    // The facts of the item's row: remembered, else made now from the result and the disk; none
    // for an unknown id, and none not remembered while an operation runs.
    [[nodiscard]] const RowFacts* factsFor(const std::string& id) const;
    // Makes the facts of every row of every listing before an operation starts.
    void judgeListedRows();
    void forgetFacts();
    // The rules of the Trash over the current result and the disk as it is now.
    [[nodiscard]] TrashPolicy policyNow() const;
    [[nodiscard]] Item* find(const std::string& id) const;
    [[nodiscard]] Item* currentItem() const;
    // The item's path, else the path of its nearest ancestor that has one.
    [[nodiscard]] std::optional<std::string> nearestPath(const Item& item) const;
    // Shows the path in the file manager; says so in a toast when none answers.
    void showInFileManager(const std::string& path);
    void noFileManager(const std::string& path);
    [[nodiscard]] NodeDTO listedRow(const Item& item) const;
    [[nodiscard]] bool confirmTrashDialogs(const std::vector<Item*>& allowed, int refused);
    void writeExport(const QString& proposedName, const QString& contentType,
                     const std::function<std::string()>& content, const QString& doneText);

    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Phase, m_phase, &ScanController::phaseChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, std::int64_t, m_done, &ScanController::doneChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, std::int64_t, m_total, &ScanController::totalChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, QString, m_message, &ScanController::messageChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptText, m_errorMessage,
                               &ScanController::errorMessageChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, bool, m_busy, &ScanController::busyChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptDate, m_started, &ScanController::startedChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptDate, m_finished,
                               &ScanController::finishedChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, int, m_runID, &ScanController::runIDChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptText, m_toast, &ScanController::toastChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptReport, m_report, &ScanController::reportChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, bool, m_showSummary,
                               &ScanController::showSummaryChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_bigDirs, &ScanController::bigDirsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, IDList, m_deleteIDs,
                               &ScanController::deleteIDsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_deleteRows,
                               &ScanController::deleteRowsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Savings, m_deleteSavings,
                               &ScanController::deleteSavingsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, ResultPtr, m_result, &ScanController::resultChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptSummary, m_summary,
                               &ScanController::summaryChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptNode, m_current, &ScanController::currentChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_breadcrumbs,
                               &ScanController::breadcrumbsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_children, &ScanController::childrenChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, std::int64_t, m_more, &ScanController::moreChanged)
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(ScanController, SortKey, m_sortKey, SortKey::qta,
                                         &ScanController::sortKeyChanged)
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(ScanController, View, m_view, View::tree,
                                         &ScanController::viewChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, QString, m_query, &ScanController::queryChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_searchResults,
                               &ScanController::searchResultsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, std::int64_t, m_searchTotal,
                               &ScanController::searchTotalChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, bool, m_topCloudOnly,
                               &ScanController::topCloudOnlyChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_topFiles, &ScanController::topFilesChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptID, m_selectedID,
                               &ScanController::selectedIDChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptID, m_hoveredID,
                               &ScanController::hoveredIDChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, ColorRanks, m_colorRank,
                               &ScanController::colorRankChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, BarPath, m_barPath, &ScanController::barPathChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, ScanSource, m_source, &ScanController::sourceChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, OptChangeSummary, m_changeSummary,
                               &ScanController::changeSummaryChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_changeRows,
                               &ScanController::changeRowsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, Rows, m_grownFolders,
                               &ScanController::grownFoldersChanged)
    Q_OBJECT_BINDABLE_PROPERTY(ScanController, ScanTimes, m_earlierScans,
                               &ScanController::earlierScansChanged)
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(ScanController, int, m_comparedScan, -1,
                                         &ScanController::comparedScanChanged)

    DesktopServices* m_desktop;
    ScanEnvironment m_env = ScanEnvironment::defaultEnvironment();
    ScanMode m_mode = ScanMode::dump;
    double m_maxAgeHours = 8760.0;
    double m_staleAfterHours = 6.0;
    OptID m_hydrateTarget;
    DeleteList m_deleteList;
    // The outermost rows of the delete list, which the usage bar draws.
    Rows m_deleteOuter;
    // Made when a row is first asked about, dropped when a listing is entered or the result
    // changes; the policy with them.
    mutable std::unordered_map<std::string, RowFacts> m_rowFacts;
    mutable std::shared_ptr<const TrashPolicy> m_policy;
    std::map<std::string, Breakdown> m_breakdownCache;
    const std::shared_ptr<CancelBox> m_cancelBox = std::make_shared<CancelBox>();
    SearchIndex m_searchIndex;
    QTimer* m_toastTimer = nullptr;
    // The record of the shown scan and the files of the earlier ones, for comparing with another.
    std::shared_ptr<const ScanRecord> m_record;
    std::vector<std::string> m_earlierFiles;
    std::shared_ptr<const ScanComparison> m_comparison;
};

template <class Work, class Finish>
void ScanController::run(Operation operation, Work work, Finish finish) {
    using Value = decltype(work(std::declval<const Progress&>(), std::declval<const Cancel&>()));
    // The value crosses from the operation's thread to the main thread in this box.
    auto box = std::make_shared<std::optional<Value>>();
    launch(
        operation,
        [box, work = std::move(work), progress = progressSink(), cancel = cancelCallback()] {
            box->emplace(work(progress, cancel));
        },
        [this, box, finish = std::move(finish)] { return finish(std::move(**box)); });
}

} // namespace tessary
