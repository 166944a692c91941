#include "TessaryCore/TextCase.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tessary {

std::string TextCase::lower(std::string_view text) {
    std::string out(text);
    bool ascii = true;
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            ascii = false;
            break;
        }
        if (b >= 'A' && b <= 'Z')
            c = static_cast<char>(b + ('a' - 'A'));
    }
    if (ascii)
        return out;
    out.clear();
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    u.toLower(icu::Locale::getRoot());
    u.toUTF8String(out);
    return out;
}

} // namespace tessary
