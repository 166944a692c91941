#pragma once

#include "TessaryCore/ContainerDTO.hpp"
#include "TessaryCore/ScanMode.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

// The scan as a whole, as the controller keeps it and the export writes it.
struct SummaryDTO {
    ScanMode mode = ScanMode::dump;
    std::optional<double> dumpTime; // seconds since 1970
    std::optional<std::int64_t> quotaRemaining;
    std::vector<ContainerDTO> containers; // largest quota first
    std::optional<std::string> mainRoot;  // id of the main root
    std::int64_t deadCount = 0;
    std::int64_t deadQta = 0; // sum of the dead items' own qta
    std::map<std::string, std::int64_t> stats;
    std::vector<std::string> warnings;

    friend bool operator==(const SummaryDTO&, const SummaryDTO&) = default;
};

// Members in field order; "dump_time", "quota_remaining" and "main_root" are null when absent.
void to_json(nlohmann::ordered_json& j, const SummaryDTO& s);

} // namespace tessary

template <> struct std::hash<tessary::SummaryDTO> {
    std::size_t operator()(const tessary::SummaryDTO& s) const noexcept;
};
