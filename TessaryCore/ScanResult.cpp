#include "TessaryCore/ScanResult.hpp"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace tessary {

namespace {

constexpr std::size_t arenaChunk = 4u << 20;
constexpr std::size_t arenaOwnChunk = arenaChunk / 16;

} // namespace

char* ScanResult::TextArena::allocate(std::size_t n) {
    if (n > arenaOwnChunk) {
        // Large texts get a chunk of their own, so the current chunk's rest is not wasted.
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(n));
        return m_chunks.back().get();
    }
    if (n > m_left || m_next == nullptr) {
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(arenaChunk));
        m_next = m_chunks.back().get();
        m_left = arenaChunk;
    }
    char* out = m_next;
    m_next += n;
    m_left -= n;
    return out;
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

Item* ScanResult::IdIndex::find(std::string_view id) const {
    if (m_size == 0)
        return nullptr;
    const auto tag = static_cast<std::uint32_t>(hash(id));
    for (std::size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
        Item* slot = m_slots[i];
        if (slot == nullptr)
            return nullptr;
        if (m_tags[i] == tag && slot->id() == id)
            return slot;
    }
}

void ScanResult::IdIndex::grow() {
    const std::size_t capacity = m_slots.empty() ? 16 : m_slots.size() * 2;
    std::vector<Item*> slots(capacity, nullptr);
    std::vector<std::uint32_t> tags(capacity, 0);
    const std::size_t mask = capacity - 1;
    for (std::size_t j = 0; j < m_slots.size(); ++j) {
        if (m_slots[j] == nullptr)
            continue;
        std::size_t i = m_tags[j] & mask;
        while (slots[i] != nullptr)
            i = (i + 1) & mask;
        slots[i] = m_slots[j];
        tags[i] = m_tags[j];
    }
    m_slots = std::move(slots);
    m_tags = std::move(tags);
    m_mask = mask;
}

Item* ScanResult::IdIndex::put(Item* item) {
    // Kept at most 70 % full so that probe runs stay short.
    if ((m_size + 1) * 10 > m_slots.size() * 7)
        grow();
    const std::string_view id = item->id();
    const auto tag = static_cast<std::uint32_t>(hash(id));
    for (std::size_t i = tag & m_mask;; i = (i + 1) & m_mask) {
        Item* slot = m_slots[i];
        if (slot == nullptr) {
            m_slots[i] = item;
            m_tags[i] = tag;
            ++m_size;
            return nullptr;
        }
        if (m_tags[i] == tag && slot->id() == id) {
            m_slots[i] = item;
            return slot;
        }
    }
}

void ScanResult::IdIndex::erase(const Item* item) {
    if (m_size == 0)
        return;
    const auto tag = static_cast<std::uint32_t>(hash(item->id()));
    std::size_t i = tag & m_mask;
    while (m_slots[i] != item) {
        if (m_slots[i] == nullptr)
            return;
        i = (i + 1) & m_mask;
    }
    // Backward-shift deletion: move later entries of the probe run into the hole, so that no
    // lookup stops early at it.
    m_slots[i] = nullptr;
    --m_size;
    for (std::size_t j = (i + 1) & m_mask; m_slots[j] != nullptr; j = (j + 1) & m_mask) {
        const std::size_t home = m_tags[j] & m_mask;
        const bool between = ((j - home) & m_mask) < ((j - i) & m_mask);
        if (between)
            continue;
        m_slots[i] = m_slots[j];
        m_tags[i] = m_tags[j];
        m_slots[j] = nullptr;
        i = j;
    }
}

Item& ScanResult::store(Item item) {
    Item& stored = m_store.emplace_back(std::move(item));
    stored.adoptText(m_text.allocate(stored.textSize()));
    if (Item* replaced = m_index.put(&stored))
        replaced->m_inMap = false;
    stored.m_inMap = true;
    return stored;
}

Item& ScanResult::add(Item item) {
    Item& stored = store(std::move(item));
    m_order.push_back(&stored);
    return stored;
}

Item& ScanResult::put(Item item) {
    return store(std::move(item));
}

Item* ScanResult::get(std::string_view id) const {
    return m_index.find(id);
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
            m_index.erase(cur);
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
