#include "WorldReader.hpp"

#include "ServerDb.hpp"

#include <nlohmann/json.hpp>

#include <fstream>
#include <stdexcept>

namespace sim {

namespace {

using nlohmann::json;

json parsed(const std::string& text, const std::string& path) {
    try {
        return json::parse(text);
    } catch (const json::exception&) {
        throw std::runtime_error("Pravda světa „" + path + "“ je poškozená.");
    }
}

Local localOf(const json& t) {
    const json& local = t["local"];
    if (local.is_null())
        return Local::none;
    if (t["kind"] == "symlink")
        return Local::link;
    if (local["isPackage"].get<bool>())
        return Local::package;
    if (local["neverOpened"].get<bool>())
        return Local::neverOpened;
    if (local["denied"].get<bool>())
        return Local::denied;
    if (t["kind"] == "dir")
        return Local::folder;
    return local["dataless"].get<bool>() ? Local::placeholder : Local::downloaded;
}

bool sameAsServer(const json& t, const ServerItem& s) {
    const std::string second = t["secondName"].is_null() ? "" : t["secondName"].get<std::string>();
    return t["id"] == s.id && t["parent"] == s.parent && t["container"] == s.container &&
           t["name"] == s.name && t["kind"] == kindText(s.kind) && t["size"] == s.size &&
           t["quota"] == s.qta && t["mt"] == s.mt && t["dead"] == s.dead && second == s.secondName;
}

// One item of the truth, with the server's fields (the child count among them) from `server`.
WorldItem itemOf(const json& t, const ServerItem& server) {
    if (!sameAsServer(t, server))
        throw std::runtime_error("Databáze serveru se u položky " + server.id +
                                 " liší od pravdy světa: svět se změnil mimo varnelo-sim.");
    WorldItem it;
    it.server = server;
    it.server.path.clear();
    it.local = localOf(t);
    it.orphan = t["orphan"].get<bool>();
    it.expect = t["expect"];
    it.ambiguous = it.expect == "ambiguous";
    it.diskName = it.server.name;
    if (!t["local"].is_null()) {
        it.relPath = t["local"]["path"];
        it.diskName = t["local"]["name"];
        it.alloc = t["local"]["alloc"];
    }
    return it;
}

void readHeader(World& world, const json& head) {
    world.seed = head["seed"];
    world.itemsOption = head["items_option"];
    world.now = head.value("now", world.now); // a world from before the clock was kept
    world.quotaFree = head["quotaFree"];
    for (const json& c : head["containers"])
        world.containers.push_back(
            {c["index"], c["id"], c["folder"].is_null() ? "" : c["folder"].get<std::string>()});
}

} // namespace

// The truth is read a line at a time, as WorldWriter streams it: a header, then one item a line.
World WorldReader::read(const std::string& out) {
    const std::string path = out + "/truth/world.json";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("Složka „" + out + "“ neobsahuje simulovaný svět: chybí " + path);
    std::string header, line;
    while (std::getline(in, line) && line != "\"items\": [")
        header += line;
    World world;
    readHeader(world, parsed(header + "\"items\": []}", path));
    const ServerDb db = ServerDb::load(ServerDb::pathIn(out + "/home"));
    if (db.quotaFree != world.quotaFree)
        throw std::runtime_error("Kvóta v databázi serveru se liší od pravdy světa: svět se "
                                 "změnil mimo varnelo-sim.");
    world.aliases = db.aliases;
    while (std::getline(in, line) && line != "]") {
        if (line.ends_with(','))
            line.pop_back();
        if (world.items.size() == db.items.size())
            throw std::runtime_error("Pravda světa zná víc položek než databáze serveru.");
        world.items.push_back(itemOf(parsed(line, path), db.items[world.items.size()]));
    }
    if (world.items.size() != db.items.size())
        throw std::runtime_error("Databáze serveru zná víc položek než pravda světa: svět se "
                                 "změnil mimo varnelo-sim.");
    return world;
}

} // namespace sim
