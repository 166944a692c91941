#pragma once

#include <string>
#include <string_view>

namespace tessary {

// Case mapping of UTF-8 text.
struct TextCase {
    TextCase() = delete;

    // Full Unicode lower-casing without a language tailoring ("Ä" gives "ä", the Kelvin sign
    // gives "k"). ASCII text is mapped without leaving the byte loop. Invalid bytes become
    // U+FFFD.
    [[nodiscard]] static std::string lower(std::string_view text);
};

} // namespace tessary
