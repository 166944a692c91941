#include "TessaryApp/Fmt.hpp"

#include <fmt/format.h>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace tessary {

namespace {

// The forms of one noun: for one, for a few (Czech and Slovak 2 to 4) and for many.
struct Forms {
    const char* one;
    const char* few;
    const char* many;
};

using NounTable = std::map<std::string, std::map<std::string, Forms, std::less<>>, std::less<>>;

// Built on first use; a function-local static is initialised once even when several threads
// ask for it at the same time.
const NounTable& words() {
    static const NounTable table = {
        {"files",
         {{"cs", {"soubor", "soubory", "souborů"}},
          {"sk", {"súbor", "súbory", "súborov"}},
          {"en", {"file", "files", "files"}},
          {"de", {"Datei", "Dateien", "Dateien"}},
          {"fr", {"fichier", "fichiers", "fichiers"}},
          {"es", {"archivo", "archivos", "archivos"}},
          {"it", {"file", "file", "file"}},
          {"ja", {"個のファイル", "個のファイル", "個のファイル"}}}},
        {"folders",
         {{"cs", {"složka", "složky", "složek"}},
          {"sk", {"priečinok", "priečinky", "priečinkov"}},
          {"en", {"folder", "folders", "folders"}},
          {"de", {"Ordner", "Ordner", "Ordner"}},
          {"fr", {"dossier", "dossiers", "dossiers"}},
          {"es", {"carpeta", "carpetas", "carpetas"}},
          {"it", {"cartella", "cartelle", "cartelle"}},
          {"ja", {"個のフォルダ", "個のフォルダ", "個のフォルダ"}}}},
        {"items",
         {{"cs", {"položka", "položky", "položek"}},
          {"sk", {"položka", "položky", "položiek"}},
          {"en", {"item", "items", "items"}},
          {"de", {"Objekt", "Objekte", "Objekte"}},
          {"fr", {"élément", "éléments", "éléments"}},
          {"es", {"elemento", "elementos", "elementos"}},
          {"it", {"elemento", "elementi", "elementi"}},
          {"ja", {"項目", "項目", "項目"}}}},
        // "items" as the object of a sentence ("1 položku se nepodařilo přesunout").
        {"itemsAccusative",
         {{"cs", {"položku", "položky", "položek"}},
          {"sk", {"položku", "položky", "položiek"}},
          {"en", {"item", "items", "items"}},
          {"de", {"Objekt", "Objekte", "Objekte"}},
          {"fr", {"élément", "éléments", "éléments"}},
          {"es", {"elemento", "elementos", "elementos"}},
          {"it", {"elemento", "elementi", "elementi"}},
          {"ja", {"項目", "項目", "項目"}}}},
        // Folders never opened on this computer, the noun left out ("☁ 1 neotevřená").
        {"unopened",
         {{"cs", {"neotevřená", "neotevřené", "neotevřených"}},
          {"sk", {"neotvorený", "neotvorené", "neotvorených"}},
          {"en", {"unopened", "unopened", "unopened"}},
          {"de", {"ungeöffnet", "ungeöffnet", "ungeöffnet"}},
          {"fr", {"non ouvert", "non ouverts", "non ouverts"}},
          {"es", {"sin abrir", "sin abrir", "sin abrir"}},
          {"it", {"non aperta", "non aperte", "non aperte"}},
          {"ja", {"個の未読", "個の未読", "個の未読"}}}},
    };
    return table;
}

const char* chooseForm(const Forms& forms, std::int64_t n, const QString& language) {
    if (language == u"cs" || language == u"sk") {
        if (n == 1)
            return forms.one;
        return n >= 2 && n <= 4 ? forms.few : forms.many;
    }
    if (language == u"fr")
        return n < 2 ? forms.one : forms.many;
    return n == 1 ? forms.one : forms.many;
}

// The test override; read and written under the lock so a test can switch it while another
// thread formats.
struct Override {
    std::mutex lock;
    std::optional<QLocale> locale;
    std::optional<QString> language;
};

Override& overrideState() {
    static Override state;
    return state;
}

QLocale currentLocale() {
    Override& state = overrideState();
    std::lock_guard guard(state.lock);
    return state.locale ? *state.locale : Fmt::systemLocale();
}

// ICU knows the locale by the same "language_TERRITORY" name; Qt's "C" locale is ICU's POSIX
// variant of English.
icu::Locale icuLocale() {
    const QLocale locale = currentLocale();
    if (locale.language() == QLocale::C)
        return icu::Locale("en_US_POSIX");
    return icu::Locale(locale.name().toStdString().c_str());
}

QString toQString(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString missingText() {
    return QString::fromUtf16(Fmt::missing.data(), static_cast<qsizetype>(Fmt::missing.size()));
}

std::unique_ptr<icu::NumberFormat> decimalFormatter() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> formatter(
        icu::NumberFormat::createInstance(icuLocale(), status));
    return U_SUCCESS(status) ? std::move(formatter) : nullptr;
}

std::unique_ptr<icu::NumberFormat> percentFormatter() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> formatter(
        icu::NumberFormat::createPercentInstance(icuLocale(), status));
    return U_SUCCESS(status) ? std::move(formatter) : nullptr;
}

// `value` with exactly `digits` fraction digits; empty when ICU has no formatter. ICU rounds
// the shortest decimal form of the double half to even (1.015 gives 1.02), as the Mac does.
QString formatFixed(icu::NumberFormat* formatter, double value, int digits) {
    if (!formatter)
        return {};
    formatter->setMinimumFractionDigits(digits);
    formatter->setMaximumFractionDigits(digits);
    icu::UnicodeString text;
    formatter->format(value, text);
    return toQString(text);
}

