#include "TessaryCore/NodeDTO.hpp"

#include "TessaryCore/Hashing.hpp"
#include "TessaryCore/Item.hpp"

#include <algorithm>
#include <ostream>

namespace tessary {

NodeDTO::NodeDTO(const Item& item)
    : id(item.id()), name(item.name()), kind(item.kind()), resolved(item.resolved),
      ambiguous(item.ambiguous), dead(item.dead), qta(item.aggQta), sz(item.aggSz),
      cloud(item.aggCloud), local(item.aggLocal), docs(item.aggDocs), unenum(item.aggUnenum),
      cloudDocs(item.aggDatalessDocs), cc(item.cc), rcc(item.rcc), mt(item.mt),
      container(item.container()) {
    if (item.isDir()) {
        enumerated = item.enumerated;
        timeout = item.timeout;
        denied = item.denied;
        dirs = std::max<std::int64_t>(item.aggDirs - 1, 0);
    } else if (item.kind() == ItemKind::doc) {
        dataless = item.resolved ? item.dataless : true;
    }
    if (auto p = item.path())
        path = std::string(*p);
}

namespace {

template <class T> nlohmann::ordered_json orNull(const std::optional<T>& v) {
    return v ? nlohmann::ordered_json(*v) : nlohmann::ordered_json(nullptr);
}

} // namespace

void to_json(nlohmann::ordered_json& j, const NodeDTO& root) {
    // Nested records are filled from an explicit stack; each child's JSON slot is made before
    // it is filled, and the array holding the slots is never resized afterwards.
    struct Job {
        const NodeDTO* node;
        nlohmann::ordered_json* out;
    };
    std::vector<Job> stack{{&root, &j}};
    while (!stack.empty()) {
        const Job job = stack.back();
        stack.pop_back();
        const NodeDTO& n = *job.node;
        nlohmann::ordered_json& o = *job.out;
        // Members go straight into the object's list: the keys are known to be distinct, and
        // the map's own insertion would search the list for each of them.
        o = nlohmann::ordered_json::object();
        auto& m = o.get_ref<nlohmann::ordered_json::object_t&>();
        m.reserve(26);
        m.emplace_back("id", n.id);
        m.emplace_back("name", n.name);
        m.emplace_back("kind", toText(n.kind));
        m.emplace_back("resolved", n.resolved);
        m.emplace_back("ambiguous", n.ambiguous);
        m.emplace_back("enumerated", orNull(n.enumerated));
        m.emplace_back("timeout", orNull(n.timeout));
        m.emplace_back("denied", orNull(n.denied));
        m.emplace_back("dead", n.dead);
        m.emplace_back("dataless", orNull(n.dataless));
        m.emplace_back("qta", n.qta);
        m.emplace_back("sz", n.sz);
        m.emplace_back("cloud", n.cloud);
        m.emplace_back("local", n.local);
        m.emplace_back("docs", n.docs);
        m.emplace_back("dirs", n.dirs);
        m.emplace_back("unenum", n.unenum);
        m.emplace_back("cloud_docs", n.cloudDocs);
        m.emplace_back("cc", n.cc);
        m.emplace_back("rcc", n.rcc);
        m.emplace_back("mt", n.mt);
        m.emplace_back("path", orNull(n.path));
        m.emplace_back("container", n.container);
        if (n.dpath)
            m.emplace_back("dpath", *n.dpath);
        if (n.parent)
            m.emplace_back("parent", *n.parent);
        if (n.children) {
            auto& list = m.emplace_back("children", nlohmann::ordered_json::array()).second;
            auto& slots = list.get_ref<nlohmann::ordered_json::array_t&>();
            slots.resize(n.children->size());
            for (std::size_t i = n.children->size(); i-- > 0;)
                stack.push_back(Job{&(*n.children)[i], &slots[i]});
        }
    }
}

std::ostream& operator<<(std::ostream& os, const NodeDTO& n) {
    return os << nlohmann::ordered_json(n).dump(-1, ' ', false,
                                                nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace tessary

std::size_t std::hash<tessary::NodeDTO>::operator()(const tessary::NodeDTO& root) const noexcept {
    using tessary::Hashing;
    using tessary::NodeDTO;
    std::size_t seed = 0;
    std::vector<const NodeDTO*> stack{&root};
    while (!stack.empty()) {
        const NodeDTO& n = *stack.back();
        stack.pop_back();
        Hashing::combine(seed, n.id);
        Hashing::combine(seed, n.name);
        Hashing::combine(seed, n.kind);
        Hashing::combine(seed, n.resolved);
        Hashing::combine(seed, n.ambiguous);
        Hashing::combine(seed, n.enumerated);
        Hashing::combine(seed, n.timeout);
        Hashing::combine(seed, n.denied);
        Hashing::combine(seed, n.dead);
        Hashing::combine(seed, n.dataless);
        for (std::int64_t v : {n.qta, n.sz, n.cloud, n.local, n.docs, n.dirs, n.unenum, n.cloudDocs,
                               n.cc, n.rcc, n.mt})
            Hashing::combine(seed, v);
        Hashing::combine(seed, n.path);
        Hashing::combine(seed, n.container);
        Hashing::combine(seed, n.dpath);
        Hashing::combine(seed, n.parent);
        // The shape of the nesting counts too, not only the records in walk order.
        Hashing::combine(seed, n.children ? n.children->size() + 1 : 0);
        if (n.children)
            for (auto it = n.children->rbegin(); it != n.children->rend(); ++it)
                stack.push_back(&*it);
    }
    return seed;
}
