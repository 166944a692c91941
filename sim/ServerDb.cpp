#include "ServerDb.hpp"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

constexpr const char* magic = "varnelo-sim server 2";
// A database written before the local paths were kept: read, without them.
constexpr const char* oldMagic = "varnelo-sim server 1";

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', from);
        parts.push_back(line.substr(from, tab == std::string::npos ? tab : tab - from));
        if (tab == std::string::npos)
            return parts;
        from = tab + 1;
    }
}

Kind kindOf(const std::string& text) {
    if (text == "dir")
        return Kind::dir;
    if (text == "symlink")
        return Kind::symlink;
    if (text == "doc")
        return Kind::doc;
    throw std::runtime_error("neznámý druh položky „" + text + "“");
}

ServerItem itemOf(const std::vector<std::string>& f) {
    if (f.size() != 12 && f.size() != 13)
        throw std::runtime_error("chybný řádek položky");
    ServerItem it;
    it.id = f[1];
    it.parent = f[2];
    it.container = std::stoll(f[3]);
    it.kind = kindOf(f[4]);
    it.size = std::stoll(f[5]);
    it.qta = std::stoll(f[6]);
    it.cc = std::stoll(f[7]);
    it.mt = std::stoll(f[8]);
    it.dead = f[9] == "1";
    it.name = f[10];
    it.secondName = f[11];
    if (f.size() == 13)
        it.path = f[12];
    return it;
}

} // namespace

const char* kindText(Kind kind) {
    switch (kind) {
    case Kind::dir:
        return "dir";
    case Kind::symlink:
        return "symlink";
    case Kind::doc:
        break;
    }
    return "doc";
}

std::string ServerDb::pathIn(const std::string& home) {
    return home + "/.varnelo-sim/server.db";
}

void ServerDb::save(const std::string& path) const {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << magic << "\nQ\t" << quotaFree << "\n";
        for (const ServerContainer& c : containers)
            out << "C\t" << c.index << "\t" << c.identifier << "\t" << c.path << "\n";
        for (const ServerItem& it : items)
            out << "I\t" << it.id << "\t" << it.parent << "\t" << it.container << "\t"
                << kindText(it.kind) << "\t" << it.size << "\t" << it.qta << "\t" << it.cc << "\t"
                << it.mt << "\t" << (it.dead ? 1 : 0) << "\t" << it.name << "\t" << it.secondName
                << "\t" << it.path << "\n";
        for (const auto& [id, container] : aliases)
            out << "A\t" << id << "\t" << container << "\n";
        out.flush();
        if (!out)
            throw std::runtime_error("Databázi serveru nelze zapsat: " + tmp);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0)
        throw std::runtime_error("Databázi serveru nelze uložit: " + path);
}

namespace {

// Opens the database at `path` and reads past its first line, which must be ours.
std::ifstream openDb(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("Simulovaný iCloud Drive tu není: chybí " + path);
    std::string line;
    if (!std::getline(in, line) || (line != magic && line != oldMagic))
        throw std::runtime_error("Soubor " + path + " není databáze simulovaného serveru.");
    return in;
}

} // namespace

std::int64_t ServerDb::loadQuota(const std::string& path) {
    std::ifstream in = openDb(path);
    std::string line;
    // save() writes the quota right after the first line.
    if (std::getline(in, line)) {
        const std::vector<std::string> f = splitTabs(line);
        std::int64_t quota = 0;
        if (f[0] == "Q" && f.size() == 2 &&
            std::from_chars(f[1].data(), f[1].data() + f[1].size(), quota).ec == std::errc())
            return quota;
    }
    throw std::runtime_error("Databáze serveru " + path + " je poškozená na řádku 2: chybí kvóta");
}

ServerDb ServerDb::loadItemsAt(const std::string& path,
                               const std::unordered_set<std::string>& paths) {
    std::ifstream in = openDb(path);
    std::string line;
    ServerDb db;
    while (std::getline(in, line)) {
        // An item's path is its last field; a line without one has no local entry.
        const std::size_t tab = line.rfind('\t');
        if (!line.starts_with("I\t") || tab == std::string::npos ||
            !paths.contains(line.substr(tab + 1)))
            continue;
        const std::vector<std::string> f = splitTabs(line);
        if (f.size() == 13)
            db.items.push_back(itemOf(f));
    }
    return db;
}

ServerDb ServerDb::load(const std::string& path) {
    std::ifstream in = openDb(path);
    std::string line;
    ServerDb db;
    std::int64_t lineNo = 1;
    try {
        while (std::getline(in, line)) {
            ++lineNo;
            const std::vector<std::string> f = splitTabs(line);
            if (f[0] == "Q" && f.size() == 2)
                db.quotaFree = std::stoll(f[1]);
            else if (f[0] == "C" && (f.size() == 3 || f.size() == 4))
                db.containers.push_back({std::stoll(f[1]), f[2], f.size() == 4 ? f[3] : ""});
            else if (f[0] == "I")
                db.items.push_back(itemOf(f));
            else if (f[0] == "A" && f.size() == 3)
                db.aliases.emplace_back(f[1], std::stoll(f[2]));
            else
                throw std::runtime_error("neznámý záznam");
        }
    } catch (const std::exception& e) {
        throw std::runtime_error("Databáze serveru " + path + " je poškozená na řádku " +
                                 std::to_string(lineNo) + ": " + e.what());
    }
    return db;
}

} // namespace sim
