#include "TessaryCore/ItemKind.hpp"

namespace tessary {

std::string_view toText(ItemKind kind) {
    switch (kind) {
    case ItemKind::dir:
        return "dir";
    case ItemKind::doc:
        return "doc";
    case ItemKind::symlink:
        return "symlink";
    }
    return "doc";
}

std::optional<ItemKind> itemKindFromText(std::string_view text) {
    if (text == "dir")
        return ItemKind::dir;
    if (text == "doc")
        return ItemKind::doc;
    if (text == "symlink")
        return ItemKind::symlink;
    return std::nullopt;
}

} // namespace tessary
