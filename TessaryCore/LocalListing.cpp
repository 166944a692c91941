#include "TessaryCore/LocalListing.hpp"

#include <algorithm>
#include <functional>
#include <utility>

namespace tessary {

namespace {

std::uint64_t hashOf(std::string_view mask) {
    return std::hash<std::string_view>{}(mask);
}

} // namespace

LocalEntry& LocalListing::add(LocalEntry&& entry, std::span<const std::string> masks,
                              std::span<const ItemKind> kinds) {
    LocalEntry& stored = m_entries.emplace_back(std::move(entry));
    const auto order = static_cast<std::uint32_t>(m_entries.size());
    for (const std::string& mask : masks) {
        const auto at = static_cast<std::uint32_t>(m_masks.size());
        m_masks += mask;
        const std::uint64_t hash = hashOf(mask);
        for (const ItemKind kind : kinds)
            m_keys.push_back(
                Key{hash, at, static_cast<std::uint32_t>(mask.size()), kind, order, &stored});
    }
    return stored;
}

bool LocalListing::before(const Key& a, std::uint64_t hash, ItemKind kind,
                          std::string_view mask) const {
    if (a.hash != hash)
        return a.hash < hash;
    if (a.kind != kind)
        return a.kind < kind;
    return maskOf(a) < mask;
}

void LocalListing::seal() {
    std::sort(m_keys.begin(), m_keys.end(), [this](const Key& a, const Key& b) {
        if (before(a, b.hash, b.kind, maskOf(b)))
            return true;
        if (before(b, a.hash, a.kind, maskOf(a)))
            return false;
        return a.order < b.order;
    });
    m_sorted.clear();
    m_sorted.reserve(m_keys.size());
    for (const Key& k : m_keys)
        m_sorted.push_back(k.entry);
}

LocalListing::Candidates LocalListing::find(std::string_view mask, ItemKind kind) const {
    const std::uint64_t hash = hashOf(mask);
    const auto first = std::partition_point(
        m_keys.begin(), m_keys.end(), [&](const Key& k) { return before(k, hash, kind, mask); });
    auto last = first;
    while (last != m_keys.end() && last->hash == hash && last->kind == kind &&
           maskOf(*last) == mask)
        ++last;
    const auto at = static_cast<std::size_t>(first - m_keys.begin());
    return Candidates(m_sorted).subspan(at, static_cast<std::size_t>(last - first));
}

} // namespace tessary
