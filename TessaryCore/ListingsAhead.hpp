#pragma once

#include "TessaryCore/TimeoutPool.hpp"

#include <string>
#include <unordered_map>
#include <utility>

namespace tessary {

class Item;

// Folder listings a walk has begun on the pool before the folder's turn, so that the disk is
// read while the walk works on the folder before. Each is kept with the path it lists and taken
// back only for that same folder at that same path; one never taken is dropped with the walk,
// which abandons it.
template <typename Listing> class ListingsAhead {
public:
    using Ticket = TimeoutPool::Ticket<Listing>;

    [[nodiscard]] bool has(const Item* folder) const { return m_ahead.count(folder) != 0; }
    void add(const Item* folder, std::string path, Ticket ticket) {
        m_ahead.emplace(folder, Entry{std::move(path), std::move(ticket)});
    }
    // Forgets (abandons) whatever was begun for `folder`.
    void drop(const Item* folder) { m_ahead.erase(folder); }
    // The listing begun for `folder` at `path`, or an empty ticket. Whatever was begun for the
    // folder is forgotten either way.
    [[nodiscard]] Ticket take(const Item* folder, const std::string& path) {
        Ticket out;
        if (auto it = m_ahead.find(folder); it != m_ahead.end()) {
            if (it->second.path == path)
                out = std::move(it->second.ticket);
            m_ahead.erase(it);
        }
        return out;
    }

private:
    struct Entry {
        std::string path;
        Ticket ticket;
    };
    std::unordered_map<const Item*, Entry> m_ahead;
};

} // namespace tessary
