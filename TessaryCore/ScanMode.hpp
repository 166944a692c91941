#pragma once

#include <optional>
#include <string_view>

namespace tessary {

// How a tree was obtained: from the iCloud Drive database ("dump") or from the local disk
// alone ("fs").
enum class ScanMode : unsigned char { dump, fs };

[[nodiscard]] std::string_view toText(ScanMode mode);
[[nodiscard]] std::optional<ScanMode> scanModeFromText(std::string_view text);

} // namespace tessary
