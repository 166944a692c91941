#pragma once

#include "TessaryCore/NodeDTO.hpp"
#include "TessaryCore/SummaryDTO.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <vector>

namespace tessary {

// The whole JSON export: the summary, the roots with their nested listings, and the largest
// dead items.
struct ExportDTO {
    SummaryDTO summary;
    std::vector<NodeDTO> roots;
    std::vector<NodeDTO> dead;

    friend bool operator==(const ExportDTO&, const ExportDTO&) = default;
};

// The document object: "summary", "roots", "dead", in that order.
void to_json(nlohmann::ordered_json& j, const ExportDTO& e);

} // namespace tessary

template <> struct std::hash<tessary::ExportDTO> {
    std::size_t operator()(const tessary::ExportDTO& e) const noexcept;
};
