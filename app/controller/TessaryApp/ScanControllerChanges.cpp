// What changed since an earlier scan of the same source: the record the scan left in the
// history, the comparison with an earlier record (the previous one unless the user picks
// another), the rows of the largest changes and the change each row carries.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

namespace tessary {

namespace {

constexpr std::size_t grownFolderCount = 5;

} // namespace

void ScanController::takeHistory(std::optional<ScanHistory::Recorded> history) {
    if (!history) {
        m_record.reset();
        m_earlierFiles.clear();
        m_earlierScans = ScanTimes{};
        m_comparedScan = -1;
        applyComparison(nullptr);
        return;
    }
    m_record = std::make_shared<const ScanRecord>(std::move(history->current));
    ScanTimes times;
    m_earlierFiles.clear();
    for (const ScanHistory::Stored& stored : history->earlier) {
        times.push_back(stored.time);
        m_earlierFiles.push_back(stored.file);
    }
    m_earlierScans = times;
    std::shared_ptr<const ScanComparison> comparison;
    int compared = -1;
    if (history->comparison) {
        comparison = std::make_shared<const ScanComparison>(std::move(*history->comparison));
        // The previous record, unless a damaged one was passed over for an older one.
        for (std::size_t i = 0; i < times.size(); ++i)
            if (times[i] == comparison->since()) {
                compared = static_cast<int>(i);
                break;
            }
    }
    m_comparedScan = compared;
    applyComparison(std::move(comparison));
    for (const std::string& warning : history->warnings)
        m_result.value()->warnings.push_back(warning);
}

void ScanController::compareWith(int index) {
    if (m_busy || !m_record || index < 0 || index >= static_cast<int>(m_earlierFiles.size()))
        return;
    std::vector<std::string> warnings;
    const std::optional<ScanRecord> earlier =
        ScanHistory::load(m_earlierFiles[static_cast<std::size_t>(index)], warnings);
    if (!earlier) {
        showToast(Fmt::text(warnings.empty() ? std::string() : warnings.front()), 6);
        return;
    }
    m_comparedScan = index;
    auto comparison = std::make_shared<ScanComparison>(*earlier, *m_record);
    comparison->recheckRemoved(*m_result.value());
    applyComparison(std::move(comparison));
    refreshSnapshots(currentID());
}

void ScanController::applyComparison(std::shared_ptr<const ScanComparison> comparison) {
    m_comparison = std::move(comparison);
    forgetFacts();
    if (!m_comparison) {
        m_changeSummary = std::nullopt;
        m_changeRows = Rows{};
        m_grownFolders = Rows{};
        return;
    }
    const ScanRecord::Values& before = m_comparison->totalsBefore();
    const ScanRecord::Values& now = m_comparison->totalsNow();
    m_changeSummary =
        ChangeSummary{m_comparison->since(), now.qta - before.qta, now.local - before.local};
    Rows rows;
    for (const ScanComparison::Change& change :
         m_comparison->largest(static_cast<std::size_t>(listingRowLimit)))
        rows.push_back(changeRow(change));
    m_changeRows = rows;
    Rows grown;
    for (const ScanComparison::Change& change : m_comparison->largest(grownFolderCount, true))
        grown.push_back(changeRow(change));
    m_grownFolders = grown;
}

NodeDTO ScanController::changeRow(const ScanComparison::Change& change) const {
    const ResultPtr result = m_result;
    if (const Item* item = result ? ScanRecord::itemFor(*result, change.key) : nullptr)
        return listedRow(*item);
    // Gone from the database: a row with its key, its old size and nothing more.
    NodeDTO row;
    row.id = change.key;
    const std::size_t slash = change.key.rfind('/');
    row.name = slash == std::string::npos ? change.key : change.key.substr(slash + 1);
    row.kind = change.dir ? ItemKind::dir : ItemKind::doc;
    row.dead = true;
    return row;
}

std::optional<ScanController::RowChange> ScanController::rowChange(const std::string& id) const {
    if (!m_comparison)
        return std::nullopt;
    if (const RowFacts* facts = factsFor(id))
        return facts->change;
    // A row of an item the database no longer holds is listed by its key.
    if (const ScanComparison::Change* change = m_comparison->find(id))
        return RowChange{change->kind, change->delta()};
    return std::nullopt;
}

void ScanController::showChanges() {
    if (m_busy || !m_result.value())
        return;
    // The sizes of the changed items as they are now (a Trash run may have come between).
    applyComparison(m_comparison);
    enterListing(View::changes);
}

} // namespace tessary
