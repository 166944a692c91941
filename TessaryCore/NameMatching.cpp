#include "TessaryCore/NameMatching.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/StableSorted.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <span>
#include <string_view>
#include <utility>

namespace tessary {

namespace {

using Candidates = LocalListing::Candidates;

constexpr std::int64_t timeSlack = 2;

std::vector<LocalEntry*> available(const Candidates& candidates) {
    std::vector<LocalEntry*> out;
    for (LocalEntry* c : candidates)
        if (!c->used)
            out.push_back(c);
    return out;
}

std::int64_t absDiff(std::int64_t a, std::int64_t b) {
    return a > b ? a - b : b - a;
}

} // namespace

void NameMatching::applyPick(Item& item, LocalEntry& entry, bool amb, ResolveStack& stack,
                             TimeoutPool& pool, const Item* folder) {
    entry.used = true;
    std::string path = entry.path();
    item.setLocal(entry.name, path, entry.seen, folder);
    item.resolved = true;
    item.ambiguous = amb;
    if (item.kind() == ItemKind::dir) {
        stack.emplace_back(&item, std::move(path));
    } else if (item.kind() == ItemKind::doc) {
        item.dataless = entry.dataless;
        if (entry.dataless) {
            item.localAlloc = 0;
        } else if (entry.kind == ItemKind::dir) {
            try {
                item.localAlloc = pool.run(packageTimeout, {}, {}, false, [p = std::move(path)] {
                    return FS::packageAlloc(p, packageLimit);
                });
            } catch (...) {
                item.localAlloc = 0;
            }
        } else {
            item.localAlloc = entry.alloc;
        }
    }
}

std::int64_t NameMatching::matchChildren(Item& item, const LocalListing& local, ResolveStack& stack,
                                         TimeoutPool& pool) {
    // The children grouped by printed name and kind, groups in order of first appearance. The
    // names are views of the items' own text, which stays put. Child numbers are sorted by key
    // rather than filed in node-based maps, so a folder costs a few allocations, not several per
    // child.
    const std::vector<Item*>& kids = item.children;
    struct Keyed {
        std::size_t hash; // of the printed name alone, so that a name can be found of any kind
        std::uint32_t child;
    };
    auto maskOf = [&kids](const Keyed& k) { return kids[k.child]->pat(); };
    auto kindOf = [&kids](const Keyed& k) { return kids[k.child]->kind(); };
    std::vector<Keyed> keyed(kids.size());
    for (std::size_t i = 0; i < kids.size(); ++i)
        keyed[i] =
            Keyed{std::hash<std::string_view>{}(kids[i]->pat()), static_cast<std::uint32_t>(i)};
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (a.hash != b.hash)
            return a.hash < b.hash;
        if (const int c = maskOf(a).compare(maskOf(b)); c != 0)
            return c < 0;
        if (kindOf(a) != kindOf(b))
            return kindOf(a) < kindOf(b);
        return a.child < b.child;
    });
    // Whether some child, of any kind, is printed as `mask`.
    auto isKeyMask = [&](std::string_view mask) {
        const std::size_t h = std::hash<std::string_view>{}(mask);
        const auto at = std::partition_point(keyed.begin(), keyed.end(), [&](const Keyed& k) {
            return k.hash < h || (k.hash == h && maskOf(k) < mask);
        });
        return at != keyed.end() && at->hash == h && maskOf(*at) == mask;
    };
    struct Group {
        std::string_view mask;
        ItemKind kind;
        std::span<Item* const> items;
    };
    std::vector<Item*> members(kids.size());
    std::vector<std::pair<std::uint32_t, Group>> runs; // (first child, group)
    for (std::size_t i = 0; i < keyed.size();) {
        std::size_t j = i;
        while (j < keyed.size() && keyed[j].hash == keyed[i].hash &&
               kindOf(keyed[j]) == kindOf(keyed[i]) && maskOf(keyed[j]) == maskOf(keyed[i])) {
            members[j] = kids[keyed[j].child];
            ++j;
        }
        runs.emplace_back(keyed[i].child, Group{maskOf(keyed[i]), kindOf(keyed[i]),
                                                std::span<Item* const>(members).subspan(i, j - i)});
        i = j;
    }
    std::sort(runs.begin(), runs.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    struct Pending {
        const Group* group;
        Candidates candidates;
    };
    std::vector<Pending> second;
    std::int64_t paired = 0;
    for (const auto& [first, g] : runs) {
        Candidates cands = local.find(g.mask, g.kind);
        // A document that is a folder on disk: a package.
        if (cands.empty() && g.kind == ItemKind::doc)
            cands = local.find(g.mask, ItemKind::dir);
        if (cands.empty()) {
            for (Item* i : g.items)
                i->resolved = false;
            continue;
        }
        if (g.items.size() == 1 && cands.size() == 1) {
            LocalEntry& only = *cands.front();
            if (!only.used && (only.primary == g.mask || !isKeyMask(only.primary))) {
                applyPick(*g.items.front(), only, false, stack, pool, &item);
                ++paired;
                continue;
            }
        }
        second.push_back(Pending{&g, cands});
    }
    for (const Pending& p : second) {
        if (p.group->kind == ItemKind::dir)
            paired += matchDirs(p.group->items, p.candidates, stack, pool, &item);
        else
            paired += matchDocs(p.group->items, p.candidates, stack, pool, &item);
    }
    return paired;
}

