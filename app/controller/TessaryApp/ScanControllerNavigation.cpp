// The controller's listings: the folder being browsed, the largest files and folders, search,
// the usage bar's rows, drill-down path and breakdowns.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/NodeRows.hpp"
#include "TessaryApp/SearchText.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Serialization.hpp"

#include <algorithm>
#include <numeric>
#include <set>

namespace tessary {

namespace {

std::vector<NodeDTO> firstRows(const std::vector<NodeDTO>& rows, std::size_t n) {
    return {rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(std::min(n, rows.size()))};
}

} // namespace

Item* ScanController::find(const std::string& id) const {
    const ResultPtr result = m_result;
    return result ? result->get(id) : nullptr;
}

Item* ScanController::currentItem() const {
    const OptID id = currentID();
    return id ? find(*id) : nullptr;
}

NodeDTO ScanController::listedRow(const Item& item) const {
    return NodeRows::listed(*m_result.value(), item);
}

void ScanController::enterListing(View view) {
    m_view = view;
    m_barPath = BarPath{};
    // The rows of the new listing are judged anew, against the disk as it is now.
    forgetFacts();
}

void ScanController::followShownRows() {
    // colorRank is the rank of each row of the shown listing, whichever of the two changes.
    for (auto signal : {&ScanController::viewChanged, &ScanController::childrenChanged,
                        &ScanController::topFilesChanged, &ScanController::bigDirsChanged,
                        &ScanController::searchResultsChanged, &ScanController::deleteRowsChanged,
                        &ScanController::changeRowsChanged})
        connect(this, signal, this, [this] { m_colorRank = ranks(shownRows()); });
}

const ScanController::Rows& ScanController::shownRows() const {
    switch (m_view.value()) {
    case View::top:
        return m_topFiles.value();
    case View::bigDirs:
        return m_bigDirs.value();
    case View::search:
        return m_searchResults.value();
    case View::deleteList:
        return m_deleteRows.value();
    case View::changes:
        return m_changeRows.value();
    case View::tree:
        break;
    }
    return m_children.value();
}

void ScanController::navigate(const std::optional<std::string>& id, bool resetView) {
    const ResultPtr result = m_result;
    if (m_busy || !result)
        return;
    Item* item = id ? result->get(*id) : nullptr;
    if (!item)
        item = result->mainRoot();
    if (!item)
        return;
    if (resetView)
        m_query = QString();
    enterListing(resetView ? View::tree : m_view.value());
    m_current = NodeDTO(*item);
    Rows crumbs;
    for (const Item* ancestor : result->ancestors(*item))
        crumbs.emplace_back(*ancestor);
    m_breadcrumbs = std::move(crumbs);

    listChildren(*item);
    m_selectedID = std::nullopt;
    m_hoveredID = std::nullopt;
}

void ScanController::listChildren(const Item& folder) {
    const std::vector<Item*> sorted = Serialization::childrenSorted(folder, m_sortKey);
    const std::size_t shown = std::min<std::size_t>(sorted.size(), folderRowLimit);
    Rows rows;
    rows.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i)
        rows.emplace_back(*sorted[i]);
    m_children = std::move(rows);
    m_more = static_cast<std::int64_t>(sorted.size() - shown);
}

void ScanController::setSortKey(SortKey key) {
    if (key == m_sortKey)
        return;
    m_sortKey = key;
    // Only a folder cut at the limit lists other rows in another order; the rest sort in the
    // view.
    if (m_busy || m_more == 0)
        return;
    if (const Item* folder = currentItem())
        listChildren(*folder);
}

void ScanController::navigateToParent() {
    const Item* item = m_busy ? nullptr : currentItem();
    if (!item)
        return;
    const std::string parent(item->parent());
    if (!parent.empty() && find(parent))
        navigate(parent, true);
}

void ScanController::goHome() {
    if (m_busy || !m_result.value())
        return;
    const OptSummary summary = m_summary;
    navigate(summary ? summary->mainRoot : std::nullopt, true);
}

bool ScanController::isAtHome() const {
    if (m_view != View::tree)
        return false;
    const OptSummary summary = m_summary;
    const OptID home = summary ? summary->mainRoot : std::nullopt;
    return currentID() == home;
}

void ScanController::show(View view) {
    switch (view) {
    case View::top:
        loadTopFiles(listingRowLimit);
        break;
    case View::bigDirs:
        loadBigDirs(listingRowLimit);
        break;
    case View::deleteList:
        showDeleteList();
        break;
    case View::changes:
        showChanges();
        break;
    case View::tree:
    case View::search:
        navigate(currentID(), true);
        break;
    }
}

void ScanController::showDeleteList() {
    if (m_busy)
        return;
    refreshDeleteRows();
    enterListing(View::deleteList);
}

template <class Listing, class Build>
void ScanController::showListing(View view, Listing& rows, Build&& build) {
    const ResultPtr result = m_result;
    if (m_busy || !result)
        return;
    rows = build(*result);
    enterListing(view);
}

