#pragma once

#include "TessaryCore/ScanComparison.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessary {
class ScanResult;
} // namespace tessary

namespace tessary::cli {

// `--changes [N]` and `--since DATE`: the largest changes against an earlier scan of the same
// source, as text or as JSON.
struct CliChanges {
    CliChanges() = delete;

    // How many changes `--changes` without a number lists.
    static constexpr std::int64_t defaultCount = 20;

    // The end of the day "YYYY-MM-DD" (or the minute "YYYY-MM-DD HH:MM") in local time, in
    // seconds since the epoch; none for any other text.
    [[nodiscard]] static std::optional<std::int64_t> parseSince(std::string_view text);

    // "Změny od skenu …" with one line per change; a line saying there is nothing to compare
    // with when `comparison` is null.
    [[nodiscard]] static std::string text(const ScanComparison* comparison,
                                          const ScanResult& result, std::int64_t count);
    // The same as a JSON value: null when there is nothing to compare with.
    [[nodiscard]] static nlohmann::ordered_json json(const ScanComparison* comparison,
                                                     const ScanResult& result, std::int64_t count);
};

} // namespace tessary::cli
