#pragma once

#include "TessaryCore/Container.hpp"
#include "TessaryCore/HugeBlock.hpp"
#include "TessaryCore/HugeBlockSupply.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanMode.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// The outcome of one scan: the items and containers (owned here, at stable addresses), the
// container roots, the dead items set aside, and the counters and warnings of the stages.
//
// Touched by one thread at a time and never locked. Not copyable; moving keeps every item's
// and container's address.
class ScanResult {
public:
    ScanResult() = default;
    ScanResult(ScanResult&&) noexcept = default;
    ScanResult& operator=(ScanResult&&) noexcept = default;
    ScanResult(const ScanResult&) = delete;
    ScanResult& operator=(const ScanResult&) = delete;

    // Stores `item`, files it under its id (replacing an entry with the same id, whose object
    // stays in itemOrder) and appends it to itemOrder. Returns the stored item.
    Item& add(Item item);
    // Stores `item` and files it under its id like `add`, but leaves itemOrder alone: for the
    // synthetic roots and orphan buckets.
    Item& put(Item item);
    // Like `add`, but only when no item is filed under `id` yet: then the item is built in place
    // (its texts go straight into the result's arena) and returned; otherwise nothing is stored
    // and null is returned. One lookup instead of `get` followed by `add`.
    Item* addNew(std::string_view id, std::string_view parent, std::string_view pat, ItemKind kind,
                 std::int64_t container);
    // The item filed under `id`, or null.
    [[nodiscard]] Item* get(std::string_view id) const;
    // Frees the memory prepared ahead for more items; call once the result is built. Adding
    // items still works afterwards, only without memory prepared ahead.
    void stopGrowing();
    // Number of entries of the id map.
    [[nodiscard]] std::size_t itemCount() const { return m_index.size(); }
    // Items added through `add`, in the order of addition.
    [[nodiscard]] const std::vector<Item*>& itemOrder() const { return m_order; }

    // Calls `f(Item&)` for every entry of the id map, in the order the entries were stored.
    template <class F> void forEachItem(F&& f) const {
        for (std::uint32_t i = 0; i < m_store.size(); ++i) {
            Item& item = m_store.at(i);
            if (item.m_inMap)
                f(item);
        }
    }

    // The ancestors of `item`, outermost first, without the item itself. Ends on a cycle of
    // parent ids after visiting each id once.
    [[nodiscard]] std::vector<Item*> ancestors(const Item& item) const;
    // Names of the ancestors and of the item, joined with "/".
    [[nodiscard]] std::string displayPath(const Item& item) const;
    // Takes `item` and its whole subtree out of the id map, itemOrder and its parent's children
    // (by identity). Roots, dead items, containers and aggregates are left as they are: the
    // caller aggregates again. The objects stay allocated until the result is destroyed.
    void remove(Item& item);
    // The root of iCloud Drive's own container, else the first root, else null.
    [[nodiscard]] Item* mainRoot() const;

    std::map<std::int64_t, Container> containers;
    std::vector<Item*> roots;
    std::vector<Item*> dead;
    std::optional<std::int64_t> quotaRemaining;
    std::optional<double> dumpTime;
    ScanMode mode = ScanMode::dump;
    std::map<std::string, std::int64_t> stats;
    std::vector<std::string> warnings;

private:
    // The items, in chunks of 16384 at fixed addresses, numbered in the order of storing.
    class ItemStore {
    public:
        static constexpr std::uint32_t chunkBits = 14;
        static constexpr std::uint32_t chunkItems = 1u << chunkBits;

        ItemStore() = default;
        ItemStore(ItemStore&& other) noexcept;
        ItemStore& operator=(ItemStore&& other) noexcept;
        ~ItemStore();

        [[nodiscard]] Item& at(std::uint32_t i) const {
            return static_cast<Item*>(m_blocks[i >> chunkBits].data())[i & (chunkItems - 1)];
        }
        [[nodiscard]] std::uint32_t size() const { return m_size; }
        // Room for the next item; the caller constructs it there and then calls `commit`.
        [[nodiscard]] void* next();
        void commit() { ++m_size; }
        void stopGrowing();

    private:
        void clear();

        std::vector<HugeBlock> m_blocks; // chunkItems items each
        std::unique_ptr<HugeBlockSupply> m_supply;
        std::uint32_t m_size = 0;
    };

    // The id map: open addressing with linear probing over item numbers, keyed by the items'
    // own id texts. A slot is 8 bytes (number and 32 bits of hash), a fraction of a node-based
    // map's entry, and a lookup that misses touches one cache line.
    class IdIndex {
    public:
        struct Slot {
            std::uint32_t item; // number in the store, plus one; 0 marks an empty slot
            std::uint32_t tag;  // low 32 bits of the hash of the item's id
        };

        [[nodiscard]] Item* find(std::string_view id, const ItemStore& store) const;
        // The slot where `id` is filed or would go; grows the table first if needed.
        [[nodiscard]] Slot& locate(std::string_view id, const ItemStore& store);
        // Files item number `n` under its id; returns the item it replaced, or null.
        Item* put(std::uint32_t n, const ItemStore& store);
        // Takes out the entry of item `item` if the map points at this very object.
        void erase(const Item* item, const ItemStore& store);
        [[nodiscard]] std::size_t size() const { return m_size; }
        void added() { ++m_size; }

    private:
        [[nodiscard]] static std::uint64_t hash(std::string_view id);
        void grow();

        [[nodiscard]] Slot* table() const { return static_cast<Slot*>(m_block.data()); }

        HugeBlock m_block; // the slots, zeroed (empty) when mapped
        std::size_t m_capacity = 0;
        std::size_t m_size = 0;
        std::size_t m_mask = 0;
    };

    // Texts of the stored items, in large chunks instead of one allocation per item.
    class TextArena {
    public:
        char* allocate(std::size_t n);
        void stopGrowing();

    private:
        std::vector<HugeBlock> m_chunks;
        std::unique_ptr<HugeBlockSupply> m_supply;
        char* m_next = nullptr;
        std::size_t m_left = 0;
    };

    Item& store(Item item);

    ItemStore m_store;
    TextArena m_text;
    IdIndex m_index;
    std::vector<Item*> m_order;
};

} // namespace tessary
