#pragma once

#include "SimRandom.hpp"
#include "World.hpp"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace sim {

// Makes a world from a seed: familiar folders with all kinds of files, app containers, the
// cases that a name matcher must get right, and the oddities of a real server database. With
// `items` above the few thousand of the demo world, an archive of generated folders fills the
// rest.
class WorldBuilder {
public:
    WorldBuilder(std::uint64_t seed, std::int64_t items);
    [[nodiscard]] World build();

    // The parent of a container's top-level items.
    static constexpr std::size_t top = static_cast<std::size_t>(-1);

private:
    [[nodiscard]] std::int64_t containerOf(std::size_t parent) const;
    [[nodiscard]] std::size_t maskKey(std::size_t parent) const;
    std::size_t add(std::size_t parent, Kind kind, const std::string& name, Local local,
                    std::int64_t size);
    std::size_t dir(std::size_t parent, const std::string& name, Local local = Local::folder);
    std::size_t file(std::size_t parent, const std::string& name, std::int64_t size, Local local);
    // A file named uniquely within its folder (by mask), with a size and local state typical
    // for its extension.
    std::size_t typical(std::size_t parent, const std::string& stem, const std::string& ext);
    std::string uniqueName(std::size_t parent, const std::string& stem, const std::string& ext);
    std::int64_t spread(std::int64_t lo, std::int64_t hi);
    std::int64_t sizeFor(const std::string& ext);
    Local stateFor(std::int64_t size);

    void cloudDocs();
    void photos(std::size_t fotky);
    void music(std::size_t hudba);
    void projects(std::size_t projekty);
    void matchingCases(std::size_t parent);
    void links(std::size_t documents);
    void appContainers();
    void databaseOddities();
    void archive();
    void finish();

    World m_world;
    SimRandom m_rng;
    std::int64_t m_wanted;
    std::int64_t m_container = 1;
    // Masks taken per folder, so generated names never collide by accident.
    std::unordered_map<std::size_t, std::unordered_set<std::string>> m_masks;
    int m_downloadPercent = 40;
};

} // namespace sim
