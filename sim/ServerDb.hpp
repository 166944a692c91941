#pragma once
// The simulated iCloud server's database: what the server knows of every item, written by the
// world generator into the fake home folder and read back by the brctl stand-in.

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace sim {

enum class Kind { dir, doc, symlink };

[[nodiscard]] const char* kindText(Kind kind);

struct ServerContainer {
    std::int64_t index = 0;
    std::string identifier; // e.g. com.apple.CloudDocs
    // Its folder below the home folder (Library/Mobile Documents/com~apple~CloudDocs); empty
    // when it has none on this Mac.
    std::string path;
};

struct ServerItem {
    std::string id;
    std::string parent; // "root[N]" for the container's top level
    std::int64_t container = 0;
    Kind kind = Kind::doc;
    std::int64_t size = 0;
    std::int64_t qta = 0;
    std::int64_t cc = 0; // child count as the server records it
    std::int64_t mt = 0;
    bool dead = false;
    std::string name;       // the true name, in the normalisation the server keeps
    std::string secondName; // a dead item's other name, may be empty
    // Where this Mac keeps the item, below the home folder, as the system tracks it; empty when
    // it has no local entry. Not part of what the server prints.
    std::string path;
};

struct ServerDb {
    std::int64_t quotaFree = 0;
    std::vector<ServerContainer> containers;
    std::vector<ServerItem> items; // parents before children, grouped by container
    std::vector<std::pair<std::string, std::int64_t>> aliases; // (id, container)

    // The database's place inside a home folder.
    [[nodiscard]] static std::string pathIn(const std::string& home);
    // Writes `db` to `path` (through a temporary file); throws std::runtime_error on failure.
    void save(const std::string& path) const;
    // Reads the file; throws std::runtime_error with a Czech message when it is missing or bad.
    [[nodiscard]] static ServerDb load(const std::string& path);
    // Only the items whose local path (relative to the home folder) is one of `paths`, parsed;
    // every other line is passed over unparsed, so freeing a few files of a large server does
    // not cost a whole load. The containers, aliases and quota are left empty.
    [[nodiscard]] static ServerDb loadItemsAt(const std::string& path,
                                              const std::unordered_set<std::string>& paths);
    // The free quota alone, read from the start of the file without loading the items (the
    // answer to `brctl quota` should not cost a whole load of a large server).
    [[nodiscard]] static std::int64_t loadQuota(const std::string& path);
};

} // namespace sim
