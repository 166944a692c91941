#pragma once

#include "TessaryCore/LocalEntry.hpp"
#include "TessaryCore/LocalListing.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tessary {

class Item;
class TimeoutPool;

// The folders still to be listed by a walk: (dump folder, local path), last pushed first.
using ResolveStack = std::vector<std::pair<Item*, std::string>>;

// Pairs the dump children of one listed folder with its local entries. A unique fit is certain;
// where several local entries fit, size, time, primary mask and folder contents narrow them
// down, and a pairing nothing decided is flagged `ambiguous`. Children without any local
// counterpart stay unresolved (cloud-only).
struct NameMatching {
    NameMatching() = delete;

    static constexpr double packageTimeout = 10.0;
    static constexpr std::int64_t packageLimit = 50000;

    // Pairs all children of `item` with the entries of `local`; returns how many were paired.
    // Paired folders are pushed onto `stack`.
    static std::int64_t matchChildren(Item& item, const LocalListing& local, ResolveStack& stack,
                                      TimeoutPool& pool);
    // One group of documents or links sharing a key, children of `folder` (when given, the
    // paired items' paths follow the folder's).
    static std::int64_t matchDocs(std::span<Item* const> items, LocalListing::Candidates candidates,
                                  ResolveStack& stack, TimeoutPool& pool,
                                  const Item* folder = nullptr);
    // One group of folders sharing a key.
    static std::int64_t matchDirs(std::span<Item* const> items, LocalListing::Candidates candidates,
                                  ResolveStack& stack, TimeoutPool& pool,
                                  const Item* folder = nullptr);
    // Records one pairing.
    static void applyPick(Item& item, LocalEntry& entry, bool amb, ResolveStack& stack,
                          TimeoutPool& pool, const Item* folder = nullptr);
};

} // namespace tessary
