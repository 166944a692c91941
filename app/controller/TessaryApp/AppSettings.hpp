#pragma once

#include "TessaryApp/ScanSource.hpp"

#include <optional>
#include <string>
#include <vector>

namespace tessary {

// The user defaults of the application (QSettings, organisation and application "Varnelo"):
// the delete list, the switch of the scan summary, the sources scanned recently and the last one.
// Written when they change.
struct AppSettings {
    AppSettings() = delete;

    static constexpr const char* deleteListKey = "deleteList";
    static constexpr const char* showSummaryKey = "showSummaryAfterScan";
    static constexpr const char* recentSourcesKey = "recentSources";
    static constexpr const char* lastSourceKey = "lastSource";
    static constexpr int recentSourceLimit = 8;

    // The stored delete list; empty when never stored.
    [[nodiscard]] static std::vector<std::string> deleteList();
    static void setDeleteList(const std::vector<std::string>& ids);
    // Whether the scan summary opens after each scan; true until the user turns it off.
    [[nodiscard]] static bool showSummaryAfterScan();
    static void setShowSummaryAfterScan(bool show);
    // The folders and dumps scanned recently, the latest first, at most recentSourceLimit; the
    // iCloud Drive is never among them.
    [[nodiscard]] static std::vector<ScanSource> recentSources();
    // Puts `source` first (once) and keeps the limit; also makes it the last source.
    static void rememberSource(const ScanSource& source);
    // The source of the last successful scan; none when never stored.
    [[nodiscard]] static std::optional<ScanSource> lastSource();
};

} // namespace tessary
