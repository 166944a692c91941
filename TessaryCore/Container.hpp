#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessary {

class Item;

// One container section of the database: an application's document container or iCloud Drive
// itself. Owned by its ScanResult (stable address); `root` points into the same result.
struct Container {
    Container(std::int64_t index, std::string masked)
        : index(index), masked(masked), display(std::move(masked)) {}

    // The number in brackets of the container's header line; key of ScanResult::containers.
    const std::int64_t index;
    // The identifier as the header prints it (masked).
    const std::string masked;
    // The real identifier once mapped; "com.apple.CloudDocs" marks iCloud Drive itself.
    std::optional<std::string> name;
    std::optional<std::string> localPath;
    Item* root = nullptr;
    // Never set by a scan; carried into the export as false.
    bool shared = false;
    std::string display;
    // Position of first appearance among the containers (the first is 0).
    std::int64_t order = 0;
};

} // namespace tessary
