#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tessary {

// The sort columns of a folder listing. Stored by its text value ("qta", "cloud", "local",
// "name").
enum class SortKey : unsigned char { qta, cloud, local, name };

inline constexpr std::array<SortKey, 4> allSortKeys{SortKey::qta, SortKey::cloud, SortKey::local,
                                                    SortKey::name};

[[nodiscard]] std::string_view toText(SortKey key);
// The key named by `text`; no value for any other text.
[[nodiscard]] std::optional<SortKey> sortKeyFromText(std::string_view text);

} // namespace tessary
