#pragma once

#include "TessaryCore/ItemKind.hpp"

#include <cstddef>
#include <string>

namespace tessary {

// The key a local entry is filed under in a listed folder: one of the masks its name may be
// printed as, and the kind it may stand for.
struct LocalKey {
    std::string mask;
    ItemKind kind = ItemKind::doc;

    friend bool operator==(const LocalKey&, const LocalKey&) = default;

    struct Hash {
        [[nodiscard]] std::size_t operator()(const LocalKey& k) const;
    };
};

} // namespace tessary
