#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

namespace tessary {

// The form names and search texts are compared in: canonical precomposed (NFC), then fully
// lower-cased, so "Koleda", "KOLEDA" and a decomposed "kolęda" meet their typed forms.
struct SearchText {
    SearchText() = delete;

    // The comparable form of a UTF-8 name; ASCII names take a fast path.
    [[nodiscard]] static std::string key(std::string_view name);
    // The comparable form of a typed search text, trimmed of white space and line breaks.
    [[nodiscard]] static std::string needle(const QString& typed);
    // Characters as a user sees them (grapheme clusters) in a UTF-8 text.
    [[nodiscard]] static std::size_t visibleLength(std::string_view text);
};

} // namespace tessary
