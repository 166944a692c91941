#include "cli/TerminalText.hpp"

namespace tessary::cli {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

} // namespace

std::string terminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            out += replacement;
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += replacement; // U+0080 to U+009F, the C1 controls (CSI among them)
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace tessary::cli
