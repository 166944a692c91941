#pragma once

#include "TessaryCore/ItemKind.hpp"
#include "TessaryCore/LocalEntry.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// The entries of one listed local folder, each filed under every mask its name may be printed
// as and every kind it may stand for. Filing is cheap: the masks go into one text buffer and the
// keys into one flat array, sorted once when the listing is complete; a look-up is a binary
// search. The entries live as long as the listing.
class LocalListing {
public:
    using Candidates = std::span<LocalEntry* const>;

    LocalListing() = default;
    LocalListing(LocalListing&&) noexcept = default;
    LocalListing& operator=(LocalListing&&) noexcept = default;
    LocalListing(const LocalListing&) = delete;
    LocalListing& operator=(const LocalListing&) = delete;

    // Stores `entry` and files it under each of `masks` (distinct) for each of `kinds`.
    LocalEntry& add(LocalEntry&& entry, std::span<const std::string> masks,
                    std::span<const ItemKind> kinds);
    // Makes the listing searchable; call once after the last `add`.
    void seal();

    // The entries filed under (`mask`, `kind`) in listing order; empty when there are none.
    [[nodiscard]] Candidates find(std::string_view mask, ItemKind kind) const;
    [[nodiscard]] std::size_t size() const { return m_entries.size(); }

private:
    struct Key {
        std::uint64_t hash;
        std::uint32_t maskAt;
        std::uint32_t maskSize;
        ItemKind kind;
        // Listing order of the entry, so that equal keys keep it once sorted.
        std::uint32_t order;
        LocalEntry* entry;
    };
    [[nodiscard]] std::string_view maskOf(const Key& k) const {
        return std::string_view(m_masks).substr(k.maskAt, k.maskSize);
    }
    // Orders by hash, kind, mask text, then listing order.
    [[nodiscard]] bool before(const Key& a, std::uint64_t hash, ItemKind kind,
                              std::string_view mask) const;

    std::deque<LocalEntry> m_entries;
    std::string m_masks;
    std::vector<Key> m_keys;
    // The entries of m_keys in the same order, handed out as spans.
    std::vector<LocalEntry*> m_sorted;
};

} // namespace tessary
