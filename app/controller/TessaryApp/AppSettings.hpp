#pragma once

#include <string>
#include <vector>

namespace tessary {

// The user defaults of the application (QSettings, organisation and application "Varnelo"):
// the delete list and the switch of the scan summary. Written when they change.
struct AppSettings {
    AppSettings() = delete;

    static constexpr const char* deleteListKey = "deleteList";
    static constexpr const char* showSummaryKey = "showSummaryAfterScan";

    // The stored delete list; empty when never stored.
    [[nodiscard]] static std::vector<std::string> deleteList();
    static void setDeleteList(const std::vector<std::string>& ids);
    // Whether the scan summary opens after each scan; true until the user turns it off.
    [[nodiscard]] static bool showSummaryAfterScan();
    static void setShowSummaryAfterScan(bool show);
};

} // namespace tessary
