#pragma once

#include "TessaryCore/ScanResult.hpp"

#include <unordered_set>
#include <vector>

namespace tessary {

// The folder walk of the breakdown and the top lists: an explicit stack that starts with `root`,
// or with all of `result.roots` in list order when `root` is null, and pops its last element
// until it is empty. `visit(Item& popped, push)` looks at the popped item's children and calls
// `push(child)` for those to be walked; pushed items are popped last-first.
//
// Each item is walked at most once, so a cycle in the children lists cannot keep the walk going.
// The set holds only walked items (folders), not documents.
struct TreeWalk {
    TreeWalk() = delete;

    template <class Visit> static void run(const ScanResult& result, Item* root, Visit&& visit) {
        std::vector<Item*> stack;
        std::unordered_set<const Item*> walked;
        auto push = [&](Item* item) {
            if (item != nullptr && walked.insert(item).second)
                stack.push_back(item);
        };
        if (root != nullptr)
            push(root);
        else
            for (Item* r : result.roots)
                push(r);
        while (!stack.empty()) {
            Item* cur = stack.back();
            stack.pop_back();
            visit(*cur, push);
        }
    }
};

} // namespace tessary
