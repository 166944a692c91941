#pragma once

#include "TessaryCore/ScanComparison.hpp"
#include "TessaryCore/ScanRecord.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

class ScanResult;

// The records of the last scans, one file each in a folder of the cache ("history"), so that a
// scan can be compared with an earlier one of the same source. At most `maxScans` records and
// `maxBytes` in all are kept, the oldest dropped first (the newest always stays). Each record is
// written to a temporary file and renamed into place. A file that is damaged, of another format
// version or not a record is passed over with a warning; it never stops a scan.
struct ScanHistory {
    ScanHistory() = delete;

    static constexpr std::size_t maxScans = 12;
    static constexpr std::uintmax_t maxBytes = 64ULL * 1024 * 1024;
    struct Limits {
        std::size_t scans = maxScans;
        std::uintmax_t bytes = maxBytes;
    };

    // A stored record, as listed: its file and header.
    struct Stored {
        std::string file;
        std::int64_t time = 0;
        std::string source;
        ScanRecord::Values totals;
        std::uintmax_t bytes = 0;
    };
    // What recording a scan gives back: the earlier records of the same source (newest first,
    // the new one left out), the comparison with the chosen one when there is one, and the
    // warnings to show.
    struct Recorded {
        // The record of the scan itself.
        ScanRecord current;
        std::vector<Stored> earlier;
        std::optional<ScanComparison> comparison;
        std::vector<std::string> warnings;
    };

    // The history folder inside a cache folder.
    [[nodiscard]] static std::string folderIn(const std::string& cacheDir);
    // The source key of a scan: the iCloud Drive, or the folders of a disk-only scan.
    [[nodiscard]] static std::string sourceOf(const ScanResult& result);

    // Keeps the record of `result` and compares it with the newest earlier record of the same
    // source, or with the newest one made at or before `since` (seconds since the epoch; the
    // oldest one when all are later). Never throws: a record that cannot be written is a warning.
    [[nodiscard]] static Recorded record(const ScanResult& result, const std::string& folder,
                                         std::int64_t now,
                                         std::optional<std::int64_t> since = std::nullopt);
    // The stored records of `source` (all sources when empty), newest first; unreadable files
    // are left out with a warning each.
    [[nodiscard]] static std::vector<Stored>
    list(const std::string& folder, const std::string& source, std::vector<std::string>& warnings);
    // The whole record in `file`; none, with a warning, when it cannot be read.
    [[nodiscard]] static std::optional<ScanRecord> load(const std::string& file,
                                                        std::vector<std::string>& warnings);
    // Writes `record` as a new file and drops the oldest files beyond the bounds. Throws
    // ScanError when the record cannot be written.
    static void save(const std::string& folder, const ScanRecord& record);
    static void save(const std::string& folder, const ScanRecord& record, const Limits& limits);
};

} // namespace tessary
