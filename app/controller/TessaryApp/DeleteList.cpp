#include "TessaryApp/DeleteList.hpp"

#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/NodeRows.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <algorithm>

namespace tessary {

DeleteList::DeleteList(bool stored)
    : m_stored(stored), m_ids(stored ? AppSettings::deleteList() : IDList{}) {}

bool DeleteList::contains(const std::string& id) const {
    return std::find(m_ids.begin(), m_ids.end(), id) != m_ids.end();
}

bool DeleteList::add(const std::string& id) {
    if (contains(id))
        return false;
    m_ids.push_back(id);
    store();
    return true;
}

void DeleteList::remove(const std::string& id) {
    std::erase(m_ids, id);
    store();
}

void DeleteList::clear() {
    m_ids.clear();
    store();
}

void DeleteList::removeAll(const std::set<std::string>& gone) {
    std::erase_if(m_ids, [&gone](const std::string& id) { return gone.contains(id); });
    store();
}

void DeleteList::replace(IDList ids) {
    m_ids = std::move(ids);
    store();
}

void DeleteList::store() {
    if (m_stored)
        AppSettings::setDeleteList(m_ids);
}

DeleteList::Listing DeleteList::listing(const ScanResult& result) const {
    Listing listing;
    for (const std::string& id : m_ids)
        if (const Item* item = result.get(id))
            listing.rows.push_back(NodeRows::listed(result, *item));
    std::stable_sort(listing.rows.begin(), listing.rows.end(),
                     [](const NodeDTO& a, const NodeDTO& b) { return a.qta > b.qta; });
    const std::vector<bool> inside = NodeRows::insideAnother(result, listing.rows);
    Savings& savings = listing.savings;
    for (std::size_t i = 0; i < listing.rows.size(); ++i) {
        if (inside[i]) {
            ++savings.nested;
            continue;
        }
        savings.qta += listing.rows[i].qta;
        savings.cloud += listing.rows[i].cloud;
        savings.local += listing.rows[i].local;
        ++savings.items;
    }
    return listing;
}

} // namespace tessary
