#include "TessaryApp/NestedItems.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <unordered_set>

namespace tessary {

std::vector<bool> NestedItems::insideAnother(const ScanResult& result,
                                             const std::vector<const Item*>& items) {
    const std::unordered_set<const Item*> group(items.begin(), items.end());
    std::vector<bool> inside;
    inside.reserve(items.size());
    for (const Item* item : items) {
        bool nested = false;
        if (item != nullptr)
            for (const Item* ancestor : result.ancestors(*item))
                nested = nested || group.contains(ancestor);
        inside.push_back(nested);
    }
    return inside;
}

} // namespace tessary
