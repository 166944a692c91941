#include "TessaryCore/Serialization.hpp"

#include "TessaryCore/Saturating.hpp"
#include "TessaryCore/StableSorted.hpp"
#include "TessaryCore/TextCase.hpp"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace tessary {

std::vector<Item*> Serialization::childrenSorted(const Item& item, SortKey key) {
    std::vector<Item*> kids;
    kids.reserve(item.children.size());
    for (Item* c : item.children)
        if (c != nullptr)
            kids.push_back(c);
    switch (key) {
    case SortKey::qta:
        return stableSorted(std::move(kids), [](const Item* a, const Item* b) {
            if (a->aggQta != b->aggQta)
                return a->aggQta > b->aggQta;
            return a->aggSz > b->aggSz;
        });
    case SortKey::cloud:
        return stableSorted(std::move(kids), [](const Item* a, const Item* b) {
            if (a->aggCloud != b->aggCloud)
                return a->aggCloud > b->aggCloud;
            return a->aggQta > b->aggQta;
        });
    case SortKey::local:
        return stableSorted(std::move(kids), [](const Item* a, const Item* b) {
            if (a->aggLocal != b->aggLocal)
                return a->aggLocal > b->aggLocal;
            return a->aggQta > b->aggQta;
        });
    case SortKey::name: {
        // Lower-case each name once; UTF-8 byte order is code-point order.
        std::vector<std::pair<std::string, Item*>> keyed;
        keyed.reserve(kids.size());
        for (Item* c : kids)
            keyed.emplace_back(TextCase::lower(c->name()), c);
        keyed = stableSorted(std::move(keyed),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < keyed.size(); ++i)
            kids[i] = keyed[i].second;
        return kids;
    }
    }
    return kids;
}

NodeDTO Serialization::nodeDict(const ScanResult&, const Item& item) {
    return NodeDTO(item);
}

SummaryDTO Serialization::summary(const ScanResult& result) {
    std::vector<const Container*> list;
    for (const auto& [index, c] : result.containers)
        list.push_back(&c);
    list = stableSorted(std::move(list), [](const Container* a, const Container* b) {
        if (a->order != b->order)
            return a->order < b->order;
        return a->index < b->index;
    });
    auto rootQta = [](const Container* c) { return c->root ? c->root->aggQta : 0; };
    list = stableSorted(std::move(list), [&](const Container* a, const Container* b) {
        return rootQta(a) > rootQta(b);
    });

    SummaryDTO s;
    s.mode = result.mode;
    s.dumpTime = result.dumpTime;
    s.quotaRemaining = result.quotaRemaining;
    for (const Container* c : list)
        if (c->root != nullptr)
            s.containers.emplace_back(*c);
    if (const Item* main = result.mainRoot())
        s.mainRoot = std::string(main->id());
    s.deadCount = static_cast<std::int64_t>(result.dead.size());
    for (const Item* d : result.dead)
        if (d != nullptr)
            s.deadQta = Saturating::add(s.deadQta, d->qta);
    s.stats = result.stats;
    s.warnings = result.warnings;
    return s;
}

namespace {

// How many dead items the export lists; the summary counts all of them.
constexpr std::size_t exportedDead = 500;

} // namespace

ExportDTO Serialization::exportData(const ScanResult& result, std::int64_t maxDepth,
                                    std::int64_t topFilesPerDir) {
    ExportDTO out;

    std::vector<Item*> dead;
    for (Item* d : result.dead)
        if (d != nullptr)
            dead.push_back(d);
    dead =
        stableSorted(std::move(dead), [](const Item* a, const Item* b) { return a->qta > b->qta; });
    dead.resize(std::min(dead.size(), exportedDead));
    for (const Item* d : dead) {
        NodeDTO& rec = out.dead.emplace_back(*d);
        rec.dpath = result.displayPath(*d);
    }

    out.summary = summary(result);

    const std::size_t filesPerDir =
        topFilesPerDir > 0 ? static_cast<std::size_t>(topFilesPerDir) : 0;
    // A folder being listed: its record, its subfolders still to list, and the records of the
    // subfolders already listed. Frames stand on an explicit stack instead of the call stack.
    struct Frame {
        NodeDTO record;
        std::vector<Item*> dirs;
        std::vector<Item*> files;
        std::size_t next = 0;
        std::int64_t depth = 0;
        std::vector<NodeDTO> listed;
    };
    // A folder reached again through a cycle of children lists is written without contents.
    std::unordered_set<const Item*> opened;
    auto makeFrame = [&](const Item& node, std::int64_t depth) {
        Frame f{NodeDTO(node), {}, {}, 0, depth, {}};
        for (Item* c : childrenSorted(node, SortKey::qta)) {
            if (c->isDir())
                f.dirs.push_back(c);
            else if (f.files.size() < filesPerDir)
                f.files.push_back(c);
        }
        f.listed.reserve(f.dirs.size() + f.files.size());
        return f;
    };
    auto expands = [&](const Item& node, std::int64_t depth) {
        return node.isDir() && depth < maxDepth && opened.insert(&node).second;
    };

    std::vector<Frame> stack;
    for (Item* root : result.roots) {
        if (root == nullptr)
            continue;
        if (!expands(*root, 0)) {
            out.roots.emplace_back(*root);
            continue;
        }
        stack.push_back(makeFrame(*root, 0));
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.next < top.dirs.size()) {
                const Item& child = *top.dirs[top.next++];
                const std::int64_t depth = top.depth + 1;
                if (expands(child, depth))
                    stack.push_back(makeFrame(child, depth)); // invalidates `top`
                else
                    top.listed.emplace_back(child);
                continue;
            }
            for (const Item* f : top.files)
                top.listed.emplace_back(*f);
            top.record.children = std::move(top.listed);
            NodeDTO done = std::move(top.record);
            stack.pop_back();
            if (stack.empty())
                out.roots.push_back(std::move(done));
            else
                stack.back().listed.push_back(std::move(done));
        }
    }
    return out;
}

} // namespace tessary
