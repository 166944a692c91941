#include "TessaryCore/Categories.hpp"

#include "TessaryCore/Saturating.hpp"
#include "TessaryCore/StableSorted.hpp"
#include "TessaryCore/TreeWalk.hpp"

namespace tessary {

std::vector<CategoryStat> Categories::breakdown(const ScanResult& result, Item* root) {
    std::vector<CategoryStat> totals;
    for (FileCategory c : allFileCategories)
        totals.emplace_back(c);
    TreeWalk::run(result, root, [&](Item& cur, const auto& push) {
        for (Item* child : cur.children) {
            if (child == nullptr)
                continue;
            if (child->isDir()) {
                push(child);
            } else if (child->kind() == ItemKind::doc) {
                CategoryStat& s = totals[static_cast<std::size_t>(fileCategoryOf(child->name()))];
                s.qta = Saturating::add(s.qta, child->aggQta);
                s.cloud = Saturating::add(s.cloud, child->aggCloud);
                s.count += 1;
            }
        }
    });
    std::vector<CategoryStat> used;
    for (const CategoryStat& s : totals)
        if (s.count >= 1)
            used.push_back(s);
    return stableSorted(std::move(used), [](const CategoryStat& a, const CategoryStat& b) {
        if (a.qta != b.qta)
            return a.qta > b.qta;
        return toText(a.category) < toText(b.category);
    });
}

} // namespace tessary
