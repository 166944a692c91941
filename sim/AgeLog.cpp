#include "AgeLog.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace sim {

namespace {

nlohmann::ordered_json changeJSON(const AgeChange& c) {
    nlohmann::ordered_json j;
    j["id"] = c.id;
    j["change"] = c.change;
    j["kind"] = c.kind;
    j["path"] = c.path;
    j["qtaBefore"] = c.qtaBefore;
    j["qtaAfter"] = c.qtaAfter;
    j["localBefore"] = c.localBefore;
    j["localAfter"] = c.localAfter;
    return j;
}

} // namespace

// One change a line, like the world's truth.
void AgeLog::write(const std::string& path) const {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << "{\n\"seed\": " << seed << ",\n\"days\": " << days << ",\n\"from\": " << from
            << ",\n\"to\": " << to << ",\n\"changes\": [\n";
        for (std::size_t i = 0; i < changes.size(); ++i)
            out << changeJSON(changes[i]).dump() << (i + 1 < changes.size() ? ",\n" : "\n");
        out << "]\n}\n";
        if (!out.flush())
            throw std::runtime_error("Seznam změn nelze zapsat: " + tmp);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0)
        throw std::runtime_error("Seznam změn nelze uložit: " + path);
}

} // namespace sim
