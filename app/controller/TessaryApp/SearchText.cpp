#include "TessaryApp/SearchText.hpp"

#include "TessaryCore/TextCase.hpp"

#include <QTextBoundaryFinder>

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace tessary {

namespace {

bool isASCII(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string nfc(std::string_view s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return std::string(s);
    const icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    const icu::UnicodeString composed = normalizer->normalize(text, status);
    if (U_FAILURE(status))
        return std::string(s);
    std::string out;
    composed.toUTF8String(out);
    return out;
}

} // namespace

std::string SearchText::key(std::string_view name) {
    if (isASCII(name))
        return TextCase::lower(name);
    return TextCase::lower(nfc(name));
}

std::string SearchText::needle(const QString& typed) {
    const QByteArray utf8 = typed.trimmed().toUtf8();
    return key(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

std::size_t SearchText::visibleLength(std::string_view text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    std::size_t count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace tessary
