#include "Expectations.hpp"

#include <string>
#include <unordered_map>

namespace sim {

namespace {

std::string expectOf(const World& world, const WorldItem& it, const WorldItem* parent) {
    const WorldContainer& c = world.containers[static_cast<std::size_t>(it.server.container - 1)];
    if (c.folder.empty())
        return "unmapped";
    // A scan sets a dead item aside with everything below it, so a dead item inside a dead
    // folder is not set aside on its own: it goes with the folder, as its live siblings do.
    if (it.server.dead && !(parent && parent->server.dead))
        return "dead";
    if (it.orphan)
        return "orphan";
    if (parent && parent->expect != "resolved" && parent->expect != "ambiguous")
        return parent->expect == "dead" ? "serverOnly" : parent->expect;
    if (parent && parent->local == Local::neverOpened)
        return "unlisted";
    if (parent && parent->local == Local::denied)
        return "denied";
    if (it.local == Local::none)
        return "serverOnly";
    return it.ambiguous ? "ambiguous" : "resolved";
}

} // namespace

// Items come parents first, so a parent's conclusion is known when its children come.
void Expectations::assign(World& world) {
    std::unordered_map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < world.items.size(); ++i)
        byId[world.items[i].server.id] = i;
    for (WorldItem& it : world.items) {
        const auto p = byId.find(it.server.parent);
        it.expect = expectOf(world, it, p == byId.end() ? nullptr : &world.items[p->second]);
    }
}

} // namespace sim
