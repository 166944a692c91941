#include "WorldBuilder.hpp"

#include "Expectations.hpp"

#include "TessaryCore/Masking.hpp"

#include <algorithm>

namespace sim {

using tessary::Masking;

namespace {

constexpr std::int64_t KB = 1000;
constexpr std::int64_t MB = 1000 * KB;
constexpr std::int64_t GB = 1000 * MB;
// Files up to this size may be downloaded; larger ones stay in the cloud, so the world is
// small on disk while its totals look like a real drive.
constexpr std::int64_t downloadLimit = 512 * KB;

const char* const photoStems[] = {"IMG",        "Dovolená", "Výlet",   "Chata",
                                  "Narozeniny", "Svatba",   "Hory",    "Moře",
                                  "Praha",      "Zahrada",  "Portrét", "Západ slunce"};
const char* const docStems[] = {"Faktura",    "Smlouva",   "Zápis",     "Rozpočet", "Nabídka",
                                "Objednávka", "Přihláška", "Potvrzení", "Dopis",    "Poznámky",
                                "Report",     "Plán",      "Seznam",    "Výpis",    "Žádost"};
const char* const docExts[] = {".pdf", ".docx", ".xlsx", ".txt", ".pptx", ".odt", ".md", ".csv"};
const char* const photoExts[] = {".jpg", ".heic", ".png", ".jpeg"};
const char* const videoExts[] = {".mov", ".mp4", ".m4v"};
const char* const audioExts[] = {".m4a", ".mp3", ".flac", ".wav"};
const char* const archiveExts[] = {".zip", ".tar.gz", ".7z", ".dmg"};
const char* const designExts[] = {".psd", ".sketch", ".fig", ".ai", ".indd"};
const char* const otherExts[] = {".bin", ".dat", ".log", ".plist"};
const char* const months[] = {"Leden",    "Únor",  "Březen", "Duben", "Květen",   "Červen",
                              "Červenec", "Srpen", "Září",   "Říjen", "Listopad", "Prosinec"};

template <std::size_t N> bool oneOf(const std::string& ext, const char* const (&list)[N]) {
    return std::find(std::begin(list), std::end(list), ext) != std::end(list);
}

} // namespace

WorldBuilder::WorldBuilder(std::uint64_t seed, std::int64_t items)
    : m_rng(seed * 0x2545F4914F6CDD1DULL + 1), m_wanted(items) {
    m_world.seed = seed;
    m_world.itemsOption = items;
}

World WorldBuilder::build() {
    m_world.containers = {{1, "com.apple.CloudDocs", "com~apple~CloudDocs"},
                          {2, "iCloud.com.example.Notes", "iCloud~com~example~Notes"},
                          {3, "com.example.app", "ABCDE12345~com~example~app"},
                          {4, "com.acme.Beta", ""}};
    // Both mask like the last container's identifier, so neither can be told to be its folder.
    m_world.strayFolders = {"com~acme~Beta", "com~acme~Bota"};
    cloudDocs();
    appContainers();
    databaseOddities();
    archive();
    finish();
    return std::move(m_world);
}

std::int64_t WorldBuilder::containerOf(std::size_t parent) const {
    return parent == top ? m_container : m_world.items[parent].server.container;
}

// The folder whose masks a name joins: the item itself, or for a container's top level a key
// per container (counted down from `top`, where no item index reaches).
std::size_t WorldBuilder::maskKey(std::size_t parent) const {
    return parent == top ? top - static_cast<std::size_t>(containerOf(parent)) : parent;
}

std::size_t WorldBuilder::add(std::size_t parent, Kind kind, const std::string& name, Local local,
                              std::int64_t size) {
    WorldItem it;
    it.server.id = m_rng.itemId();
    it.server.container = containerOf(parent);
    it.server.parent = parent == top ? "root[" + std::to_string(it.server.container) + "]"
                                     : m_world.items[parent].server.id;
    it.server.kind = kind;
    it.server.name = name;
    it.server.size = kind == Kind::dir ? 0 : size;
    it.server.qta = it.server.size;
    it.server.mt = m_world.now - m_rng.below(4 * 365 * 86400);
    it.local = local;
    it.diskName = name;
    m_world.items.push_back(std::move(it));
    auto& taken = m_masks[maskKey(parent)];
    for (std::string& m : Masking::maskVariants(name))
        taken.insert(std::move(m));
    return m_world.items.size() - 1;
}

std::size_t WorldBuilder::dir(std::size_t parent, const std::string& name, Local local) {
    return add(parent, Kind::dir, name, local, 0);
}

std::size_t WorldBuilder::file(std::size_t parent, const std::string& name, std::int64_t size,
                               Local local) {
    return add(parent, Kind::doc, name, local, size);
}

std::string WorldBuilder::uniqueName(std::size_t parent, const std::string& stem,
                                     const std::string& ext) {
    const auto& taken = m_masks[maskKey(parent)];
    for (int attempt = 0;; ++attempt) {
        std::string name = stem;
        if (attempt > 0 || stem.size() < 4)
            name += "_" + std::to_string(m_rng.between(1, 99999)) +
                    std::string(1, static_cast<char>('a' + m_rng.below(26)));
        name += ext;
        bool clash = false;
        for (const std::string& m : Masking::maskVariants(name))
            clash = clash || taken.count(m) != 0;
        if (!clash)
            return name;
    }
}

// Sizes spread evenly over orders of magnitude between `lo` and `hi`, as file sizes are, with
// integer arithmetic only so that every machine makes the same world.
std::int64_t WorldBuilder::spread(std::int64_t lo, std::int64_t hi) {
    int doublings = 0;
    while ((lo << (doublings + 1)) <= hi)
        ++doublings;
    const std::int64_t base = lo << m_rng.below(doublings + 1);
    const std::int64_t size = base + base * m_rng.below(1024) / 1024;
    return size <= hi ? size : lo + size % (hi - lo + 1);
}

std::int64_t WorldBuilder::sizeFor(const std::string& ext) {
    if (oneOf(ext, videoExts))
        return spread(300 * MB, 6 * GB);
    if (oneOf(ext, photoExts))
        return spread(300 * KB, 9 * MB);
    if (oneOf(ext, audioExts))
        return spread(2 * MB, 40 * MB);
    if (oneOf(ext, archiveExts))
        return spread(5 * MB, 2 * GB);
    if (oneOf(ext, designExts))
        return spread(2 * MB, 400 * MB);
    if (oneOf(ext, otherExts))
        return spread(100, 2 * MB);
    return spread(2 * KB, 900 * KB);
}

Local WorldBuilder::stateFor(std::int64_t size) {
    if (size > downloadLimit)
        return Local::placeholder;
    const std::int64_t roll = m_rng.below(100);
    if (roll < 12)
        return Local::none; // on the server only: not yet synchronised down
    return roll < 12 + m_downloadPercent ? Local::downloaded : Local::placeholder;
}

std::size_t WorldBuilder::typical(std::size_t parent, const std::string& stem,
                                  const std::string& ext) {
    const std::string name = uniqueName(parent, stem, ext);
    const std::int64_t size = sizeFor(ext);
    Local local = stateFor(size);
    const Local around = parent == top ? Local::folder : m_world.items[parent].local;
    if (around == Local::none)
        local = Local::none;
    else if (around == Local::neverOpened)
        local = Local::placeholder;
    return file(parent, name, size, local);
}

void WorldBuilder::cloudDocs() {
    m_container = 1;
    const std::size_t desktop = dir(top, "Desktop");
    const std::size_t documents = dir(top, "Documents");
    const std::size_t downloads = dir(top, "Downloads");
    const std::size_t fotky = dir(top, "Fotky");
    const std::size_t videa = dir(top, "Videa");
    const std::size_t hudba = dir(top, "Hudba");
    const std::size_t projekty = dir(top, "Projekty");
    const std::size_t koledy = dir(top, "Koledy");

    for (int i = 0; i < 40; ++i)
        typical(desktop, m_rng.pick(docStems), m_rng.pick(docExts));
    typical(desktop, "Snímek obrazovky", ".png");

    for (const char* sub : {"Práce", "Škola", "Úřady", "Účty", "Zdraví"}) {
        const std::size_t d = dir(documents, sub);
        const std::int64_t n = m_rng.between(30, 70);
        for (std::int64_t i = 0; i < n; ++i)
            typical(d, m_rng.pick(docStems), m_rng.pick(docExts));
        const std::size_t year = dir(d, "2023");
        for (int i = 0; i < 15; ++i)
            typical(year, m_rng.pick(docStems), m_rng.pick(docExts));
    }
    // A folder nobody may read: its contents stay unknown to a scan.
    const std::size_t privat = dir(documents, "Soukromé", Local::denied);
    for (const char* name : {"Hesla.txt", "Deník.docx", "Výpis z účtu.pdf"})
        file(privat, name, m_rng.between(2 * KB, 80 * KB), Local::downloaded);
    links(documents);

    for (int i = 0; i < 25; ++i)
        typical(downloads, m_rng.pick(docStems), m_rng.pick(docExts));
    for (int i = 0; i < 12; ++i)
        typical(downloads, "Instalace", m_rng.pick(archiveExts));
    typical(downloads, "zaloha", ".tar.gz");

    photos(fotky);
    for (const char* name : {"Dovolená 2023", "Svatba", "Narozeniny", "Hory", "Moře"}) {
        const std::size_t d = dir(videa, name);
        for (int i = 0; i < 5; ++i)
            typical(d, "Video", m_rng.pick(videoExts));
    }
    music(hudba);
    projects(projekty);

    for (const char* name :
         {"Narodil se Kristus Pán – koleda.mp3", "Půjdem spolu do Betléma – koleda.mp3",
          "Nesem vám noviny (koleda).m4a"})
        file(koledy, name, m_rng.between(3 * MB, 9 * MB), Local::downloaded);
    for (const char* name :
         {"Koleda o Ježíškovi.pdf", "Vánoční koledy – texty.docx", "koleda-akordy.txt"})
        file(koledy, name, m_rng.between(5 * KB, 200 * KB), Local::downloaded);
    const std::size_t special = dir(top, "Zvláštní názvy");
    matchingCases(special);
}

void WorldBuilder::photos(std::size_t fotky) {
    for (int year = 2019; year <= 2025; ++year) {
        const std::size_t y = dir(fotky, std::to_string(year));
        const std::int64_t n = m_rng.between(120, 220);
        for (std::int64_t i = 0; i < n; ++i)
            typical(y, m_rng.pick(photoStems), m_rng.pick(photoExts));
        typical(y, "Video", m_rng.pick(videoExts));
    }
    // Never opened on this Mac: the folder and its children are placeholders.
    const std::size_t old = dir(fotky, "2018", Local::neverOpened);
    for (int i = 0; i < 20; ++i)
        typical(old, m_rng.pick(photoStems), m_rng.pick(photoExts));
    const std::size_t library = file(fotky, "Fotky.photoslibrary", 0, Local::package);
    m_world.items[library].packageFiles = {{"database/Photos.sqlite", 96 * KB},
                                           {"database/search/index.db", 24 * KB},
                                           {"resources/thumbs/0001.jpg", 40 * KB},
                                           {"resources/thumbs/0002.jpg", 38 * KB}};
}

void WorldBuilder::music(std::size_t hudba) {
    for (const char* album : {"Oblíbené", "Klasika", "Jazz", "Podcasty", "Audioknihy"}) {
        const std::size_t a = dir(hudba, album);
        const std::int64_t n = m_rng.between(20, 40);
        for (std::int64_t i = 0; i < n; ++i)
            typical(a, "Skladba", m_rng.pick(audioExts));
    }
    // Never opened, two levels deep: hydration with depth 3 reaches the inner files.
    const std::size_t old = dir(hudba, "Staré nahrávky", Local::neverOpened);
    for (const char* album : {"Kazety", "Gramodesky"}) {
        const std::size_t a = dir(old, album, Local::neverOpened);
        for (int i = 0; i < 5; ++i)
            typical(a, "Nahrávka", m_rng.pick(audioExts));
    }
}

void WorldBuilder::projects(std::size_t projekty) {
    for (const char* name : {"Web", "Logo", "Katalog"}) {
        const std::size_t d = dir(projekty, name);
        for (int i = 0; i < 12; ++i)
            typical(d, "Návrh", m_rng.pick(designExts));
        for (int i = 0; i < 6; ++i)
            typical(d, m_rng.pick(docStems), m_rng.pick(docExts));
        for (int i = 0; i < 4; ++i)
            typical(d, "data", m_rng.pick(otherExts));
    }
    const std::size_t film = file(projekty, "Film.fcpbundle", 0, Local::package);
    m_world.items[film].packageFiles = {{"Info.plist", 2 * KB},
                                        {"Event 1/CurrentVersion.fcpevent", 180 * KB},
                                        {"Event 1/Render Files/a.mov", 600 * KB}};
    const std::size_t pages = file(projekty, "Nabídka.pages", 0, Local::package);
    m_world.items[pages].packageFiles = {{"Index.zip", 60 * KB}, {"preview.jpg", 30 * KB}};
}

// Local names that mask alike and must still be told apart, names in both normalisations and
// names that look like formulas or break naive quoting.
void WorldBuilder::matchingCases(std::size_t parent) {
    const std::int64_t t = m_world.now - 86400 * 30;
    auto fileAt = [&](const std::string& name, std::int64_t size, std::int64_t mt) {
        const std::size_t i = file(parent, name, size, Local::downloaded);
        m_world.items[i].server.mt = mt;
        return i;
    };
    // Told apart by size: R{4}t.pdf twice.
    fileAt("Report.pdf", 1000, t);
    fileAt("Result.pdf", 2500, t + 500);
    // A duplicate counter.
    fileAt("Report 2.pdf", 1800, t);
    // Told apart by time: S{5}a.pdf with equal sizes.
    fileAt("Smlouva.pdf", 5000, t);
    fileAt("Sklenka.pdf", 5000, t + 86400);
    // Nothing tells these apart: same mask, size and time.
    m_world.items[fileAt("Navrh.docx", 7000, t)].ambiguous = true;
    m_world.items[fileAt("Nymph.docx", 7000, t)].ambiguous = true;
    // Normalisation: NFC on the server and NFD on disk, and the reverse.
    m_world.items[fileAt("Café.txt", 1200, t)].diskName = "Cafe\xCC\x81.txt";
    m_world
        .items[fileAt("Z\xCC\x8C"
                      "a\xCC\x81"
                      "ba.txt",
                      1300, t)]
        .diskName = "Žába.txt";
    // Compound extensions and awkward characters.
    fileAt("archiv.tar.gz", 40 * KB, t);
    fileAt("=SUM(A1);B2.csv", 300, t);
    fileAt("Faktura \"leden\";2024.pdf", 2300, t);
    fileAt("\"Citát\".txt", 400, t);
    fileAt("ab.txt", 10, t);
    // Folders told apart by what is in them: A{2}a twice, equal child counts.
    for (const auto& [name, children] :
         {std::pair<const char*, std::vector<const char*>>{"Alfa", {"plán.txt", "rozpis.xlsx"}},
          std::pair<const char*, std::vector<const char*>>{"Aura", {"fotka.jpg", "video.mov"}}}) {
        const std::size_t d = dir(parent, name);
        for (const char* child : children)
            file(d, child, m_rng.between(1 * KB, 9 * KB), Local::downloaded);
    }
}

void WorldBuilder::links(std::size_t documents) {
    auto link = [&](const std::string& name, const std::string& target) {
        const std::size_t i = add(documents, Kind::symlink, name, Local::link,
                                  static_cast<std::int64_t>(target.size()));
        m_world.items[i].linkTarget = target;
    };
    link("Odkaz na Fotky", "../Fotky");
    link("Mimo domov", "../../../../../outside");
    link("Smyčka", ".");
}

void WorldBuilder::appContainers() {
    m_container = 2;
    const std::size_t notes = dir(top, "Documents");
    for (int i = 0; i < 30; ++i)
        typical(notes, "Poznámka", i % 2 ? ".txt" : ".md");
    // The app's own data, outside the folder the user sees.
    file(top, "Notes.sqlite", 64 * KB, Local::downloaded);
    const std::size_t cache = dir(top, "Caches");
    file(cache, "náhledy.db", 32 * KB, Local::downloaded);

    m_container = 3;
    const std::size_t appDocs = dir(top, "Documents");
    for (int i = 0; i < 15; ++i)
        typical(appDocs, "Projekt", ".json");
    file(top, "settings.plist", 3 * KB, Local::downloaded);

    // Its local folder cannot be told from a look-alike, so the container stays unmapped.
    m_container = 4;
    const std::size_t beta = dir(top, "Data", Local::none);
    for (int i = 0; i < 8; ++i)
        file(beta, uniqueName(beta, "záznam", ".dat"), m_rng.between(10 * KB, 50 * MB),
             Local::none);
}

// Dead items (some with a second name), orphans, aliases, quota charges above the size and a
// folder whose child count disagrees with the database.
void WorldBuilder::databaseOddities() {
    m_container = 1;
    const std::size_t n = m_world.items.size();
    for (int i = 0; i < 20; ++i) {
        std::size_t parent = static_cast<std::size_t>(m_rng.below(static_cast<std::int64_t>(n)));
        while (m_world.items[parent].server.kind != Kind::dir ||
               m_world.items[parent].server.container != 1)
            parent = (parent + 1) % n;
        const std::string name = uniqueName(parent, "Smazaný soubor", ".pdf");
        const std::size_t d = file(parent, name, m_rng.between(10 * KB, 90 * MB), Local::none);
        m_world.items[d].server.dead = true;
        if (i % 3 == 0)
            m_world.items[d].server.secondName = "Původní " + name;
    }
    for (int i = 0; i < 3; ++i) {
        const std::size_t o = file(top, "Ztracený " + std::to_string(i + 1) + ".pdf",
                                   m_rng.between(10 * KB, 5 * MB), Local::none);
        m_world.items[o].server.parent = m_rng.itemId(); // a parent the database never lists
        m_world.items[o].orphan = true;
    }
    for (int i = 0; i < 4; ++i)
        m_world.aliases.emplace_back(m_rng.itemId(), i % 2 ? 2 : 1);
    for (WorldItem& it : m_world.items)
        if (it.server.kind == Kind::doc && m_rng.chance(10))
            it.server.qta = (it.server.size / 4096 + 2) * 4096;
}

// Year and month folders of generated files up to the wanted item count.
void WorldBuilder::archive() {
    if (static_cast<std::int64_t>(m_world.items.size()) >= m_wanted)
        return;
    m_container = 1;
    m_downloadPercent = 4; // an old archive is mostly left in the cloud
    const std::size_t root = dir(top, "Archiv");
    for (int year = 2000; static_cast<std::int64_t>(m_world.items.size()) < m_wanted; ++year) {
        const std::size_t y = dir(root, std::to_string(year));
        for (const char* month : months) {
            const std::size_t m = dir(y, month);
            for (int i = 0; i < 400 && static_cast<std::int64_t>(m_world.items.size()) < m_wanted;
                 ++i) {
                const std::int64_t kind = m_rng.below(50);
                if (kind == 0)
                    typical(m, "Video", m_rng.pick(videoExts));
                else if (kind < 28)
                    typical(m, m_rng.pick(photoStems), m_rng.pick(photoExts));
                else
                    typical(m, m_rng.pick(docStems), m_rng.pick(docExts));
            }
            m_masks.erase(m); // a finished folder gets no more names
        }
    }
}

// Child counts, package sizes, expectations and the free quota.
void WorldBuilder::finish() {
    std::unordered_map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < m_world.items.size(); ++i)
        byId[m_world.items[i].server.id] = i;
    std::int64_t charged = 0;
    for (WorldItem& it : m_world.items) {
        if (it.local == Local::package) {
            it.server.size = 0;
            for (const PackageFile& f : it.packageFiles)
                it.server.size += f.bytes;
            it.server.qta = it.server.size;
        }
        if (const auto p = byId.find(it.server.parent); p != byId.end())
            ++m_world.items[p->second].server.cc;
        if (!it.server.dead)
            charged += it.server.qta;
    }
    // One folder whose count the database got wrong.
    for (WorldItem& it : m_world.items)
        if (it.server.kind == Kind::dir && it.server.name == "Desktop") {
            it.server.cc += 1;
            break;
        }
    const std::int64_t plan = std::max<std::int64_t>(200 * GB, charged + charged / 3);
    m_world.quotaFree = plan - charged;
    Expectations::assign(m_world);
}

} // namespace sim
