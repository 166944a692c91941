#include "TessaryCore/Aggregator.hpp"

#include "TessaryCore/Saturating.hpp"

#include <cstddef>
#include <limits>
#include <unordered_set>
#include <vector>

namespace tessary {

namespace {

void aggregateLeaf(Item& it, ScanMode mode) {
    it.aggSz = it.sz;
    it.aggCloud = (!it.resolved || it.dataless) ? it.sz : 0;
    it.aggLocal = it.localAlloc;
    it.aggDocs = it.kind() == ItemKind::doc ? 1 : 0;
    it.aggDirs = 0;
    it.aggUnenum = 0;
    it.aggDatalessDocs = it.isCloudOnlyDoc() ? 1 : 0;
    it.aggQta = (it.qta != 0 && mode == ScanMode::dump) ? it.qta : it.sz;
}

// A folder's own quota charge from the database wins over its children's sum, except for the
// synthetic top folders, which the database never charges.
std::int64_t folderQta(const Item& it, ScanMode mode, std::int64_t childSum) {
    if (mode == ScanMode::dump && it.qta != 0 && !it.isVirtual())
        return it.qta;
    return childSum;
}

struct Totals {
    std::int64_t aggSz = 0, aggCloud = 0, aggLocal = 0, aggDocs = 0;
    std::int64_t aggDirs = 0, aggUnenum = 0, aggQta = 0, aggDatalessDocs = 0;

    void add(const Item& c) {
        aggSz = Saturating::add(aggSz, c.aggSz);
        aggCloud = Saturating::add(aggCloud, c.aggCloud);
        aggLocal = Saturating::add(aggLocal, c.aggLocal);
        aggDocs = Saturating::add(aggDocs, c.aggDocs);
        aggDirs = Saturating::add(aggDirs, c.aggDirs);
        aggUnenum = Saturating::add(aggUnenum, c.aggUnenum);
        aggQta = Saturating::add(aggQta, c.aggQta);
        aggDatalessDocs = Saturating::add(aggDatalessDocs, c.aggDatalessDocs);
    }
};

void zeroAggregates(Item& it) {
    it.aggSz = it.aggCloud = it.aggLocal = it.aggDocs = 0;
    it.aggDirs = it.aggUnenum = it.aggQta = it.aggDatalessDocs = 0;
}

void addAggregates(Item& into, const Item& from) {
    into.aggSz = Saturating::add(into.aggSz, from.aggSz);
    into.aggCloud = Saturating::add(into.aggCloud, from.aggCloud);
    into.aggLocal = Saturating::add(into.aggLocal, from.aggLocal);
    into.aggDocs = Saturating::add(into.aggDocs, from.aggDocs);
    into.aggDirs = Saturating::add(into.aggDirs, from.aggDirs);
    into.aggUnenum = Saturating::add(into.aggUnenum, from.aggUnenum);
    into.aggQta = Saturating::add(into.aggQta, from.aggQta);
    into.aggDatalessDocs = Saturating::add(into.aggDatalessDocs, from.aggDatalessDocs);
}

void aggregateFolder(Item& it, ScanMode mode) {
    Totals sum;
    for (const Item* child : it.children)
        if (child != nullptr)
            sum.add(*child);
    it.aggSz = sum.aggSz;
    it.aggCloud = sum.aggCloud;
    it.aggLocal = sum.aggLocal;
    it.aggDocs = sum.aggDocs;
    it.aggDatalessDocs = sum.aggDatalessDocs;
    it.aggDirs = Saturating::add(sum.aggDirs, 1);
    it.aggUnenum = Saturating::add(sum.aggUnenum, it.enumerated ? 0 : 1);
    it.aggQta = folderQta(it, mode, sum.aggQta);
}

void aggregateOne(Item& it, ScanMode mode) {
    if (it.isDir())
        aggregateFolder(it, mode);
    else
        aggregateLeaf(it, mode);
}

} // namespace

// The walk for a proper tree: a pre-order visiting list per root, processed back to front so
// that every child is done before its parent. Items without children are done as soon as they
// are met and stay off the list, which then holds little more than the folders. Every item it
// reaches is marked; one reached a second time (from another folder, another root, or round a
// cycle) makes it give up, leaving the work half done and returning false.
bool Aggregator::aggregateTrees(ScanResult& result) {
    // The marks are scratch of other walks too: all start clear.
    result.forEachItem([](Item& item) { item.m_mark = 0; });
    for (Item* root : result.roots)
        if (root != nullptr)
            root->m_mark = 0;
    const ScanMode mode = result.mode;
    std::vector<Item*> stack;
    std::vector<Item*> order;
    for (Item* root : result.roots) {
        if (root == nullptr)
            continue;
        stack.assign(1, root);
        order.clear();
        while (!stack.empty()) {
            Item* it = stack.back();
            stack.pop_back();
            if (it->m_mark != 0)
                return false;
            it->m_mark = 1;
            if (it->children.empty()) {
                aggregateOne(*it, mode);
                continue;
            }
            order.push_back(it);
            for (Item* child : it->children)
                if (child != nullptr)
                    stack.push_back(child);
        }
        for (auto pos = order.rbegin(); pos != order.rend(); ++pos)
            aggregateOne(**pos, mode);
    }
    return true;
}

namespace {

// The walk for children lists that are not a tree (a cycle, or an item under two folders): each
// item is taken once, under the first folder that reaches it, and adds its totals to that folder
// only. Costs a hash set of all items, so it runs only when the plain walk gave up.
void aggregateOnce(ScanResult& result) {
    const ScanMode mode = result.mode;
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    struct Entry {
        Item* item;
        std::size_t parent; // position in `order` of the folder that took this item
    };
    std::unordered_set<const Item*> seen;
    std::vector<Entry> stack;
    std::vector<Entry> order;
    for (Item* root : result.roots) {
        if (root == nullptr || !seen.insert(root).second)
            continue;
        stack.assign(1, Entry{root, none});
        order.clear();
        while (!stack.empty()) {
            const Entry e = stack.back();
            stack.pop_back();
            const std::size_t at = order.size();
            order.push_back(e);
            // Children add into these fields on the way back, so they start from zero.
            zeroAggregates(*e.item);
            for (Item* child : e.item->children)
                if (child != nullptr && seen.insert(child).second)
                    stack.push_back(Entry{child, at});
        }
        for (auto pos = order.rbegin(); pos != order.rend(); ++pos) {
            Item& it = *pos->item;
            if (it.isDir()) {
                it.aggDirs = Saturating::add(it.aggDirs, 1);
                it.aggUnenum = Saturating::add(it.aggUnenum, it.enumerated ? 0 : 1);
                it.aggQta = folderQta(it, mode, it.aggQta);
            } else {
                aggregateLeaf(it, mode);
            }
            if (pos->parent != none)
                addAggregates(*order[pos->parent].item, it);
        }
    }
}

} // namespace

void Aggregator::aggregate(ScanResult& result) {
    // Children lists that are not a tree (an item under two folders or two roots, a cycle) are
    // summed by the slower walk that takes each item once.
    if (!aggregateTrees(result))
        aggregateOnce(result);

    for (Item* d : result.dead) {
        if (d == nullptr)
            continue;
        d->aggQta = d->qta;
        d->aggSz = d->sz;
        d->aggCloud = d->sz; // a deleted item counts as wholly in the cloud
        d->aggDocs = d->isDir() ? 0 : 1;
        d->aggDirs = d->isDir() ? 1 : 0;
    }
}

} // namespace tessary
