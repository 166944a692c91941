#include "WorldWriter.hpp"

#include "Content.hpp"
#include "Disk.hpp"

#include "TessaryCore/FS.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace sim {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace {

const char* const mobileDocs = "Library/Mobile Documents";

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " „" + path + "“: " + std::strerror(errno));
}

void layOut(World& world) {
    std::unordered_map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < world.items.size(); ++i)
        byId[world.items[i].server.id] = i;
    for (WorldItem& it : world.items) {
        if (it.local == Local::none || it.server.dead || it.orphan)
            continue;
        const WorldContainer& c =
            world.containers[static_cast<std::size_t>(it.server.container - 1)];
        if (c.folder.empty())
            continue;
        const auto p = byId.find(it.server.parent);
        if (p == byId.end()) {
            it.relPath = std::string(mobileDocs) + "/" + c.folder + "/" + it.diskName;
            continue;
        }
        const WorldItem& parent = world.items[p->second];
        if (!parent.relPath.empty())
            it.relPath = parent.relPath + "/" + it.diskName;
    }
}

void writeItem(WorldItem& it, const std::string& home) {
    const std::string path = home + "/" + it.relPath;
    switch (it.local) {
    case Local::folder:
    case Local::neverOpened:
    case Local::denied:
        Disk::makeDir(path);
        break;
    case Local::downloaded:
        Content::writeGenerated(path, it.server.size, Content::seedOf(it.server.id));
        it.alloc = Disk::allocOf(path);
        break;
    case Local::placeholder:
        Disk::writePlaceholder(path, it.server.size);
        break;
    case Local::package:
        Disk::makeDir(path);
        for (const PackageFile& f : it.packageFiles) {
            const std::string file = path + "/" + f.relPath;
            fs::create_directories(fs::path(file).parent_path());
            Content::writeGenerated(file, f.bytes, Content::seedOf(it.server.id + f.relPath));
            it.alloc += Disk::allocOf(file);
        }
        break;
    case Local::link:
        if (::symlink(it.linkTarget.c_str(), path.c_str()) != 0)
            fail("Nelze vytvořit odkaz", path);
        break;
    case Local::none:
        break;
    }
}

// Times and marks that writing the children would disturb come last: folder times, the
// dataless marks of never-opened folders, then the folder that nobody may read.
void finishDisk(World& world, const std::string& home) {
    for (auto it = world.items.rbegin(); it != world.items.rend(); ++it) {
        if (it->relPath.empty())
            continue;
        const std::string path = home + "/" + it->relPath;
        Disk::setTime(path, it->server.mt);
        if (it->local == Local::neverOpened)
            tessary::FS::markDataless(path);
    }
    for (const WorldItem& it : world.items)
        if (it.local == Local::denied && !it.relPath.empty() &&
            ::chmod((home + "/" + it.relPath).c_str(), 0) != 0)
            fail("Nelze odebrat práva", home + "/" + it.relPath);
}

ordered_json itemJSON(const WorldItem& it) {
    ordered_json j;
    j["id"] = it.server.id;
    j["parent"] = it.server.parent;
    j["container"] = it.server.container;
    j["name"] = it.server.name;
    j["kind"] = kindText(it.server.kind);
    j["size"] = it.server.size;
    j["quota"] = it.server.qta;
    j["mt"] = it.server.mt;
    j["dead"] = it.server.dead;
    j["secondName"] =
        it.server.secondName.empty() ? ordered_json() : ordered_json(it.server.secondName);
    j["orphan"] = it.orphan;
    if (it.relPath.empty()) {
        j["local"] = nullptr;
    } else {
        ordered_json local;
        local["path"] = it.relPath;
        local["name"] = it.diskName;
        local["dataless"] = it.local == Local::placeholder || it.local == Local::neverOpened;
        local["alloc"] = it.alloc;
        local["isPackage"] = it.local == Local::package;
        local["neverOpened"] = it.local == Local::neverOpened;
        local["denied"] = it.local == Local::denied;
        j["local"] = local;
    }
    j["expect"] = it.expect;
    return j;
}

