#include "TessaryCore/ScanResult.hpp"

#include <algorithm>
#include <unordered_set>

namespace tessary {

Item& ScanResult::store(Item item) {
    Item& stored = m_store.emplace_back(std::move(item));
    auto [it, inserted] = m_items.try_emplace(stored.id(), &stored);
    if (!inserted) {
        it->second->m_inMap = false;
        // The key must view the new object's text: the old object may change its parent later.
        m_items.erase(it);
        m_items.emplace(stored.id(), &stored);
    }
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
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
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
        auto it = m_items.find(cur->id());
        if (it != m_items.end() && it->second == cur) {
            m_items.erase(it);
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
