#pragma once

#include <regex>
#include <string>
#include <vector>

namespace tessary {

class ScanResult;
struct ScanEnvironment;

// Finds the local folder under Library/Mobile Documents of each container. The dump prints
// container identifiers masked, so every local folder name is masked the same way and a
// container is mapped only when exactly one folder fits its masked identifier.
struct ContainerMapper {
    ContainerMapper() = delete;

    // A ten-character developer team prefix ("ABCDE12345"), the first "~" part of some folders.
    // Compiled once; safe to use from several threads.
    [[nodiscard]] static const std::regex& teamIDPattern();

    // The masked form of a container identifier given as its components (a folder name split at
    // "~"): each component masked on its own, joined with ".". A component keeps its extension
    // and its first and last cluster; no duplicate counter, compound extension or normalisation
    // rule applies. ("com", "apple", "CloudDocs") gives "c{1}m.a{3}e.C{7}s".
    [[nodiscard]] static std::string masked(const std::vector<std::string>& components);

    // Lists env.mobileDocs once and sets, for each container of `result`, its local path, real
    // identifier and display name, and names and locates its root item. A container that no
    // folder fits, or that two or more folders fit, keeps its masked identifier as display name
    // and root name and stays unmapped. Never fails: an unreadable folder maps nothing.
    static void mapContainers(ScanResult& result, const ScanEnvironment& env);
};

} // namespace tessary
