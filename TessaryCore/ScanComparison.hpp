#pragma once

#include "TessaryCore/ScanRecord.hpp"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessary {

class ScanResult;

// What changed between two records of the same source, item by item: matched by key (the
// database id, which a moved folder keeps; in the disk-only mode the path).
class ScanComparison {
public:
    enum class Kind { grown, shrunk, added, removed, moved, other };
    struct Change {
        // The key of the item (id or path) and of its folder before and after.
        std::string key;
        std::string parentBefore;
        std::string parentAfter;
        bool dir = false;
        Kind kind = Kind::other;
        ScanRecord::Values before;
        ScanRecord::Values after;
        // The change of the quota charge.
        [[nodiscard]] std::int64_t delta() const { return after.qta - before.qta; }
    };

    ScanComparison(const ScanRecord& before, const ScanRecord& now);
    // The records leave out documents below 1 MB: a recorded document missing from the newer
    // record may have shrunk below that rather than gone. Looks such documents up in the
    // result the newer record was made of and turns them into the change they really are.
    void recheckRemoved(const ScanResult& now);

    // When the earlier scan was made.
    [[nodiscard]] std::int64_t since() const { return m_since; }
    [[nodiscard]] const ScanRecord::Values& totalsBefore() const { return m_totalsBefore; }
    [[nodiscard]] const ScanRecord::Values& totalsNow() const { return m_totalsNow; }
    // Every changed item, in no particular order.
    [[nodiscard]] const std::vector<Change>& changes() const { return m_changes; }
    // The change of the item with `key`; null when it did not change (or was not recorded).
    [[nodiscard]] const Change* find(const std::string& key) const;
    // The `n` largest changes, by the size of the change of the quota charge (moves of the
    // same size after them); with `grownFolders` only folders that grew.
    [[nodiscard]] std::vector<Change> largest(std::size_t n, bool grownFolders = false) const;

    [[nodiscard]] static const char* kindText(Kind kind);

private:
    std::int64_t m_since = 0;
    ScanRecord::Values m_totalsBefore;
    ScanRecord::Values m_totalsNow;
    std::vector<Change> m_changes;
    std::unordered_map<std::string, std::size_t> m_index;
};

} // namespace tessary
