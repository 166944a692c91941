// What the rows of the listings carry besides their values: whether each item may go to the
// Trash (and why not), whether it is an app's internal data, its path on the disk and its folder.
// They are made on the main thread when a listing is built, so the views paint and act on values
// and never read the result while an operation may be changing it.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/TrashPolicy.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

namespace tessary {

ScanController::RowFacts ScanController::factsOf(const Item& item,
                                                 const TrashPolicy& policy) const {
    RowFacts facts;
    facts.verdict = policy.verdict(item);
    facts.localPath = nearestPath(item);
    const std::string parent(item.parent());
    if (!parent.empty() && find(parent))
        facts.parent = parent;
    return facts;
}

void ScanController::noteRows(const Rows& rows) {
    const ResultPtr result = m_result;
    if (!result || m_busy)
        return;
    const TrashPolicy policy(m_env, result.get());
    for (const NodeDTO& row : rows)
        if (const Item* item = result->get(row.id))
            m_rowFacts.insert_or_assign(row.id, factsOf(*item, policy));
}

const ScanController::RowFacts* ScanController::knownFacts(const std::string& id) const {
    const auto found = m_rowFacts.find(id);
    return found == m_rowFacts.end() ? nullptr : &found->second;
}

bool ScanController::isListed(const std::string& id) const {
    return m_deleteList.contains(id);
}

TrashVerdict ScanController::trashVerdict(const std::string& id) const {
    TrashVerdict verdict;
    if (const RowFacts* facts = knownFacts(id)) {
        verdict = facts->verdict;
    } else if (m_busy) {
        verdict.reason = tr("Počkejte, až skončí probíhající operace.");
    } else if (const Item* item = find(id)) {
        verdict = TrashPolicy(m_env, m_result.value().get()).verdict(*item);
    } else {
        verdict.reason = tr("Položka v datech není.");
    }
    verdict.listed = isListed(id);
    return verdict;
}

std::optional<QString> ScanController::trashReason(const std::string& id) const {
    const Item* item = find(id);
    if (!item)
        return tr("Položka v datech není.");
    return trashReason(*item);
}

std::optional<QString> ScanController::trashReason(const Item& item) const {
    return TrashPolicy(m_env, m_result.value().get()).reason(item);
}

std::optional<QString> ScanController::appDataApp(const Item& item) const {
    return TrashPolicy(m_env, m_result.value().get()).appDataApp(item);
}

std::optional<std::string> ScanController::localPath(const std::string& id) const {
    if (m_busy) {
        const RowFacts* facts = knownFacts(id);
        return facts ? facts->localPath : std::nullopt;
    }
    const Item* item = find(id);
    return item ? nearestPath(*item) : std::nullopt;
}

std::optional<std::string> ScanController::parentID(const std::string& id) const {
    if (m_busy) {
        const RowFacts* facts = knownFacts(id);
        return facts ? facts->parent : std::nullopt;
    }
    const Item* item = find(id);
    const std::string parent = item ? std::string(item->parent()) : std::string();
    if (parent.empty() || !find(parent))
        return std::nullopt;
    return parent;
}

} // namespace tessary