std::int64_t NameMatching::matchDocs(std::span<Item* const> items, Candidates candidates,
                                     ResolveStack& stack, TimeoutPool& pool, const Item* folder) {
    std::vector<Item*> remaining(items.begin(), items.end());
    std::int64_t paired = 0;
    auto pass = [&](auto&& pick) {
        std::vector<Item*> left;
        for (std::size_t i = 0; i < remaining.size(); ++i) {
            if (!pick(remaining[i], i))
                left.push_back(remaining[i]);
        }
        remaining = std::move(left);
    };
    // 1. Size, among files.
    pass([&](Item* it, std::size_t) {
        LocalEntry* found = nullptr;
        int n = 0;
        for (LocalEntry* c : available(candidates))
            if (c->kind != ItemKind::dir && c->size == it->sz) {
                found = c;
                ++n;
            }
        if (n != 1)
            return false;
        applyPick(*it, *found, false, stack, pool, folder);
        ++paired;
        return true;
    });
    // 2. Modification time, packages included.
    pass([&](Item* it, std::size_t) {
        if (it->mt == 0)
            return false;
        LocalEntry* found = nullptr;
        int n = 0;
        for (LocalEntry* c : available(candidates))
            if (absDiff(c->mtime, it->mt) <= timeSlack) {
                found = c;
                ++n;
            }
        if (n != 1)
            return false;
        applyPick(*it, *found, false, stack, pool, folder);
        ++paired;
        return true;
    });
    // 3. Primary mask, only for the last remaining item of its printed name.
    {
        std::vector<Item*> left;
        for (std::size_t i = 0; i < remaining.size(); ++i) {
            Item* it = remaining[i];
            bool sharesPat = false;
            // The others still unpaired: those after it, and those before it that stayed.
            for (std::size_t j = i + 1; j < remaining.size() && !sharesPat; ++j)
                if (remaining[j]->pat() == it->pat())
                    sharesPat = true;
            for (Item* l : left)
                if (l->pat() == it->pat())
                    sharesPat = true;
            const auto avail = available(candidates);
            LocalEntry* found = nullptr;
            int n = 0;
            for (LocalEntry* c : avail)
                if (c->primary == it->pat()) {
                    found = c;
                    ++n;
                }
            if (n == 1 && !sharesPat) {
                applyPick(*it, *found, avail.size() > 1, stack, pool, folder);
                ++paired;
            } else {
                left.push_back(it);
            }
        }
        remaining = std::move(left);
    }
    // 4. Fallback: what is left, files first, then by closeness of size.
    std::vector<LocalEntry*> leftovers = available(candidates);
    for (Item* it : remaining) {
        if (leftovers.empty()) {
            it->resolved = false;
            continue;
        }
        // The left-overs stay in listing order, so equally close candidates fall to the one
        // listed first rather than to the order of the previous item's sort.
        const std::int64_t sz = it->sz;
        const auto sorted = stableSorted(leftovers, [sz](LocalEntry* a, LocalEntry* b) {
            const bool ad = a->kind == ItemKind::dir;
            const bool bd = b->kind == ItemKind::dir;
            if (ad != bd)
                return !ad;
            return absDiff(a->size, sz) < absDiff(b->size, sz);
        });
        LocalEntry* best = sorted.front();
        applyPick(*it, *best, true, stack, pool, folder);
        ++paired;
        leftovers.erase(std::find(leftovers.begin(), leftovers.end(), best));
    }
    return paired;
}

std::int64_t NameMatching::matchDirs(std::span<Item* const> items, Candidates candidates,
                                     ResolveStack& stack, TimeoutPool& pool, const Item* folder) {
    bool guessed = false;
    std::int64_t paired = 0;
    for (std::size_t idx = 0; idx < items.size(); ++idx) {
        Item* it = items[idx];
        const auto avail = available(candidates);
        if (avail.empty()) {
            for (std::size_t j = idx; j < items.size(); ++j)
                items[j]->resolved = false;
            break;
        }
        auto pick = [&](LocalEntry* e, bool amb) {
            applyPick(*it, *e, amb, stack, pool, folder);
            ++paired;
        };
        if (avail.size() == 1 && items.size() - idx == 1) {
            pick(avail.front(), guessed);
            continue;
        }
        bool failed = false;
        std::vector<std::pair<LocalEntry*, std::int64_t>> counted;
        for (LocalEntry* c : avail) {
            if (c->listing())
                counted.emplace_back(c, c->count);
            else
                failed = true;
        }
        if (it->cc != 0 && !failed) {
            const std::int64_t cc = it->cc;
            const auto sorted = stableSorted(counted, [cc](const auto& a, const auto& b) {
                return absDiff(a.second, cc) < absDiff(b.second, cc);
            });
            const std::int64_t best = absDiff(sorted[0].second, cc);
            const bool alone = sorted.size() == 1 || best < absDiff(sorted[1].second, cc);
            const std::int64_t limit = cc < 30 ? 3 : cc / 10;
            if (alone && best <= limit) {
                pick(sorted[0].first, guessed);
                continue;
            }
        }
        LocalEntry* winner = nullptr;
        std::int64_t bestScore = -1;
        bool tie = false;
        for (const auto& [c, n] : counted) {
            std::int64_t score = 0;
            for (Item* child : it->children)
                if (c->masks->count(std::string(child->pat())))
                    ++score;
            if (score > bestScore) {
                bestScore = score;
                winner = c;
                tie = false;
            } else if (score == bestScore) {
                tie = true;
            }
        }
        if (winner && bestScore >= 1 && !tie) {
            if (failed) {
                guessed = true;
                pick(winner, true);
            } else {
                pick(winner, guessed);
            }
            continue;
        }
        LocalEntry* chosen = avail.front();
        if (it->mt != 0) {
            LocalEntry* near = nullptr;
            int n = 0;
            for (LocalEntry* c : avail)
                if (absDiff(c->mtime, it->mt) <= timeSlack) {
                    near = c;
                    ++n;
                }
            if (n == 1)
                chosen = near;
        }
        guessed = true;
        pick(chosen, true);
    }
    return paired;
}

} // namespace tessary
