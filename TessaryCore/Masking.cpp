#include "TessaryCore/Masking.hpp"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>

namespace tessary {

namespace {

constexpr char32_t replacementChar = 0xFFFD;

template <class C> using View = std::basic_string_view<C>;

// The masking rules below are written once and instantiated twice: over bytes for names that are
// pure ASCII (most names; no decoding, no Unicode tables, no normalisation needed) and over
// Unicode scalars for all others. An ASCII name gives the same masks either way.
struct AsciiRules {
    using Char = char;
    static bool decimal(char c, int& value) {
        if (c < '0' || c > '9')
            return false;
        value = c - '0';
        return true;
    }
    static bool combining(char) { return false; }
    static void append(View<char> s, std::string& into) { into.append(s); }
};

struct ScalarRules {
    using Char = char32_t;
    static bool decimal(char32_t c, int& value) {
        if (c >= U'0' && c <= U'9') {
            value = static_cast<int>(c - U'0');
            return true;
        }
        if (c < 0x80 || c > 0x10FFFF)
            return false;
        const auto cp = static_cast<UChar32>(c);
        if (u_getIntPropertyValue(cp, UCHAR_NUMERIC_TYPE) != U_NT_DECIMAL)
            return false;
        value = u_charDigitValue(cp);
        return value >= 0 && value <= 9;
    }
    // Every scalar below U+0300 has canonical combining class 0.
    static bool combining(char32_t c) {
        return c >= 0x300 && c <= 0x10FFFF && u_getCombiningClass(static_cast<UChar32>(c)) != 0;
    }
    static void append(View<char32_t> s, std::string& into) { Masking::appendUTF8(s, into); }
};

template <class C> struct ExtSplitOf {
    View<C> stem;
    View<C> ext;
};

template <class C> ExtSplitOf<C> splitExtOf(View<C> s) {
    const std::size_t dot = s.rfind(C('.'));
    if (dot == View<C>::npos || dot == 0)
        return {s, {}};
    // Only dots before the last one: "..." is a name, not a stem and an extension.
    if (s.find_first_not_of(C('.')) >= dot)
        return {s, {}};
    return {s.substr(0, dot), s.substr(dot)};
}

template <class R>
std::pair<View<typename R::Char>, View<typename R::Char>>
clusterEdgesOf(View<typename R::Char> stem) {
    const std::size_t n = stem.size();
    if (n == 0)
        return {};
    std::size_t firstEnd = 1;
    while (firstEnd < n && R::combining(stem[firstEnd]))
        ++firstEnd;
    std::size_t lastBegin = n - 1;
    while (lastBegin > 0 && R::combining(stem[lastBegin]))
        --lastBegin;
    return {stem.substr(0, firstEnd), stem.substr(lastBegin)};
}

// Length of the base before a duplicate counter, or npos when there is none.
template <class R> std::size_t dupBaseLength(View<typename R::Char> stem) {
    using C = typename R::Char;
    const std::size_t space = stem.rfind(C(' '));
    if (space == View<C>::npos || space == 0)
        return View<C>::npos;
    const View<C> digits = stem.substr(space + 1);
    if (digits.empty() || digits.size() > 4)
        return View<C>::npos;
    int value = 0;
    for (const C c : digits) {
        int digit = 0;
        if (!R::decimal(c, digit))
            return View<C>::npos;
        value = value * 10 + digit;
    }
    return value > 1 ? space : View<C>::npos;
}

constexpr std::size_t longestTail = 5; // ".lzma"

bool isAsciiCompoundTail(View<char> ext) {
    if (ext.size() < 2 || ext.size() > longestTail)
        return false;
    char lower[longestTail];
    for (std::size_t i = 0; i < ext.size(); ++i) {
        const char c = ext[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const View<char> l(lower, ext.size());
    return std::any_of(
        Masking::compoundTails.begin(), Masking::compoundTails.end(),
        [&](std::u32string_view tail) {
            return tail.size() == l.size() &&
                   std::equal(l.begin(), l.end(), tail.begin(),
                              [](char a, char32_t b) { return static_cast<char32_t>(a) == b; });
        });
}

bool isCompoundTailOf(View<char> ext) {
    return isAsciiCompoundTail(ext);
}

bool isCompoundTailOf(View<char32_t> ext) {
    // Full lower-casing never shortens a text, so longer extensions cannot match.
    if (ext.size() < 2 || ext.size() > longestTail)
        return false;
    if (std::all_of(ext.begin(), ext.end(), [](char32_t c) { return c < 0x80; })) {
        char ascii[longestTail];
        for (std::size_t i = 0; i < ext.size(); ++i)
            ascii[i] = static_cast<char>(ext[i]);
        return isAsciiCompoundTail(View<char>(ascii, ext.size()));
    }
    UChar src[2 * longestTail];
    int32_t srcLen = 0;
    for (const char32_t c : ext) {
        const UChar32 cp = c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)
                               ? static_cast<UChar32>(c)
                               : static_cast<UChar32>(replacementChar);
        U16_APPEND_UNSAFE(src, srcLen, cp);
    }
    UChar dest[64];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t destLen = u_strToLower(dest, 64, src, srcLen, "", &status);
    if (U_FAILURE(status) || destLen > 64)
        return false;
    for (const std::u32string_view tail : Masking::compoundTails) {
        // The tails are ASCII: one UTF-16 unit per scalar.
        if (static_cast<std::size_t>(destLen) != tail.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < tail.size() && same; ++i)
            same = static_cast<char32_t>(dest[i]) == tail[i];
        if (same)
            return true;
    }
    return false;
}

// Appends the mask of `name` to `into`. The stem is always a prefix of `name`, so whatever
// follows it (duplicate counter, compound or plain extension) is copied as one piece.
template <class R>
void maskInto(View<typename R::Char> name, bool splitDup, bool clusters, bool compound,
              std::string& into) {
    using C = typename R::Char;
    auto [stem, ext] = splitExtOf<C>(name);
    if (compound && isCompoundTailOf(ext)) {
        const auto inner = splitExtOf<C>(stem);
        if (!inner.stem.empty() && !inner.ext.empty())
            stem = inner.stem;
    }
    if (splitDup) {
        if (const std::size_t base = dupBaseLength<R>(stem); base != View<C>::npos)
            stem = stem.substr(0, base);
    }
    const std::size_t n = stem.size();
    if (n <= 2) {
        R::append(name, into);
        return;
    }
    View<C> first = stem.substr(0, 1);
    View<C> last = stem.substr(n - 1);
    if (clusters) {
        std::tie(first, last) = clusterEdgesOf<R>(stem);
        if (first.size() + last.size() >= n) {
            R::append(name, into);
            return;
        }
    }
    const std::size_t hidden = n - first.size() - last.size();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, hidden).ptr;
    R::append(first, into);
    into += '{';
    into.append(digits, end);
    into += '}';
    R::append(last, into);
    R::append(name.substr(n), into);
}

void addDistinct(std::vector<std::string>& set, std::string&& mask) {
    if (std::find(set.begin(), set.end(), mask) == set.end())
        set.push_back(std::move(mask));
}

// The six masks of one form (four when the extension is not compound). Over ASCII the cluster
// rule changes nothing (no combining marks), so it is skipped there.
template <class R> void variantsOfForm(View<typename R::Char> form, std::vector<std::string>& set) {
    const bool compound = isCompoundTailOf(splitExtOf<typename R::Char>(form).ext);
    const bool clusterRuleMatters = std::is_same_v<typename R::Char, char32_t>;
    for (const bool splitDup : {true, false}) {
        for (const bool clusters : {true, false}) {
            if (!clusters && !clusterRuleMatters)
                continue;
            std::string mask;
            maskInto<R>(form, splitDup, clusters, false, mask);
            addDistinct(set, std::move(mask));
        }
        if (compound) {
            std::string mask;
            maskInto<R>(form, splitDup, true, true, mask);
            addDistinct(set, std::move(mask));
        }
    }
}

bool isAscii(std::string_view s) {
    const char* p = s.data();
    std::size_t n = s.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) & 0x80)
            return false;
    return true;
}

