#pragma once

#include <cstdint>
#include <string>

namespace sim {

// The few file operations the simulator lays a world out with and changes it by. Each throws
// std::runtime_error with a Czech message that names the path.
struct Disk {
    Disk() = delete;

    // Creates the folder; one that exists already is fine.
    static void makeDir(const std::string& path);
    // A cloud-only placeholder: the logical size without any blocks, marked dataless.
    static void writePlaceholder(const std::string& path, std::int64_t size);
    // The bytes the entry takes on the disk (its blocks), without following a link.
    [[nodiscard]] static std::int64_t allocOf(const std::string& path);
    // Sets the access and modification times, without following a link.
    static void setTime(const std::string& path, std::int64_t mt);
    // Removes the entry and everything below it.
    static void removeAll(const std::string& path);
    static void rename(const std::string& from, const std::string& to);
};

} // namespace sim