// The truth, streamed one item per line so that a million-item world needs no big document.
void writeTruth(const World& world, const std::string& path) {
    const std::string tmp = path + ".tmp";
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    // The dead items a scan sets aside: a dead folder takes the dead items inside it along.
    std::unordered_set<std::string> deadIds;
    std::int64_t dead = 0, orphans = 0;
    for (const WorldItem& it : world.items) {
        if (it.server.dead)
            deadIds.insert(it.server.id);
        dead += it.server.dead && !deadIds.contains(it.server.parent) ? 1 : 0;
        orphans += it.orphan ? 1 : 0;
    }
    ordered_json counts;
    counts["containers"] = world.containers.size();
    counts["items"] = world.items.size();
    counts["dead"] = dead;
    counts["orphans"] = orphans;
    counts["aliases"] = world.aliases.size();
    ordered_json containers = ordered_json::array();
    for (const WorldContainer& c : world.containers) {
        ordered_json entry;
        entry["index"] = c.index;
        entry["id"] = c.identifier;
        entry["folder"] = c.folder.empty() ? ordered_json() : ordered_json(c.folder);
        containers.push_back(entry);
    }
    out << "{\n\"seed\": " << world.seed << ",\n\"items_option\": " << world.itemsOption
        << ",\n\"home\": \"home\",\n\"now\": " << world.now
        << ",\n\"quotaFree\": " << world.quotaFree << ",\n\"counts\": " << counts.dump()
        << ",\n\"containers\": " << containers.dump() << ",\n\"items\": [\n";
    for (std::size_t i = 0; i < world.items.size(); ++i)
        out << itemJSON(world.items[i]).dump() << (i + 1 < world.items.size() ? ",\n" : "\n");
    out << "]\n}\n";
    out.flush();
    if (!out)
        throw std::runtime_error("Pravdu světa nelze zapsat: " + tmp);
    out.close();
    if (std::rename(tmp.c_str(), path.c_str()) != 0)
        fail("Pravdu světa nelze uložit", path);
}

ServerDb serverOf(const World& world) {
    ServerDb db;
    db.quotaFree = world.quotaFree;
    for (const WorldContainer& c : world.containers)
        db.containers.push_back(
            {c.index, c.identifier,
             c.folder.empty() ? std::string() : std::string(mobileDocs) + "/" + c.folder});
    db.items.reserve(world.items.size());
    for (const WorldItem& it : world.items) {
        db.items.push_back(it.server);
        db.items.back().path = it.relPath;
    }
    db.aliases = world.aliases;
    return db;
}

} // namespace

void WorldWriter::write(World& world, const std::string& out) {
    const std::string home = out + "/home";
    for (const std::string& d : {out, home, home + "/Library", home + "/" + mobileDocs,
                                 home + "/.varnelo-sim", out + "/truth", out + "/outside"})
        Disk::makeDir(d);
    Content::writeGenerated(out + "/outside/mimo.txt", 100, 1);
    for (const WorldContainer& c : world.containers)
        if (!c.folder.empty())
            Disk::makeDir(home + "/" + mobileDocs + "/" + c.folder);
    for (const std::string& stray : world.strayFolders)
        Disk::makeDir(home + "/" + mobileDocs + "/" + stray);
    layOut(world);
    for (WorldItem& it : world.items)
        if (!it.relPath.empty())
            writeItem(it, home);
    finishDisk(world, home);
    record(world, out);
}

void WorldWriter::record(const World& world, const std::string& out) {
    serverOf(world).save(ServerDb::pathIn(out + "/home"));
    writeTruth(world, out + "/truth/world.json");
}

void WorldWriter::remove(const std::string& out) {
    std::error_code ec;
    fs::permissions(out, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(
             out, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(out, ec);
    if (ec)
        throw std::runtime_error("Složku „" + out + "“ nelze odstranit: " + ec.message());
}

} // namespace sim
