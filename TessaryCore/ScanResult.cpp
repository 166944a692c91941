#include "TessaryCore/ScanResult.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <unordered_set>
#include <utility>

namespace tessary {

namespace {

constexpr std::size_t arenaChunk = 4u << 20;
constexpr std::size_t arenaOwnChunk = arenaChunk / 16;

} // namespace

char* ScanResult::TextArena::allocate(std::size_t n) {
    if (n > arenaOwnChunk) {
        // Large texts get a chunk of their own, so the current chunk's rest is not wasted.
        m_chunks.emplace_back(n);
        return static_cast<char*>(m_chunks.back().data());
    }
    if (n > m_left || m_next == nullptr) {
        if (!m_supply)
            m_supply = std::make_unique<HugeBlockSupply>(arenaChunk);
        m_chunks.push_back(m_supply->take());
        m_next = static_cast<char*>(m_chunks.back().data());
        m_left = arenaChunk;
    }
    char* out = m_next;
    m_next += n;
    m_left -= n;
    return out;
}

void ScanResult::TextArena::stopGrowing() {
    if (m_supply)
        m_supply->stop();
}

ScanResult::ItemStore::ItemStore(ItemStore&& other) noexcept
    : m_blocks(std::move(other.m_blocks)), m_supply(std::move(other.m_supply)),
      m_size(std::exchange(other.m_size, 0)) {
    other.m_blocks.clear();
}

ScanResult::ItemStore& ScanResult::ItemStore::operator=(ItemStore&& other) noexcept {
    if (this != &other) {
        clear();
        m_blocks = std::move(other.m_blocks);
        m_supply = std::move(other.m_supply);
        other.m_blocks.clear();
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

ScanResult::ItemStore::~ItemStore() {
    clear();
}

void ScanResult::ItemStore::clear() {
    for (std::uint32_t i = 0; i < m_size; ++i)
        at(i).~Item();
    m_blocks.clear();
    m_supply.reset();
    m_size = 0;
}

void* ScanResult::ItemStore::next() {
    if (m_size == std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many items");
    if ((m_size >> chunkBits) == m_blocks.size()) {
        if (!m_supply)
            m_supply = std::make_unique<HugeBlockSupply>(sizeof(Item) * chunkItems);
        m_blocks.push_back(m_supply->take());
    }
    return &at(m_size);
}

void ScanResult::ItemStore::stopGrowing() {
    if (m_supply)
        m_supply->stop();
}

std::uint64_t ScanResult::IdIndex::hash(std::string_view id) {
    // FNV-1a over 8-byte words with a final mix: ids are short, and this is cheaper than the
    // library's byte-wise hash on the parser's hot path.
    std::uint64_t h = 0xcbf29ce484222325ULL ^ id.size();
    const char* p = id.data();
    std::size_t n = id.size();
    while (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0x100000001b3ULL;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0x100000001b3ULL;
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ULL;
    h ^= h >> 32;
    return h;
}

Item* ScanResult::IdIndex::find(std::string_view id, const ItemStore& store) const {
    if (m_size == 0)
        return nullptr;
    const auto tag = static_cast<std::uint32_t>(hash(id));
    for (std::size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
        const Slot slot = table()[i];
        if (slot.item == 0)
            return nullptr;
        if (slot.tag == tag) {
            Item& item = store.at(slot.item - 1);
            if (item.id() == id)
                return &item;
        }
    }
}

void ScanResult::IdIndex::grow() {
    const std::size_t capacity = m_capacity == 0 ? 512 : m_capacity * 2;
    HugeBlock block(capacity * sizeof(Slot));
    auto* to = static_cast<Slot*>(block.data()); // mapped zeroed: every slot empty
    const std::size_t mask = capacity - 1;
    for (std::size_t j = 0; j < m_capacity; ++j) {
        const Slot s = table()[j];
        if (s.item == 0)
            continue;
        std::size_t i = s.tag & mask;
        while (to[i].item != 0)
            i = (i + 1) & mask;
        to[i] = s;
    }
    m_block = std::move(block);
    m_capacity = capacity;
    m_mask = mask;
}

ScanResult::IdIndex::Slot& ScanResult::IdIndex::locate(std::string_view id,
                                                       const ItemStore& store) {
    // Kept at most 70 % full so that probe runs stay short.
    if ((m_size + 1) * 10 > m_capacity * 7)
        grow();
    const auto tag = static_cast<std::uint32_t>(hash(id));
    for (std::size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
        Slot& slot = table()[i];
        if (slot.item == 0) {
            slot.tag = tag;
            return slot;
        }
        if (slot.tag == tag && store.at(slot.item - 1).id() == id)
            return slot;
    }
}

Item* ScanResult::IdIndex::put(std::uint32_t n, const ItemStore& store) {
    Slot& slot = locate(store.at(n).id(), store);
    Item* replaced = slot.item == 0 ? nullptr : &store.at(slot.item - 1);
    if (replaced == nullptr)
        ++m_size;
    slot.item = n + 1;
    return replaced;
}

void ScanResult::IdIndex::erase(const Item* item, const ItemStore& store) {
    if (m_size == 0)
        return;
    const auto tag = static_cast<std::uint32_t>(hash(item->id()));
    std::size_t i = tag & m_mask;
    while (true) {
        const Slot slot = table()[i];
        if (slot.item == 0)
            return;
        if (&store.at(slot.item - 1) == item)
            break;
        i = (i + 1) & m_mask;
    }
    // Backward-shift deletion: move later entries of the probe run into the hole, so that no
    // lookup stops early at it.
    table()[i] = Slot{0, 0};
    --m_size;
    for (std::size_t j = (i + 1) & m_mask; table()[j].item != 0; j = (j + 1) & m_mask) {
        const std::size_t home = table()[j].tag & m_mask;
        const bool between = ((j - home) & m_mask) < ((j - i) & m_mask);
        if (between)
            continue;
        table()[i] = table()[j];
        table()[j] = Slot{0, 0};
        i = j;
    }
}

Item& ScanResult::store(Item item) {
    Item& stored = *new (m_store.next()) Item(std::move(item));
    const std::uint32_t n = m_store.size();
    m_store.commit();
    stored.adoptText(m_text.allocate(stored.textSize()));
    if (Item* replaced = m_index.put(n, m_store))
        replaced->m_inMap = false;
    stored.m_inMap = true;
    return stored;
}

Item* ScanResult::addNew(std::string_view id, std::string_view parent, std::string_view pat,
                         ItemKind kind, std::int64_t container) {
    IdIndex::Slot& slot = m_index.locate(id, m_store);
    if (slot.item != 0)
        return nullptr;
    const std::size_t size = id.size() + parent.size() + pat.size();
    char* text = m_text.allocate(size);
    const std::uint32_t n = m_store.size();
    Item& stored = *new (m_store.next()) Item(text, id, parent, pat, kind, container);
    m_store.commit();
    slot.item = n + 1;
    m_index.added();
    stored.m_inMap = true;
    m_order.push_back(&stored);
    return &stored;
}

Item& ScanResult::add(Item item) {
    Item& stored = store(std::move(item));
    m_order.push_back(&stored);
    return stored;
}

Item& ScanResult::put(Item item) {
    return store(std::move(item));
}

void ScanResult::stopGrowing() {
    m_store.stopGrowing();
    m_text.stopGrowing();
}

Item* ScanResult::get(std::string_view id) const {
    return m_index.find(id, m_store);
}

std::vector<Item*> ScanResult::ancestors(const Item& item) const {
    std::vector<Item*> chain;
    Item* cur = get(item.parent());
    std::unordered_set<std::string_view> visited;
    while (cur != nullptr) {
        if (!visited.insert(cur->id()).second)
            break;
        chain.push_back(cur);
        cur = get(cur->parent());
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

std::string ScanResult::displayPath(const Item& item) const {
    std::string out;
    for (const Item* a : ancestors(item)) {
        out += a->name();
        out += '/';
    }
    out += item.name();
    return out;
}

void ScanResult::remove(Item& item) {
    if (Item* parent = get(item.parent())) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), &item), siblings.end());
    }
    std::unordered_set<const Item*> removed;
    std::vector<Item*> stack{&item};
    while (!stack.empty()) {
        Item* cur = stack.back();
        stack.pop_back();
        if (!removed.insert(cur).second)
            continue;
        if (cur->m_inMap) {
            m_index.erase(cur, m_store);
            cur->m_inMap = false;
        }
        stack.insert(stack.end(), cur->children.begin(), cur->children.end());
    }
    std::erase_if(m_order, [&](Item* i) { return removed.contains(i); });
}

Item* ScanResult::mainRoot() const {
    for (const auto& [index, container] : containers)
        if (container.name == "com.apple.CloudDocs")
            return container.root;
    return roots.empty() ? nullptr : roots.front();
}

} // namespace tessary
