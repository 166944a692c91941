#include "Ager.hpp"

#include "Expectations.hpp"

#include <algorithm>
#include <iterator>

namespace sim {

namespace {

constexpr std::int64_t KB = 1000;
constexpr std::int64_t MB = 1000 * KB;
constexpr std::int64_t day = 86400;
constexpr std::size_t none = static_cast<std::size_t>(-1);
// Placeholders up to this size are downloaded; larger ones would fill the disk for nothing.
constexpr std::int64_t downloadLimit = 1 * MB;

const char* const docStems[] = {"Faktura",  "Smlouva", "Zápis", "Rozpočet", "Nabídka",
                                "Poznámky", "Report",  "Plán",  "Fotka",    "Video"};
const char* const docExts[] = {".pdf", ".docx", ".xlsx", ".txt", ".jpg", ".mov"};
const char* const folderStems[] = {"Nový projekt", "Podklady", "Sdílené", "Výlet", "Ke zpracování"};
// Top folders of iCloud Drive whose contents stay as generated: tests and the demo look for
// what is in them by name.
const char* const fixedFolders[] = {"Koledy", "Zvláštní názvy"};

} // namespace

Ager::Ager(World& world, const std::string& home, std::uint64_t seed, std::int64_t days)
    : m_world(world), m_editor(world, home),
      // The clock joins the seed, so that aging an aged world again takes other turns.
      m_rng(seed * 0x2545F4914F6CDD1DULL ^ static_cast<std::uint64_t>(world.now)), m_days(days) {
    m_log.seed = seed;
    m_log.days = days;
    m_log.from = world.now;
    m_log.to = world.now + days * day;
    for (std::size_t i = 0; i < world.items.size(); ++i) {
        const WorldItem& it = world.items[i];
        if (it.server.parent == "root[1]" &&
            std::find(std::begin(fixedFolders), std::end(fixedFolders), it.server.name) !=
                std::end(fixedFolders))
            avoid(i);
    }
}

AgeLog Ager::age() {
    deleteFolder();
    moveFolder();
    newFolder();
    changeDocuments();
    newDocuments();
    m_editor.settleFolderTimes();
    Expectations::assign(m_world);
    m_world.now = m_log.to;
    return std::move(m_log);
}

// About `perMonth` changes every 30 days, at least one.
std::int64_t Ager::countFor(std::int64_t perMonth) const {
    return std::max<std::int64_t>(1, (m_days * perMonth + 15) / 30);
}

std::int64_t Ager::someTime() {
    return m_log.from + m_rng.between(1, m_days * day);
}

std::string Ager::freshId() {
    for (;;) {
        std::string id = m_rng.itemId();
        if (!m_editor.hasId(id))
            return id;
    }
}

std::string Ager::freeName(std::size_t folder, const std::string& stem, const std::string& ext) {
    for (int attempt = 0;; ++attempt) {
        std::string name = stem;
        if (attempt > 0)
            name += " " + std::to_string(m_rng.between(2, 9999));
        name += ext;
        if (m_editor.nameFree(folder, name))
            return name;
    }
}

bool Ager::ordinaryFolder(std::size_t i) const {
    const WorldItem& it = m_world.items[i];
    return it.server.kind == Kind::dir && it.server.container == 1 && !it.server.dead &&
           it.local == Local::folder && it.expect == "resolved" && !m_avoided.contains(i);
}

bool Ager::ordinaryDocument(std::size_t i) const {
    const WorldItem& it = m_world.items[i];
    return it.server.kind == Kind::doc && it.server.container == 1 && !it.server.dead &&
           (it.local == Local::downloaded || it.local == Local::placeholder) &&
           it.expect == "resolved" && !m_avoided.contains(i);
}

bool Ager::plainBranch(std::size_t i) const {
    if (!ordinaryFolder(i) || m_editor.parentOf(i) == none)
        return false;
    for (const std::size_t j : m_editor.subtree(i)) {
        const WorldItem& it = m_world.items[j];
        const bool plain = it.server.dead || it.local == Local::none ||
                           it.local == Local::downloaded || it.local == Local::placeholder ||
                           it.local == Local::folder;
        if (!plain || it.ambiguous || it.orphan || m_avoided.contains(j))
            return false;
    }
    return true;
}

std::vector<std::size_t> Ager::shuffled(std::vector<std::size_t> items) {
    for (std::size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1],
                  items[static_cast<std::size_t>(m_rng.below(static_cast<std::int64_t>(i)))]);
    return items;
}

std::vector<std::size_t> Ager::matching(bool (Ager::*test)(std::size_t) const) const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < m_world.items.size(); ++i)
        if ((this->*test)(i))
            out.push_back(i);
    return out;
}

std::vector<std::size_t> Ager::take(const std::vector<std::size_t>& pool, std::int64_t n,
                                    bool (*fits)(const WorldItem&)) {
    std::vector<std::size_t> out;
    for (const std::size_t i : pool) {
        if (static_cast<std::int64_t>(out.size()) == n)
            break;
        if (!m_avoided.contains(i) && fits(m_world.items[i])) {
            out.push_back(i);
            avoid(i);
        }
    }
    return out;
}

void Ager::avoid(std::size_t item) {
    for (const std::size_t i : m_editor.subtree(item))
        m_avoided.insert(i);
}

