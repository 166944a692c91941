#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tessary {

struct Container;

// One container with its root's totals, as the summary holds it. Identity is `index`.
struct ContainerDTO {
    ContainerDTO() = default;
    // Needs a container with a root and an aggregated tree.
    explicit ContainerDTO(const Container& container);

    std::int64_t index = 0;
    std::string root; // id of the container's root item
    std::optional<std::string> name;
    std::string display;
    bool shared = false;
    std::optional<std::string> localPath;
    std::int64_t qta = 0;
    std::int64_t cloud = 0;
    std::int64_t local = 0;
    std::int64_t docs = 0;
    std::int64_t unenum = 0;

    [[nodiscard]] std::int64_t id() const { return index; }
    friend bool operator==(const ContainerDTO&, const ContainerDTO&) = default;
};

// Members in field order; "name" and "local_path" are null when absent.
void to_json(nlohmann::ordered_json& j, const ContainerDTO& c);

} // namespace tessary

template <> struct std::hash<tessary::ContainerDTO> {
    std::size_t operator()(const tessary::ContainerDTO& c) const noexcept;
};
