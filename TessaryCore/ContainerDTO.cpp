#include "TessaryCore/ContainerDTO.hpp"

#include "TessaryCore/Container.hpp"
#include "TessaryCore/Hashing.hpp"
#include "TessaryCore/Item.hpp"

namespace tessary {

ContainerDTO::ContainerDTO(const Container& container)
    : index(container.index), name(container.name), display(container.display),
      shared(container.shared), localPath(container.localPath) {
    if (const Item* r = container.root) {
        root = std::string(r->id());
        qta = r->aggQta;
        cloud = r->aggCloud;
        local = r->aggLocal;
        docs = r->aggDocs;
        unenum = r->aggUnenum;
    }
}

void to_json(nlohmann::ordered_json& j, const ContainerDTO& c) {
    using json = nlohmann::ordered_json;
    j = json::object();
    j["index"] = c.index;
    j["root"] = c.root;
    j["name"] = c.name ? json(*c.name) : json(nullptr);
    j["display"] = c.display;
    j["shared"] = c.shared;
    j["local_path"] = c.localPath ? json(*c.localPath) : json(nullptr);
    j["qta"] = c.qta;
    j["cloud"] = c.cloud;
    j["local"] = c.local;
    j["docs"] = c.docs;
    j["unenum"] = c.unenum;
}

} // namespace tessary

std::size_t
std::hash<tessary::ContainerDTO>::operator()(const tessary::ContainerDTO& c) const noexcept {
    using tessary::Hashing;
    std::size_t seed = 0;
    Hashing::combine(seed, c.index);
    Hashing::combine(seed, c.root);
    Hashing::combine(seed, c.name);
    Hashing::combine(seed, c.display);
    Hashing::combine(seed, c.shared);
    Hashing::combine(seed, c.localPath);
    for (std::int64_t v : {c.qta, c.cloud, c.local, c.docs, c.unenum})
        Hashing::combine(seed, v);
    return seed;
}