void ScanController::loadTopFiles(int n) {
    showListing(View::top, m_topFiles, [this, n](const ScanResult& result) {
        return Serialization::topFiles(result, n, m_topCloudOnly, currentItem());
    });
}

void ScanController::loadBigDirs(int n) {
    showListing(View::bigDirs, m_bigDirs, [this, n](const ScanResult& result) {
        return Serialization::topDirs(result, n, currentItem());
    });
}

void ScanController::runSearch(int limit) {
    const ResultPtr result = m_result;
    if (m_busy || !result)
        return;
    const std::string needle = SearchText::needle(m_query);
    enterListing(View::search);
    if (SearchText::visibleLength(needle) < searchMinLength) {
        m_searchResults = Rows{};
        m_searchTotal = 0;
        return;
    }
    std::vector<Item*> hits;
    for (const auto& [key, item] : m_searchIndex)
        if (key.find(needle) != std::string::npos)
            hits.push_back(item);
    // Largest first; equal sizes keep the index order.
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Item* a, const Item* b) { return a->aggQta > b->aggQta; });
    m_searchTotal = static_cast<std::int64_t>(hits.size());
    const std::size_t shown = std::min<std::size_t>(hits.size(), std::max(limit, 0));
    Rows rows;
    rows.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i)
        rows.push_back(listedRow(*hits[i]));
    m_searchResults = std::move(rows);
}

ScanController::SearchIndex ScanController::buildSearchIndex(const ScanResult& result) {
    SearchIndex index;
    index.reserve(result.itemCount());
    result.forEachItem([&index](Item& item) {
        if (!item.id().starts_with("root["))
            index.emplace_back(SearchText::key(item.name()), &item);
    });
    return index;
}

ScanController::ColorRanks ScanController::ranks(const Rows& rows) {
    return NodeRows::ranks(rows);
}

ScanController::Rows ScanController::mapRows() const {
    // The delete list draws its outermost rows; the folder all its rows; the other listings
    // their first rows.
    switch (m_view.value()) {
    case View::deleteList:
        return m_deleteOuter;
    case View::tree:
        return m_children;
    case View::top:
    case View::bigDirs:
    case View::search:
    case View::changes:
        break;
    }
    return firstRows(shownRows(), listingRowLimit);
}

const ScanController::Breakdown* ScanController::breakdown(const std::string& id) {
    if (const auto cached = m_breakdownCache.find(id); cached != m_breakdownCache.end())
        return &cached->second;
    if (m_busy)
        return nullptr;
    const Item* item = find(id);
    if (!item || !item->isDir())
        return nullptr;
    const std::vector<Item*> sorted = Serialization::childrenSorted(*item, SortKey::qta);
    Breakdown result;
    const std::size_t considered = std::min<std::size_t>(sorted.size(), breakdownChildLimit);
    for (std::size_t i = 0; i < considered; ++i)
        if (sorted[i]->aggQta >= 1)
            result.items.emplace_back(*sorted[i]);
    for (const Item* child : sorted)
        result.total += child->aggQta;
    result.count = static_cast<std::int64_t>(sorted.size());
    return &m_breakdownCache.emplace(id, std::move(result)).first->second;
}

void ScanController::toggleBarFocus(const std::string& id, int level, int rank) {
    BarPath path = m_barPath;
    const std::size_t length = path.size();
    const std::size_t at = static_cast<std::size_t>(std::clamp<int>(level, 0, int(length)));
    if (at < length && path[at].id == id) {
        path.resize(at);
        m_barPath = std::move(path);
        return;
    }
    if (at >= static_cast<std::size_t>(barDepthLimit)) {
        showToast(tr("Hlouběji pokračujte dvojklikem – složka se otevře v tabulce."), 3.5);
        return;
    }
    path.resize(at);
    path.push_back(BarFocus{id, rank});
    m_barPath = std::move(path);
}

void ScanController::afterResultChange(const OptID& keepingNode, std::optional<ScanReport> report) {
    m_breakdownCache.clear();
    refreshSnapshots(keepingNode);
    if (report)
        m_report = std::move(*report);
    else if (const ResultPtr result = m_result)
        m_report = ScanReport::build(*result);
}

void ScanController::refreshSnapshots(const OptID& keepingNode) {
    const ResultPtr result = m_result;
    if (!result)
        return;
    m_summary = Serialization::summary(*result);
    const View view = m_view;
    const OptSummary summary = m_summary;
    navigate(keepingNode ? keepingNode : (summary ? summary->mainRoot : std::nullopt),
             view == View::tree);
    refreshDeleteRows();
    switch (view) {
    case View::top:
        loadTopFiles(listingRowLimit);
        break;
    case View::bigDirs:
        loadBigDirs(listingRowLimit);
        break;
    case View::search:
        if (!m_query.value().isEmpty())
            runSearch(listingRowLimit);
        break;
    case View::deleteList:
        showDeleteList();
        break;
    case View::changes:
        // The sizes of the changed items as they are now.
        applyComparison(m_comparison);
        break;
    case View::tree:
        break;
    }
}

} // namespace tessary
