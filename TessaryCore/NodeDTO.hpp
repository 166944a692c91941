#pragma once

#include "TessaryCore/ItemKind.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

class Item;

// One item as the views show it and the JSON export writes it: a value copied out of an
// aggregated Item, so it stays valid after the tree changes. Identity in lists is `id`.
// Fields are in the order the export writes them.
struct NodeDTO {
    NodeDTO() = default;
    // The item's identity, flags and aggregates; `dpath`, `parent` and `children` stay absent.
    explicit NodeDTO(const Item& item);

    std::string id;
    std::string name;
    ItemKind kind = ItemKind::doc;
    bool resolved = false;
    bool ambiguous = false;
    std::optional<bool> enumerated; // folders only
    std::optional<bool> timeout;    // folders only
    std::optional<bool> denied;     // folders only
    bool dead = false;
    // Documents only: true when not resolved (the local state is unknown).
    std::optional<bool> dataless;
    std::int64_t qta = 0;
    std::int64_t sz = 0;
    std::int64_t cloud = 0;
    std::int64_t local = 0;
    std::int64_t docs = 0;
    std::int64_t dirs = 0; // folders: subfolders below, the folder itself not counted
    std::int64_t unenum = 0;
    std::int64_t cloudDocs = 0;
    std::int64_t cc = 0;
    std::int64_t rcc = 0;
    std::int64_t mt = 0;
    std::optional<std::string> path;
    std::int64_t container = 0;
    std::optional<std::string> dpath;
    std::optional<std::string> parent;
    std::optional<std::vector<NodeDTO>> children;

    [[nodiscard]] bool isDir() const { return kind == ItemKind::dir; }
    // A folder whose contents are not known locally, or a document or link that is cloud-only.
    [[nodiscard]] bool isCloudOnly() const {
        return isDir() ? enumerated.has_value() && !*enumerated : dataless.has_value() && *dataless;
    }

    friend bool operator==(const NodeDTO&, const NodeDTO&) = default;
};

// The JSON object of the export: members in field order; "enumerated", "timeout", "denied",
// "dataless" and "path" written as null when absent, "dpath", "parent" and "children" left out.
void to_json(nlohmann::ordered_json& j, const NodeDTO& n);
// Prints the record's JSON text (for test failure messages).
std::ostream& operator<<(std::ostream& os, const NodeDTO& n);

} // namespace tessary

template <> struct std::hash<tessary::NodeDTO> {
    std::size_t operator()(const tessary::NodeDTO& n) const noexcept;
};