void Ager::note(std::size_t item, const char* change, const WorldEditor::Charge& before,
                const std::string& deletedPath) {
    const WorldItem& it = m_world.items[item];
    const WorldEditor::Charge after = m_editor.chargeOf(item);
    m_log.changes.push_back({.id = it.server.id,
                             .change = change,
                             .kind = kindText(it.server.kind),
                             .path = it.relPath.empty() ? deletedPath : it.relPath,
                             .qtaBefore = before.qta,
                             .qtaAfter = after.qta,
                             .localBefore = before.local,
                             .localAfter = after.local});
}

void Ager::deleteFolder() {
    const std::vector<std::size_t> candidates = matching(&Ager::plainBranch);
    if (candidates.empty())
        return;
    const std::size_t folder =
        candidates[static_cast<std::size_t>(m_rng.below(std::ssize(candidates)))];
    const WorldEditor::Charge before = m_editor.chargeOf(folder);
    const std::string path = m_world.items[folder].relPath;
    avoid(folder);
    m_editor.remove(folder);
    note(folder, "deleted", before, path);
}

// Into a folder that comes before it in the database, so that parents still come first, and
// where its name stays told apart.
void Ager::moveFolder() {
    for (const std::size_t folder : shuffled(matching(&Ager::plainBranch))) {
        std::vector<std::size_t> places;
        for (std::size_t i = 0; i < folder; ++i)
            if (ordinaryFolder(i) && i != m_editor.parentOf(folder))
                places.push_back(i);
        for (const std::size_t place : shuffled(std::move(places))) {
            if (!m_editor.nameFree(place, m_world.items[folder].diskName))
                continue;
            const WorldEditor::Charge before = m_editor.chargeOf(folder);
            m_editor.move(folder, place);
            avoid(folder);
            note(folder, "moved", before);
            return;
        }
    }
}

void Ager::newFolder() {
    const std::vector<std::size_t> places = matching(&Ager::ordinaryFolder);
    if (places.empty())
        return;
    const std::size_t parent = places[static_cast<std::size_t>(m_rng.below(std::ssize(places)))];
    const std::string name = freeName(parent, m_rng.pick(folderStems), "");
    const std::string id = freshId();
    const std::size_t folder = m_editor.addFolder(parent, id, name, someTime());
    const std::int64_t files = std::min<std::int64_t>(2 + m_days / 15, 40);
    for (std::int64_t f = 0; f < files; ++f)
        newDocument(folder, f % 2 == 0 ? Local::downloaded : Local::placeholder);
    avoid(folder);
    note(folder, "new", {});
}

void Ager::newDocuments() {
    const std::vector<std::size_t> places = matching(&Ager::ordinaryFolder);
    if (places.empty())
        return;
    const std::int64_t n = std::max<std::int64_t>(2, countFor(6));
    for (std::int64_t i = 0; i < n; ++i) {
        const std::size_t folder =
            places[static_cast<std::size_t>(m_rng.below(std::ssize(places)))];
        const std::size_t doc =
            newDocument(folder, i % 2 == 0 ? Local::downloaded : Local::placeholder);
        avoid(doc);
        note(doc, "new", {});
    }
}

// Every value is drawn in its own statement: each compiler may evaluate a call's arguments in
// its own order, and the world must not depend on the compiler.
std::size_t Ager::newDocument(std::size_t folder, Local local) {
    const std::string stem = m_rng.pick(docStems);
    const std::string name = freeName(folder, stem, m_rng.pick(docExts));
    const std::int64_t size = local == Local::downloaded ? m_rng.between(1 * KB, 400 * KB)
                                                         : m_rng.between(1 * MB, 900 * MB);
    const std::string id = freshId();
    const std::int64_t mt = someTime();
    return m_editor.addDocument(folder, id, name, size, local, mt);
}

void Ager::resize(std::size_t doc, bool grow) {
    const std::int64_t size = m_world.items[doc].server.size;
    const WorldEditor::Charge before = m_editor.chargeOf(doc);
    const std::int64_t next = grow ? size + m_rng.between(std::max<std::int64_t>(1, size / 10),
                                                          std::max<std::int64_t>(1, size))
                                   : m_rng.between(size / 4, size * 3 / 4);
    const std::int64_t mt = someTime();
    m_editor.resize(doc, next, mt);
    note(doc, grow ? "grown" : "shrunk", before);
}

void Ager::changeDocuments() {
    const std::vector<std::size_t> pool = shuffled(matching(&Ager::ordinaryDocument));
    for (const std::size_t doc : take(pool, countFor(4), [](const WorldItem&) { return true; }))
        resize(doc, true);
    for (const std::size_t doc :
         take(pool, countFor(3), [](const WorldItem& it) { return it.server.size >= 8; }))
        resize(doc, false);
    for (const std::size_t doc : take(pool, countFor(3), [](const WorldItem&) { return true; })) {
        const WorldEditor::Charge before = m_editor.chargeOf(doc);
        const std::string path = m_world.items[doc].relPath;
        m_editor.remove(doc);
        note(doc, "deleted", before, path);
    }
    for (const std::size_t doc : take(pool, countFor(3), [](const WorldItem& it) {
             return it.local == Local::placeholder && it.server.size <= downloadLimit;
         })) {
        const WorldEditor::Charge before = m_editor.chargeOf(doc);
        m_editor.download(doc);
        note(doc, "downloaded", before);
    }
    for (const std::size_t doc : take(pool, countFor(3), [](const WorldItem& it) {
             return it.local == Local::downloaded && it.server.size > 0;
         })) {
        const WorldEditor::Charge before = m_editor.chargeOf(doc);
        m_editor.evict(doc);
        note(doc, "evicted", before);
    }
}

} // namespace sim
