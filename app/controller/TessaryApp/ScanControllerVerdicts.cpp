// What the rows of the listings carry besides their values: whether each item may go to the
// Trash or be freed from this Mac (and why not), whether it is an app's internal data, its path on
// the disk and its folder. They are made on the main thread when a row is first asked about, and
// for every listed row before an operation starts, so the views paint and act on values and never
// read the result while an operation may be changing it.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/TrashPolicy.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

namespace tessary {

const ScanController::RowFacts* ScanController::factsFor(const std::string& id) const {
    if (const auto found = m_rowFacts.find(id); found != m_rowFacts.end())
        return &found->second;
    const ResultPtr result = m_result;
    const Item* item = m_busy || !result ? nullptr : result->get(id);
    if (!item)
        return nullptr;
    if (!m_policy)
        m_policy = std::make_shared<const TrashPolicy>(policyNow());
    RowFacts facts;
    facts.verdict = m_policy->verdict(*item);
    facts.localPath = nearestPath(*item);
    facts.evictReason = evictReason(*item);
    if (m_comparison)
        if (const ScanComparison::Change* change =
                m_comparison->find(ScanRecord::keyOf(*result, *item)))
            facts.change = RowChange{change->kind, change->delta()};
    const std::string parent(item->parent());
    if (!parent.empty() && result->get(parent))
        facts.parent = parent;
    return &m_rowFacts.emplace(id, std::move(facts)).first->second;
}

void ScanController::judgeListedRows() {
    if (m_busy)
        return;
    for (const Rows& rows :
         {m_children.value(), m_topFiles.value(), m_bigDirs.value(), m_searchResults.value(),
          m_deleteRows.value(), m_changeRows.value(), m_grownFolders.value()})
        for (const NodeDTO& row : rows)
            (void)factsFor(row.id);
    if (const OptID current = currentID())
        (void)factsFor(*current);
}

void ScanController::forgetFacts() {
    m_rowFacts.clear();
    m_policy.reset();
}

TrashPolicy ScanController::policyNow() const {
    return TrashPolicy(m_env, m_result.value().get(), m_source.value().readOnly());
}

bool ScanController::isListed(const std::string& id) const {
    return m_deleteList.contains(id);
}

TrashVerdict ScanController::trashVerdict(const std::string& id) const {
    TrashVerdict verdict;
    if (const RowFacts* facts = factsFor(id))
        verdict = facts->verdict;
    else if (m_busy)
        verdict.reason = tr("Počkejte, až skončí probíhající operace.");
    else
        verdict.reason = tr("Položka v datech není.");
    verdict.listed = isListed(id);
    return verdict;
}

std::optional<QString> ScanController::trashReason(const std::string& id) const {
    if (m_busy)
        return tr("Počkejte, až skončí probíhající operace.");
    const Item* item = find(id);
    if (!item)
        return tr("Položka v datech není.");
    return trashReason(*item);
}

std::optional<QString> ScanController::trashReason(const Item& item) const {
    return policyNow().reason(item);
}

std::optional<QString> ScanController::appDataApp(const Item& item) const {
    return policyNow().appDataApp(item);
}

std::optional<std::string> ScanController::localPath(const std::string& id) const {
    // The paths of a dump from another Mac are not on this disk.
    if (m_source.value().readOnly())
        return std::nullopt;
    if (m_busy) {
        const RowFacts* facts = factsFor(id);
        return facts ? facts->localPath : std::nullopt;
    }
    const Item* item = find(id);
    return item ? nearestPath(*item) : std::nullopt;
}

std::optional<std::string> ScanController::parentID(const std::string& id) const {
    if (m_busy) {
        const RowFacts* facts = factsFor(id);
        return facts ? facts->parent : std::nullopt;
    }
    const Item* item = find(id);
    const std::string parent = item ? std::string(item->parent()) : std::string();
    if (parent.empty() || !find(parent))
        return std::nullopt;
    return parent;
}

} // namespace tessary
