#pragma once

#include <optional>
#include <string_view>

namespace tessary {

// What an item is. Stored and exported by its text value ("dir", "doc", "symlink").
enum class ItemKind : unsigned char { dir, doc, symlink };

[[nodiscard]] std::string_view toText(ItemKind kind);
// The kind named by `text`; no value for any other text.
[[nodiscard]] std::optional<ItemKind> itemKindFromText(std::string_view text);

} // namespace tessary
