#pragma once

#include "TessaryCore/ScanMode.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

class Item;
class ScanResult;

// A compact picture of one finished scan, kept so that a later scan can say what changed: the
// scan's time, source and totals, and for every folder and every document of at least 1 MB its
// key (the database id; in the disk-only mode the name, which with the folder's path makes the
// item's path), its folder and its quota charge, cloud-only and local bytes.
//
// The file form is binary and small: the magic line, a format version, the header, then each
// entry as a key (a database id in the usual 8-4-4-4-12 hex form takes 16 bytes), the index of
// its folder's entry with the kind and how the cloud-only bytes relate to the charge (none, all,
// or a number of their own), and the numbers as variable-length integers, and a checksum over
// everything before it. A file cut short, damaged, of another version or not ours is refused.
struct ScanRecord {
    struct Values {
        std::int64_t qta = 0;
        std::int64_t cloud = 0;
        std::int64_t local = 0;
        friend bool operator==(const Values&, const Values&) = default;
    };
    struct Entry {
        std::string key;
        // One more than the index of the folder's entry; 0 at the top.
        std::uint32_t parent = 0;
        bool dir = false;
        Values values;
    };

    static constexpr std::uint32_t formatVersion = 1;
    // Documents smaller than this are left out (folders are always kept).
    static constexpr std::int64_t documentThreshold = 1'000'000;

    // Seconds since the epoch when the scan ended.
    std::int64_t time = 0;
    ScanMode mode = ScanMode::dump;
    // What was scanned: records of different sources are never compared.
    std::string source;
    Values totals;
    // Folders before what they hold.
    std::vector<Entry> entries;

    // The record of `result`; live items only.
    [[nodiscard]] static ScanRecord of(const ScanResult& result, std::string source,
                                       std::int64_t time);
    // The item's key with the keys of its folders: the database id in the dump mode, the path
    // ("Name/Folder/file") in the disk-only mode.
    [[nodiscard]] std::string fullKey(std::size_t index) const;
    // The full keys of all entries at once, in entry order: views of the entries' own keys in
    // the dump mode, of paths made in `storage` (parents first, each once) in the disk-only mode.
    [[nodiscard]] std::vector<std::string_view> fullKeys(std::vector<std::string>& storage) const;
    // The full key of an item of `result`, as fullKey gives it for the item's entry.
    [[nodiscard]] static std::string keyOf(const ScanResult& result, const Item& item);
    // The item of `result` with the full key `key`; null when there is none.
    [[nodiscard]] static Item* itemFor(const ScanResult& result, std::string_view key);

    [[nodiscard]] std::string encode() const;
    // The record in `bytes`; none when they are not a whole record of this version. With
    // `headerOnly`, the entries are left out (a quick look at time, source and totals).
    [[nodiscard]] static std::optional<ScanRecord> decode(std::string_view bytes,
                                                          bool headerOnly = false);
};

} // namespace tessary
