#pragma once
// A simulated iCloud Drive as one value: what the server knows of every item and what the local
// disk holds of it. WorldBuilder makes one from a seed, WorldWriter puts it on disk.

#include "ServerDb.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// What the local disk holds of a server item.
enum class Local {
    none,        // only on the server
    downloaded,  // a file with its real bytes
    placeholder, // a cloud-only file: logical size, no blocks, marked dataless
    package,     // a document that is a folder on disk
    folder,      // a listed folder
    neverOpened, // a folder marked dataless; its placeholder children are on disk
    denied,      // a folder without read permission
    link,        // a symbolic link
};

struct PackageFile {
    std::string relPath;
    std::int64_t bytes;
};

struct WorldItem {
    ServerItem server;
    Local local = Local::none;
    std::string diskName;   // the name on disk (may differ in normalisation from the server's)
    std::string linkTarget; // for links
    std::vector<PackageFile> packageFiles;
    bool orphan = false;
    bool ambiguous = false; // one of a group of local names that nothing tells apart
    // Filled while the world is laid out and written.
    std::string relPath; // below the home folder; empty without a local entry
    std::int64_t alloc = 0;
    std::string expect;
};

struct WorldContainer {
    std::int64_t index = 0;
    std::string identifier;
    std::string folder; // its folder in Library/Mobile Documents; empty when none maps
};

struct World {
    std::uint64_t seed = 0;
    std::int64_t itemsOption = 0;
    // The world's clock: the generator's time, moved on by every aging.
    std::int64_t now = 1'765'000'000;
    std::int64_t quotaFree = 0;
    std::vector<WorldContainer> containers;
    std::vector<WorldItem> items;
    std::vector<std::pair<std::string, std::int64_t>> aliases;
    // Folders in Library/Mobile Documents that belong to no container of their own.
    std::vector<std::string> strayFolders;
};

} // namespace sim
