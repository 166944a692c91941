#include "TessaryCore/ExportDTO.hpp"

#include "TessaryCore/Hashing.hpp"

namespace tessary {

void to_json(nlohmann::ordered_json& j, const ExportDTO& e) {
    using json = nlohmann::ordered_json;
    j = json::object();
    j["summary"] = e.summary;
    j["roots"] = e.roots;
    j["dead"] = e.dead;
}

} // namespace tessary

std::size_t std::hash<tessary::ExportDTO>::operator()(const tessary::ExportDTO& e) const noexcept {
    using tessary::Hashing;
    std::size_t seed = 0;
    Hashing::combine(seed, e.summary);
    Hashing::combine(seed, e.roots);
    Hashing::combine(seed, e.dead);
    return seed;
}
