#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessary {

// The short texts the windows show for counts, sizes, shares, durations and times, in the
// system's locale (read on every call, so later changes of the locale are followed; Czech where
// the system chose none), and counted
// nouns declined by the count ("1 soubor", "3 soubory", "5 souborů"). Numbers, percentages and
// dates go through ICU's formatters, the CLDR data the Mac's own formatters use.
struct Fmt {
    Fmt() = delete;

    // The two-letter language the nouns are chosen for: "cs", the one language the
    // application is localised for, unless a test chose another.
    [[nodiscard]] static QString language();
    // A text of the core (a name, a path, a message; UTF-8) as the windows show it; bytes that
    // are not UTF-8 (a local name may hold any) show as U+FFFD.
    [[nodiscard]] static QString text(std::string_view utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
    // `n` with the locale's digit grouping.
    [[nodiscard]] static QString integer(std::int64_t n);
    // The count and the form of the noun `word` that fits it: "files", "folders", "items",
    // "itemsAccusative" (the items as the object of a sentence) or "unopened" (folders never
    // opened, the noun left out).
    [[nodiscard]] static QString plural(std::int64_t n, std::string_view word);
    // A size with one decimal unit (B, kB, MB, GB, TB, PB); "–" when absent.
    [[nodiscard]] static QString size(std::optional<std::int64_t> bytes);
    // `part` of `total` as a percentage; "–" when `total` < 1, "< 0,1 %" for tiny shares.
    [[nodiscard]] static QString percent(std::int64_t part, std::int64_t total);
    // "59 s" or "2 min 05 s".
    [[nodiscard]] static QString duration(double seconds);
    // Medium date and short time of a moment in seconds since 1970; "–" when absent.
    [[nodiscard]] static QString time(std::optional<double> secondsSince1970);
    // The day alone ("1. 12. 2026" in Czech).
    [[nodiscard]] static QString date(double secondsSince1970);
    // A change of a size with its sign: "+2,3 GB", "−120 MB" (a true minus sign), "0 B".
    [[nodiscard]] static QString signedSize(std::int64_t delta);

    // The placeholder of a missing value.
    static constexpr std::u16string_view missing = u"\u2013";

    // The locale numbers and dates follow: the system's, or Czech (the window's language) when
    // the system names none (C or POSIX).
    [[nodiscard]] static QLocale systemLocale();

    // Test seam: formats with `locale` and chooses nouns for `language` instead of the
    // system's; none restores the system's.
    static void setOverride(std::optional<QLocale> locale, std::optional<QString> language);
};

} // namespace tessary