// Decodes `bytes` into `out`, replacing each maximal ill-formed subsequence (the longest prefix
// of a well-formed sequence that cannot be completed, or one stray byte) with one U+FFFD, the
// Unicode recommended practice. Returns whether the input was well-formed.
bool decodeInto(std::string_view bytes, std::u32string& out) {
    out.clear();
    out.reserve(bytes.size());
    bool valid = true;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<char32_t>(b);
            ++i;
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            out += replacementChar;
            valid = false;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 0; k < need; ++k, ++j) {
            const unsigned char lower = k == 0 ? lo : 0x80;
            const unsigned char upper = k == 0 ? hi : 0xBF;
            if (j >= n || p[j] < lower || p[j] > upper) {
                complete = false;
                break;
            }
            cp = (cp << 6) | (p[j] & 0x3F);
        }
        if (complete) {
            out += cp;
        } else {
            out += replacementChar;
            valid = false;
        }
        i = j;
    }
    return valid;
}

const icu::Normalizer2* normalizer(bool compose) {
    static const icu::Normalizer2* const nfc = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    static const icu::Normalizer2* const nfd = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFDInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return compose ? nfc : nfd;
}

// The normal form of well-formed UTF-8 `text`, or none when `text` already is in that form (or
// ICU cannot say, in which case the form is left out rather than guessed).
std::optional<std::string> normalForm(const std::string& text, bool compose) {
    const icu::Normalizer2* n = normalizer(compose);
    if (n == nullptr)
        return std::nullopt;
    const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
    UErrorCode status = U_ZERO_ERROR;
    if (n->isNormalizedUTF8(piece, status) || U_FAILURE(status))
        return std::nullopt;
    std::string out;
    icu::StringByteSink<std::string> sink(&out, static_cast<int32_t>(text.size()));
    status = U_ZERO_ERROR;
    n->normalizeUTF8(0, piece, sink, nullptr, status);
    if (U_FAILURE(status))
        return std::nullopt;
    return out;
}

} // namespace

