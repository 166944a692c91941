#include "TessaryCore/SortKey.hpp"

namespace tessary {

std::string_view toText(SortKey key) {
    switch (key) {
    case SortKey::qta:
        return "qta";
    case SortKey::cloud:
        return "cloud";
    case SortKey::local:
        return "local";
    case SortKey::name:
        return "name";
    }
    return "qta";
}

std::optional<SortKey> sortKeyFromText(std::string_view text) {
    for (SortKey key : allSortKeys)
        if (toText(key) == text)
            return key;
    return std::nullopt;
}

} // namespace tessary