constexpr std::array<const char*, 6> units = {"B", "kB", "MB", "GB", "TB", "PB"};

} // namespace

QLocale Fmt::systemLocale() {
    const QLocale system = QLocale::system();
    // C or POSIX: nobody chose a locale, and the window's own language is the fitting one.
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Czech, QLocale::Czechia);
    return system;
}

QString Fmt::language() {
    Override& state = overrideState();
    std::lock_guard guard(state.lock);
    return state.language.value_or(QStringLiteral("cs"));
}

QString Fmt::integer(std::int64_t n) {
    if (std::unique_ptr<icu::NumberFormat> formatter = decimalFormatter()) {
        icu::UnicodeString text;
        formatter->format(static_cast<int64_t>(n), text);
        if (!text.isEmpty())
            return toQString(text);
    }
    return QString::number(n);
}

QString Fmt::plural(std::int64_t n, std::string_view word) {
    const QString lang = language();
    const QString count = integer(n);
    const NounTable& table = words();
    const auto forms = table.find(word);
    if (forms == table.end()) // not one of the known nouns: the key itself, never a crash
        return count + u' ' + QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
    auto entry = forms->second.find(lang.toStdString());
    if (entry == forms->second.end())
        entry = forms->second.find("en");
    const QString form = QString::fromUtf8(chooseForm(entry->second, n, lang));
    return lang == u"ja" ? count + form : count + u' ' + form;
}

QString Fmt::size(std::optional<std::int64_t> bytes) {
    if (!bytes)
        return missingText();
    double value = static_cast<double>(*bytes);
    std::size_t unit = 0;
    if (*bytes >= 1000) {
        value /= 1000.0;
        unit = 1;
        // 999.95 and above would round to "1000.0" with one fraction digit: the next unit
        // shows it as "1.00" instead.
        while (value >= 999.95 && unit < units.size() - 1) {
            value /= 1000.0;
            ++unit;
        }
    }
    const int digits = unit == 0 ? 0 : (value < 10.0 ? 2 : 1);
    QString number = formatFixed(decimalFormatter().get(), value, digits);
    if (number.isEmpty())
        number = QString::number(value, 'f', digits);
    return number + u' ' + QLatin1String(units[unit]);
}

QString Fmt::percent(std::int64_t part, std::int64_t total) {
    if (total < 1)
        return missingText();
    const double ratio = static_cast<double>(part) / static_cast<double>(total);
    std::unique_ptr<icu::NumberFormat> formatter = percentFormatter();
    if (ratio > 0.0 && ratio < 0.001) {
        // A tiny but real share must not read as nothing.
        const QString tenth = formatFixed(formatter.get(), 0.001, 1);
        return QStringLiteral("< ") + (tenth.isEmpty() ? QStringLiteral("0.1%") : tenth);
    }
    const QString text = formatFixed(formatter.get(), ratio, ratio >= 0.1 ? 0 : 1);
    if (!text.isEmpty())
        return text;
    return QString::fromStdString(fmt::format("{:.1f} %", ratio * 100.0));
}

QString Fmt::duration(double seconds) {
    if (!std::isfinite(seconds))
        return missingText();
    // A negative span comes only from a clock set back; it is shown as no time at all.
    if (seconds < 0.0)
        seconds = 0.0;
    if (seconds < 60.0)
        return QString::fromStdString(fmt::format("{:.0f} s", seconds));
    // Whole seconds; beyond the range of the integer the largest one is shown, as converting
    // such a double would be undefined.
    constexpr double limit = 9223372036854775807.0; // 2^63 as a double
    const std::int64_t whole = seconds >= limit ? std::numeric_limits<std::int64_t>::max()
                                                : static_cast<std::int64_t>(seconds);
    return QString::fromStdString(fmt::format("{} min {:02} s", whole / 60, whole % 60));
}

QString Fmt::date(double secondsSince1970) {
    if (!std::isfinite(secondsSince1970))
        return missingText();
    std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, icuLocale()));
    if (!formatter)
        return missingText();
    icu::UnicodeString text;
    UErrorCode status = U_ZERO_ERROR;
    icu::FieldPosition position;
    formatter->format(secondsSince1970 * 1000.0, text, position, status);
    if (U_FAILURE(status) || text.isEmpty())
        return missingText();
    return toQString(text);
}

QString Fmt::signedSize(std::int64_t delta) {
    if (delta > 0)
        return QStringLiteral("+") + size(delta);
    if (delta < 0)
        return QStringLiteral("\u2212") + size(-delta);
    return size(0);
}

QString Fmt::time(std::optional<double> secondsSince1970) {
    if (!secondsSince1970 || !std::isfinite(*secondsSince1970))
        return missingText();
    std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icuLocale()));
    if (!formatter)
        return missingText();
    icu::UnicodeString text;
    UErrorCode status = U_ZERO_ERROR;
    icu::FieldPosition position;
    formatter->format(*secondsSince1970 * 1000.0, text, position, status);
    if (U_FAILURE(status) || text.isEmpty())
        return missingText();
    return toQString(text);
}

void Fmt::setOverride(std::optional<QLocale> locale, std::optional<QString> language) {
    Override& state = overrideState();
    std::lock_guard guard(state.lock);
    state.locale = std::move(locale);
    state.language = std::move(language);
}

} // namespace tessary
