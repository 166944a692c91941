#include "TessaryCore/SummaryDTO.hpp"

#include "TessaryCore/Hashing.hpp"

namespace tessary {

void to_json(nlohmann::ordered_json& j, const SummaryDTO& s) {
    using json = nlohmann::ordered_json;
    j = json::object();
    j["mode"] = toText(s.mode);
    j["dump_time"] = s.dumpTime ? json(*s.dumpTime) : json(nullptr);
    j["quota_remaining"] = s.quotaRemaining ? json(*s.quotaRemaining) : json(nullptr);
    j["containers"] = s.containers;
    j["main_root"] = s.mainRoot ? json(*s.mainRoot) : json(nullptr);
    j["dead_count"] = s.deadCount;
    j["dead_qta"] = s.deadQta;
    auto& stats = j["stats"] = json::object();
    for (const auto& [key, value] : s.stats)
        stats[key] = value;
    j["warnings"] = s.warnings;
}

} // namespace tessary

std::size_t
std::hash<tessary::SummaryDTO>::operator()(const tessary::SummaryDTO& s) const noexcept {
    using tessary::Hashing;
    std::size_t seed = 0;
    Hashing::combine(seed, s.mode);
    Hashing::combine(seed, s.dumpTime);
    Hashing::combine(seed, s.quotaRemaining);
    Hashing::combine(seed, s.containers);
    Hashing::combine(seed, s.mainRoot);
    Hashing::combine(seed, s.deadCount);
    Hashing::combine(seed, s.deadQta);
    Hashing::combine(seed, s.stats);
    Hashing::combine(seed, s.warnings);
    return seed;
}
