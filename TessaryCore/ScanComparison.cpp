#include "TessaryCore/ScanComparison.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <algorithm>
#include <cstdlib>

namespace tessary {

namespace {

// The full keys of a record's entries and of their folders.
struct Keys {
    std::vector<std::string> storage;
    std::vector<std::string_view> own;
    explicit Keys(const ScanRecord& record) : own(record.fullKeys(storage)) {}
    [[nodiscard]] std::string_view parentOf(const ScanRecord& record, std::size_t i) const {
        const std::uint32_t parent = record.entries[i].parent;
        return parent == 0 ? std::string_view() : own[parent - 1];
    }
};

ScanComparison::Kind kindOf(const ScanComparison::Change& c) {
    if (c.parentBefore != c.parentAfter)
        return ScanComparison::Kind::moved;
    if (c.delta() > 0)
        return ScanComparison::Kind::grown;
    if (c.delta() < 0)
        return ScanComparison::Kind::shrunk;
    return ScanComparison::Kind::other; // the same charge, another split between cloud and disk
}

} // namespace

ScanComparison::ScanComparison(const ScanRecord& before, const ScanRecord& now)
    : m_since(before.time), m_totalsBefore(before.totals), m_totalsNow(now.totals) {
    const Keys oldKeys(before);
    const Keys newKeys(now);
    std::unordered_map<std::string_view, std::size_t> old;
    old.reserve(before.entries.size());
    for (std::size_t i = 0; i < before.entries.size(); ++i)
        old.emplace(oldKeys.own[i], i);
    std::vector<bool> seen(before.entries.size(), false);
    for (std::size_t i = 0; i < now.entries.size(); ++i) {
        const ScanRecord::Entry& e = now.entries[i];
        const std::string_view parentNow = newKeys.parentOf(now, i);
        const auto found = old.find(newKeys.own[i]);
        if (found == old.end()) {
            m_changes.push_back({std::string(newKeys.own[i]),
                                 std::string(parentNow),
                                 std::string(parentNow),
                                 e.dir,
                                 Kind::added,
                                 {},
                                 e.values});
            continue;
        }
        seen[found->second] = true;
        const ScanRecord::Values& was = before.entries[found->second].values;
        const std::string_view parentBefore = oldKeys.parentOf(before, found->second);
        if (was == e.values && parentBefore == parentNow)
            continue;
        Change c{std::string(newKeys.own[i]),
                 std::string(parentBefore),
                 std::string(parentNow),
                 e.dir,
                 Kind::other,
                 was,
                 e.values};
        c.kind = kindOf(c);
        m_changes.push_back(std::move(c));
    }
    for (std::size_t i = 0; i < before.entries.size(); ++i)
        if (!seen[i]) {
            const ScanRecord::Entry& e = before.entries[i];
            const std::string parent(oldKeys.parentOf(before, i));
            m_changes.push_back(
                {std::string(oldKeys.own[i]), parent, parent, e.dir, Kind::removed, e.values, {}});
        }
    m_index.reserve(m_changes.size());
    for (std::size_t i = 0; i < m_changes.size(); ++i)
        m_index.emplace(m_changes[i].key, i);
}

void ScanComparison::recheckRemoved(const ScanResult& now) {
    for (Change& c : m_changes) {
        if (c.kind != Kind::removed || c.dir)
            continue;
        const Item* item = ScanRecord::itemFor(now, c.key);
        if (!item || item->dead)
            continue;
        c.after = {item->aggQta, item->aggCloud, item->aggLocal};
        const std::string parent(item->parent());
        const Item* folder = parent.empty() ? nullptr : now.get(parent);
        c.parentAfter = folder ? ScanRecord::keyOf(now, *folder) : std::string();
        c.kind = kindOf(c);
    }
}

const ScanComparison::Change* ScanComparison::find(const std::string& key) const {
    const auto found = m_index.find(key);
    return found == m_index.end() ? nullptr : &m_changes[found->second];
}

std::vector<ScanComparison::Change> ScanComparison::largest(std::size_t n,
                                                            bool grownFolders) const {
    std::vector<const Change*> picked;
    for (const Change& c : m_changes)
        if (!grownFolders || (c.dir && c.delta() > 0 && c.kind != Kind::added))
            picked.push_back(&c);
    const auto bigger = [](const Change* a, const Change* b) {
        const std::int64_t da = std::llabs(a->delta());
        const std::int64_t db = std::llabs(b->delta());
        if (da != db)
            return da > db;
        if (a->kind != b->kind)
            return a->kind < b->kind;
        return a->key < b->key;
    };
    const std::size_t keep = std::min(n, picked.size());
    std::partial_sort(picked.begin(), picked.begin() + static_cast<std::ptrdiff_t>(keep),
                      picked.end(), bigger);
    std::vector<Change> out;
    out.reserve(keep);
    for (std::size_t i = 0; i < keep; ++i)
        out.push_back(*picked[i]);
    return out;
}

const char* ScanComparison::kindText(Kind kind) {
    switch (kind) {
    case Kind::grown:
        return "grown";
    case Kind::shrunk:
        return "shrunk";
    case Kind::added:
        return "new";
    case Kind::removed:
        return "deleted";
    case Kind::moved:
        return "moved";
    case Kind::other:
        return "changed";
    }
    return "changed";
}

} // namespace tessary