Masking::ExtSplit Masking::splitExt(std::u32string_view s) {
    const auto split = splitExtOf<char32_t>(s);
    return {split.stem, split.ext};
}

Masking::Edges Masking::clusterEdges(std::u32string_view stem) {
    const auto [first, last] = clusterEdgesOf<ScalarRules>(stem);
    return {first, last};
}

std::optional<Masking::DupSplit> Masking::splitDupSuffix(std::u32string_view stem) {
    const std::size_t base = dupBaseLength<ScalarRules>(stem);
    if (base == std::u32string_view::npos)
        return std::nullopt;
    return DupSplit{stem.substr(0, base), stem.substr(base)};
}

bool Masking::isCompoundTail(std::u32string_view ext) {
    return isCompoundTailOf(ext);
}

std::string Masking::maskName(std::string_view name, bool splitDup, bool clusters, bool compound) {
    std::string mask;
    if (isAscii(name)) {
        mask.reserve(name.size());
        maskInto<AsciiRules>(name, splitDup, clusters, compound, mask);
        return mask;
    }
    std::u32string s;
    decodeInto(name, s);
    maskInto<ScalarRules>(s, splitDup, clusters, compound, mask);
    return mask;
}

std::string Masking::primaryMask(std::string_view name) {
    return maskName(name, true, true, false);
}

std::vector<std::string> Masking::maskVariants(std::string_view name) {
    std::vector<std::string> set;
    if (isAscii(name)) {
        // ASCII is its own NFC and NFD: one form.
        set.reserve(4);
        variantsOfForm<AsciiRules>(name, set);
        return set;
    }
    std::u32string s;
    const bool valid = decodeInto(name, s);
    const std::string given = valid ? std::string(name) : utf8(s);
    variantsOfForm<ScalarRules>(s, set);

    const std::optional<std::string> nfc = normalForm(given, true);
    if (nfc) {
        decodeInto(*nfc, s);
        variantsOfForm<ScalarRules>(s, set);
    }
    std::optional<std::string> nfd = normalForm(given, false);
    if (nfd && nfd != nfc) {
        decodeInto(*nfd, s);
        variantsOfForm<ScalarRules>(s, set);
    }
    return set;
}

std::u32string Masking::scalars(std::string_view utf8) {
    std::u32string out;
    decodeInto(utf8, out);
    return out;
}

void Masking::appendUTF8(std::u32string_view s, std::string& into) {
    for (char32_t c : s) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = replacementChar;
        if (c < 0x80) {
            into += static_cast<char>(c);
        } else if (c < 0x800) {
            into += static_cast<char>(0xC0 | (c >> 6));
            into += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            into += static_cast<char>(0xE0 | (c >> 12));
            into += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            into += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            into += static_cast<char>(0xF0 | (c >> 18));
            into += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            into += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            into += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

std::string Masking::utf8(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    appendUTF8(s, out);
    return out;
}

} // namespace tessary
