#include "TessaryCore/Serialization.hpp"

#include "TessaryCore/Saturating.hpp"
#include "TessaryCore/StableSorted.hpp"
#include "TessaryCore/TreeWalk.hpp"

#include <algorithm>

namespace tessary {

std::vector<NodeDTO> Serialization::topFiles(const ScanResult& result, std::int64_t n,
                                             bool cloudOnly, Item* root) {
    if (n <= 0)
        return {};
    std::vector<Item*> found;
    TreeWalk::run(result, root, [&](Item& cur, const auto& push) {
        for (Item* child : cur.children) {
            if (child == nullptr)
                continue;
            if (child->isDir()) {
                if (!child->children.empty())
                    push(child);
            } else if (child->kind() == ItemKind::doc && (!cloudOnly || child->isCloudOnlyDoc())) {
                found.push_back(child);
            }
        }
    });
    found = stableSorted(std::move(found),
                         [](const Item* a, const Item* b) { return a->aggQta > b->aggQta; });
    found.resize(std::min(found.size(), static_cast<std::size_t>(n)));
    std::vector<NodeDTO> out;
    out.reserve(found.size());
    for (const Item* f : found) {
        NodeDTO& rec = out.emplace_back(*f);
        rec.dpath = result.displayPath(*f);
        rec.parent = std::string(f->parent());
    }
    return out;
}

std::vector<NodeDTO> Serialization::topDirs(const ScanResult& result, std::int64_t n, Item* root) {
    if (n < 1)
        return {};
    struct Candidate {
        Item* folder;
        std::int64_t qta = 0, sz = 0, cloud = 0, local = 0, docs = 0;
    };
    std::vector<Candidate> found;
    TreeWalk::run(result, root, [&](Item& cur, const auto& push) {
        if (cur.children.empty())
            return;
        Candidate c{&cur};
        for (Item* child : cur.children) {
            if (child == nullptr)
                continue;
            if (child->isDir()) {
                push(child);
                continue;
            }
            c.qta = Saturating::add(c.qta, child->aggQta);
            c.sz = Saturating::add(c.sz, child->aggSz);
            c.cloud = Saturating::add(c.cloud, child->aggCloud);
            c.local = Saturating::add(c.local, child->aggLocal);
            c.docs = Saturating::add(c.docs, child->aggDocs);
        }
        if (c.qta >= 1 && !cur.isVirtual())
            found.push_back(c);
    });
    found = stableSorted(std::move(found),
                         [](const Candidate& a, const Candidate& b) { return a.qta > b.qta; });
    found.resize(std::min(found.size(), static_cast<std::size_t>(n)));
    std::vector<NodeDTO> out;
    out.reserve(found.size());
    for (const Candidate& c : found) {
        NodeDTO& rec = out.emplace_back(*c.folder);
        rec.qta = c.qta;
        rec.sz = c.sz;
        rec.cloud = c.cloud;
        rec.local = c.local;
        rec.docs = c.docs;
        rec.dpath = result.displayPath(*c.folder);
        rec.parent = std::string(c.folder->parent());
    }
    return out;
}

} // namespace tessary
