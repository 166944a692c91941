#include "WorldEditor.hpp"

#include "Content.hpp"
#include "Disk.hpp"
#include "Evictor.hpp"
#include "ServerDb.hpp"

#include "TessaryCore/Masking.hpp"

#include <algorithm>
#include <stdexcept>

namespace sim {

namespace {

constexpr std::size_t none = static_cast<std::size_t>(-1);

// What Evictor needs to know of one document: the server's item at its local path.
ServerDb serverWith(const WorldItem& it) {
    ServerDb db;
    db.items.push_back(it.server);
    db.items.back().path = it.relPath;
    return db;
}

void check(const Evictor::Outcome& outcome) {
    if (outcome.status != 0)
        throw std::runtime_error(outcome.message);
}

} // namespace

WorldEditor::WorldEditor(World& world, std::string home) : m_world(world), m_home(std::move(home)) {
    for (std::size_t i = 0; i < world.items.size(); ++i) {
        m_byId.emplace(world.items[i].server.id, i);
        m_children[world.items[i].server.parent].push_back(i);
    }
}

WorldEditor::Charge WorldEditor::chargeOf(std::size_t item) const {
    Charge charge;
    // With each item: whether its quota still counts. A folder the server charges itself
    // stands for its children's charges, as a scan takes it.
    std::vector<std::pair<std::size_t, bool>> stack{{item, true}};
    while (!stack.empty()) {
        const auto [i, counts] = stack.back();
        stack.pop_back();
        const WorldItem& it = m_world.items[i];
        if (it.server.dead)
            continue;
        charge.local += it.alloc;
        const bool own = it.server.kind != Kind::dir || it.server.qta != 0;
        if (counts && own)
            charge.qta += it.server.qta != 0 ? it.server.qta : it.server.size;
        if (const auto c = m_children.find(it.server.id); c != m_children.end())
            for (const std::size_t child : c->second)
                stack.emplace_back(child, counts && !own);
    }
    return charge;
}

std::vector<std::size_t> WorldEditor::subtree(std::size_t item) const {
    std::vector<std::size_t> out;
    std::vector<std::size_t> stack{item};
    while (!stack.empty()) {
        const std::size_t i = stack.back();
        stack.pop_back();
        out.push_back(i);
        if (const auto c = m_children.find(m_world.items[i].server.id); c != m_children.end())
            stack.insert(stack.end(), c->second.rbegin(), c->second.rend());
    }
    return out;
}

std::size_t WorldEditor::parentOf(std::size_t item) const {
    const auto p = m_byId.find(m_world.items[item].server.parent);
    return p == m_byId.end() ? none : p->second;
}

bool WorldEditor::nameFree(std::size_t folder, const std::string& name) const {
    const auto c = m_children.find(m_world.items[folder].server.id);
    if (c == m_children.end())
        return true;
    const std::vector<std::string> wanted = tessary::Masking::maskVariants(name);
    for (const std::size_t child : c->second) {
        const WorldItem& it = m_world.items[child];
        for (const std::string* taken : {&it.server.name, &it.diskName, &it.server.secondName})
            for (const std::string& mask : tessary::Masking::maskVariants(*taken))
                if (!taken->empty() &&
                    std::find(wanted.begin(), wanted.end(), mask) != wanted.end())
                    return false;
    }
    return true;
}

std::string WorldEditor::pathOf(std::size_t item) const {
    return m_home + "/" + m_world.items[item].relPath;
}

std::size_t WorldEditor::append(std::size_t parent, const std::string& id, const std::string& name,
                                Kind kind, std::int64_t size, std::int64_t mt) {
    WorldItem& folder = m_world.items[parent];
    WorldItem it;
    it.server.id = id;
    it.server.parent = folder.server.id;
    it.server.container = folder.server.container;
    it.server.kind = kind;
    it.server.size = it.server.qta = size;
    it.server.mt = mt;
    it.server.name = name;
    it.diskName = name;
    it.relPath = folder.relPath + "/" + name;
    ++folder.server.cc;
    m_world.quotaFree -= size;
    m_touched.insert(parent);
    const std::size_t index = m_world.items.size();
    m_byId.emplace(id, index);
    m_children[folder.server.id].push_back(index);
    m_world.items.push_back(std::move(it)); // `folder` is not used past this point
    return index;
}

std::size_t WorldEditor::addFolder(std::size_t parent, const std::string& id,
                                   const std::string& name, std::int64_t mt) {
    const std::size_t i = append(parent, id, name, Kind::dir, 0, mt);
    m_world.items[i].local = Local::folder;
    Disk::makeDir(pathOf(i));
    m_touched.insert(i); // its time is set once its entries are in
    return i;
}

std::size_t WorldEditor::addDocument(std::size_t parent, const std::string& id,
                                     const std::string& name, std::int64_t size, Local local,
                                     std::int64_t mt) {
    const std::size_t i = append(parent, id, name, Kind::doc, size, mt);
    m_world.items[i].local = local;
    writeDocument(i);
    return i;
}

void WorldEditor::writeDocument(std::size_t doc) {
    WorldItem& it = m_world.items[doc];
    const std::string path = pathOf(doc);
    if (it.local == Local::downloaded)
        Content::writeGenerated(path, it.server.size, Content::seedOf(it.server.id));
    else
        Disk::writePlaceholder(path, it.server.size);
    Disk::setTime(path, it.server.mt);
    it.alloc = Disk::allocOf(path);
}

void WorldEditor::resize(std::size_t doc, std::int64_t size, std::int64_t mt) {
    WorldItem& it = m_world.items[doc];
    // The server charges the document as it did before: its size, or its size rounded up to
    // whole blocks with two to spare.
    const std::int64_t qta = it.server.qta == it.server.size ? size : (size / 4096 + 2) * 4096;
    m_world.quotaFree -= qta - it.server.qta;
    it.server.size = size;
    it.server.qta = qta;
    it.server.mt = mt;
    // A copy the server kept of former bytes is outdated; its bytes are the generated ones.
    Content::forget(m_home, it.server.id);
    writeDocument(doc);
}

// The server keeps charging what it deleted until it purges it, so the free quota stays.
void WorldEditor::remove(std::size_t item) {
    const std::string path = pathOf(item);
    for (const std::size_t i : subtree(item)) {
        WorldItem& it = m_world.items[i];
        it.server.dead = true;
        it.local = Local::none;
        it.relPath.clear();
        it.alloc = 0;
    }
    Disk::removeAll(path);
    if (const std::size_t parent = parentOf(item); parent != none)
        m_touched.insert(parent);
}

void WorldEditor::move(std::size_t folder, std::size_t parent) {
    const std::size_t from = parentOf(folder);
    WorldItem& it = m_world.items[folder];
    const std::string oldPath = it.relPath;
    const std::string newPath = m_world.items[parent].relPath + "/" + it.diskName;
    Disk::rename(m_home + "/" + oldPath, m_home + "/" + newPath);
    std::erase(m_children[it.server.parent], folder);
    it.server.parent = m_world.items[parent].server.id;
    m_children[it.server.parent].push_back(folder);
    for (const std::size_t i : subtree(folder))
        if (!m_world.items[i].relPath.empty())
            m_world.items[i].relPath = newPath + m_world.items[i].relPath.substr(oldPath.size());
    if (from != none) {
        --m_world.items[from].server.cc;
        m_touched.insert(from);
    }
    ++m_world.items[parent].server.cc;
    m_touched.insert(parent);
}

void WorldEditor::download(std::size_t doc) {
    WorldItem& it = m_world.items[doc];
    check(Evictor::download(serverWith(it), m_home, pathOf(doc)));
    it.local = Local::downloaded;
    it.alloc = Disk::allocOf(pathOf(doc));
}

void WorldEditor::evict(std::size_t doc) {
    WorldItem& it = m_world.items[doc];
    check(Evictor::evict(serverWith(it), m_home, pathOf(doc)));
    it.local = Local::placeholder;
    it.alloc = Disk::allocOf(pathOf(doc));
}

void WorldEditor::settleFolderTimes() {
    for (const std::size_t i : m_touched) {
        const WorldItem& it = m_world.items[i];
        if (!it.server.dead && it.local == Local::folder && !it.relPath.empty())
            Disk::setTime(pathOf(i), it.server.mt);
    }
}

} // namespace sim
