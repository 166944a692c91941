#pragma once

#include "AgeLog.hpp"
#include "SimRandom.hpp"
#include "World.hpp"
#include "WorldEditor.hpp"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace sim {

// Moves a world's clock on by some days and changes its iCloud Drive as the days would: new
// documents and a new folder, documents that grew or shrank, deleted documents and a deleted
// folder, a folder moved elsewhere, documents downloaded and others freed. How much changes
// grows with the days; which items change follows from the seed and the world's clock, so a
// seed ages a world the same way every time. Only ordinary items change: never the parts of the
// world kept for particular cases (never-opened and unreadable folders, packages, links, names
// a scan cannot tell apart, orphans, other containers, the folders of fixed names).
class Ager {
public:
    // `home` is the world's home folder, where its disk is laid out.
    Ager(World& world, const std::string& home, std::uint64_t seed, std::int64_t days);

    // Changes the disk and the world, its expectations included, and tells what was done; once.
    // Writing the server database and the truth is left to the caller. Throws
    // std::runtime_error with a Czech message when the disk refuses a change.
    AgeLog age();

private:
    [[nodiscard]] std::int64_t countFor(std::int64_t perMonth) const;
    [[nodiscard]] std::int64_t someTime();
    [[nodiscard]] std::string freshId();
    [[nodiscard]] std::string freeName(std::size_t folder, const std::string& stem,
                                       const std::string& ext);
    [[nodiscard]] bool ordinaryFolder(std::size_t i) const;
    [[nodiscard]] bool ordinaryDocument(std::size_t i) const;
    // An ordinary folder below the top whose whole contents are plain files and folders.
    [[nodiscard]] bool plainBranch(std::size_t i) const;
    [[nodiscard]] std::vector<std::size_t> shuffled(std::vector<std::size_t> items);
    [[nodiscard]] std::vector<std::size_t> matching(bool (Ager::*test)(std::size_t) const) const;
    // Up to `n` items of `pool` that no change took yet and that fit; they are taken now.
    std::vector<std::size_t> take(const std::vector<std::size_t>& pool, std::int64_t n,
                                  bool (*fits)(const WorldItem&));
    void avoid(std::size_t item);
    // Logs a change of `item`; a deleted item is logged under the path it had, `deletedPath`.
    void note(std::size_t item, const char* change, const WorldEditor::Charge& before,
              const std::string& deletedPath = {});
    // A new document of a random name, size and time in `folder`.
    std::size_t newDocument(std::size_t folder, Local local);
    // Grows or shrinks a document to a random new size, at a time within the days.
    void resize(std::size_t doc, bool grow);

    void deleteFolder();
    void moveFolder();
    void newFolder();
    void newDocuments();
    void changeDocuments();

    World& m_world;
    WorldEditor m_editor;
    SimRandom m_rng;
    std::int64_t m_days;
    AgeLog m_log;
    // Items no further change may touch: the fixed folders and what earlier changes took.
    std::unordered_set<std::size_t> m_avoided;
};

} // namespace sim
