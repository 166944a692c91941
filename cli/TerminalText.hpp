#pragma once

#include <string>
#include <string_view>

namespace tessary::cli {

// Text from outside (a tool's output, ids and names from a dump) made safe to print on a
// terminal: control characters, which could move the cursor or clear the screen, become
// U+FFFD. Line feeds and tabs stay.
[[nodiscard]] std::string terminalText(std::string_view text);

} // namespace tessary::cli
