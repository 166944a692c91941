#pragma once

#include "TessaryCore/NodeDTO.hpp"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace tessary {

class ScanResult;

// The items the user chose to delete, by id, in the order they were added. The list of the iCloud
// Drive is kept in the user defaults and written at each change, so it survives a restart and a
// new scan (ids stay the same from one database dump to the next). Another source's list lives
// only while that source is shown.
class DeleteList {
public:
    using IDList = std::vector<std::string>;
    using Rows = std::vector<NodeDTO>;

    // Totals of the list; a row inside another listed row is `nested` and not counted.
    struct Savings {
        std::int64_t qta = 0;
        std::int64_t cloud = 0;
        std::int64_t local = 0;
        std::int64_t items = 0;
        std::int64_t nested = 0;
        // What freeing the listed items from this Mac instead would free, and in how many
        // downloaded documents; filled in by the controller, which knows the disk's rules.
        std::int64_t evictable = 0;
        std::int64_t evictableFiles = 0;
        friend bool operator==(const Savings&, const Savings&) = default;
    };
    // The rows of the listed items found in a result, largest first, and their savings.
    struct Listing {
        Rows rows;
        Savings savings;
    };

    // The stored list of the iCloud Drive; with `stored` false an empty list that is never
    // stored.
    explicit DeleteList(bool stored = true);

    [[nodiscard]] const IDList& ids() const { return m_ids; }
    [[nodiscard]] bool contains(const std::string& id) const;
    // Adds `id` at the end; false when it was there already.
    bool add(const std::string& id);
    void remove(const std::string& id);
    void clear();
    // Removes every id of `gone` (items that left the disk).
    void removeAll(const std::set<std::string>& gone);
    // The list with other ids (the same items in a new scan that numbered them anew).
    void replace(IDList ids);

    // The listed items of `result`; ids it does not hold are left out (they stay listed).
    [[nodiscard]] Listing listing(const ScanResult& result) const;

private:
    void store();

    bool m_stored;
    IDList m_ids;
};

} // namespace tessary
