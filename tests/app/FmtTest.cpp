#include "TessaryApp/Fmt.hpp"

#include "QtPrinters.hpp"

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

namespace tessary {
namespace {

// ICU's Czech, French and Polish put no-break spaces into numbers and before "%"; the expected
// texts spell them out.
const QString nbsp = QString(QChar(0x00A0));
const QString narrowNbsp = QString(QChar(0x202F));
const QString dash = QString(QChar(0x2013));

QString t(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class FmtTest : public testing::Test {
protected:
    void TearDown() override { Fmt::setOverride(std::nullopt, std::nullopt); }
    static void use(const char* locale, const char* language) {
        Fmt::setOverride(QLocale(QString::fromLatin1(locale)), QString::fromLatin1(language));
    }
};

TEST_F(FmtTest, LanguageIsCzechUnlessOverridden) {
    Fmt::setOverride(std::nullopt, std::nullopt);
    EXPECT_EQ(Fmt::language(), "cs");
    use("ja_JP", "ja");
    EXPECT_EQ(Fmt::language(), "ja");
}

TEST_F(FmtTest, IntegerFollowsTheLocalesGrouping) {
    use("cs_CZ", "cs");
    EXPECT_EQ(Fmt::integer(0), "0");
    EXPECT_EQ(Fmt::integer(999), "999");
    EXPECT_EQ(Fmt::integer(1234567), "1" + nbsp + "234" + nbsp + "567");
    EXPECT_EQ(Fmt::integer(-1234), "-1" + nbsp + "234");
    EXPECT_EQ(Fmt::integer(std::numeric_limits<std::int64_t>::max()),
              "9" + nbsp + "223" + nbsp + "372" + nbsp + "036" + nbsp + "854" + nbsp + "775" +
                  nbsp + "807");
    use("en_US", "en");
    EXPECT_EQ(Fmt::integer(1234567), "1,234,567");
    EXPECT_EQ(Fmt::integer(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808");
    use("fr_FR", "fr");
    EXPECT_EQ(Fmt::integer(1234567), "1" + narrowNbsp + "234" + narrowNbsp + "567");
    use("pl_PL", "pl");
    EXPECT_EQ(Fmt::integer(12345), "12" + nbsp + "345");
    EXPECT_EQ(Fmt::size(12345), "12,3 kB");
}

TEST_F(FmtTest, CzechPluralTakesFewOnlyFromTwoToFour) {
    use("cs_CZ", "cs");
    EXPECT_EQ(Fmt::plural(0, "files"), t("0 souborů"));
    EXPECT_EQ(Fmt::plural(1, "files"), t("1 soubor"));
    EXPECT_EQ(Fmt::plural(2, "files"), t("2 soubory"));
    EXPECT_EQ(Fmt::plural(4, "files"), t("4 soubory"));
    EXPECT_EQ(Fmt::plural(5, "files"), t("5 souborů"));
    EXPECT_EQ(Fmt::plural(11, "files"), t("11 souborů"));
    EXPECT_EQ(Fmt::plural(21, "files"), t("21 souborů"));
    EXPECT_EQ(Fmt::plural(22, "files"), t("22 souborů"));
    EXPECT_EQ(Fmt::plural(101, "folders"), t("101 složek"));
    EXPECT_EQ(Fmt::plural(102, "folders"), t("102 složek"));
    EXPECT_EQ(Fmt::plural(105, "items"), t("105 položek"));
    EXPECT_EQ(Fmt::plural(-1, "items"), t("-1 položek"));
    EXPECT_EQ(Fmt::plural(-2, "items"), t("-2 položek"));
    EXPECT_EQ(Fmt::plural(3, "folders"), t("3 složky"));
    EXPECT_EQ(Fmt::plural(1, "items"), t("1 položka"));
    EXPECT_EQ(Fmt::plural(std::numeric_limits<std::int64_t>::max(), "files"),
              Fmt::integer(std::numeric_limits<std::int64_t>::max()) + t(" souborů"));
    EXPECT_EQ(Fmt::plural(1000, "files"), "1" + nbsp + t("000 souborů"));
}

// The forms that follow a count where the sentence takes its noun as object, or leaves the noun
// out ("1 položku se nepodařilo přesunout", "☁ 1 neotevřená").
TEST_F(FmtTest, CzechObjectAndUnopenedForms) {
    use("cs_CZ", "cs");
    EXPECT_EQ(Fmt::plural(1, "itemsAccusative"), t("1 položku"));
    EXPECT_EQ(Fmt::plural(3, "itemsAccusative"), t("3 položky"));
    EXPECT_EQ(Fmt::plural(5, "itemsAccusative"), t("5 položek"));
    EXPECT_EQ(Fmt::plural(1, "unopened"), t("1 neotevřená"));
    EXPECT_EQ(Fmt::plural(2, "unopened"), t("2 neotevřené"));
    EXPECT_EQ(Fmt::plural(7, "unopened"), t("7 neotevřených"));
    use("en_US", "en");
    EXPECT_EQ(Fmt::plural(1, "itemsAccusative"), t("1 item"));
}

// Without a chosen locale (C or POSIX) numbers and dates are Czech, the window's language; a
// chosen one is followed.
TEST_F(FmtTest, TheCLocaleFallsBackToCzech) {
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::C) {
        EXPECT_EQ(Fmt::systemLocale().language(), QLocale::Czech);
        EXPECT_EQ(Fmt::integer(1000), "1" + nbsp + t("000"));
    } else {
        EXPECT_EQ(Fmt::systemLocale(), system);
    }
}

TEST_F(FmtTest, SlovakSharesTheCzechRule) {
    use("sk_SK", "sk");
    EXPECT_EQ(Fmt::plural(1, "items"), t("1 položka"));
    EXPECT_EQ(Fmt::plural(3, "folders"), t("3 priečinky"));
    EXPECT_EQ(Fmt::plural(5, "items"), t("5 položiek"));
    EXPECT_EQ(Fmt::plural(22, "files"), t("22 súborov"));
}

TEST_F(FmtTest, FrenchSingularCoversZeroAndOne) {
    use("fr_FR", "fr");
    EXPECT_EQ(Fmt::plural(0, "files"), t("0 fichier"));
    EXPECT_EQ(Fmt::plural(1, "folders"), t("1 dossier"));
    EXPECT_EQ(Fmt::plural(2, "items"), t("2 éléments"));
    EXPECT_EQ(Fmt::plural(-5, "files"), t("-5 fichier"));
}

TEST_F(FmtTest, OtherLanguagesUseOneAndMany) {
    use("en_US", "en");
    EXPECT_EQ(Fmt::plural(0, "files"), "0 files");
    EXPECT_EQ(Fmt::plural(1, "files"), "1 file");
    EXPECT_EQ(Fmt::plural(2, "folders"), "2 folders");
    EXPECT_EQ(Fmt::plural(-1, "items"), "-1 items");
    EXPECT_EQ(Fmt::plural(1001, "items"), "1,001 items");
    use("de_DE", "de");
    EXPECT_EQ(Fmt::plural(1, "items"), "1 Objekt");
    EXPECT_EQ(Fmt::plural(3, "items"), "3 Objekte");
    // A language outside the table declines like English, with its own digits.
    use("pl_PL", "pl");
    EXPECT_EQ(Fmt::plural(1, "files"), "1 file");
    EXPECT_EQ(Fmt::plural(3, "folders"), "3 folders");
    EXPECT_EQ(Fmt::plural(12345, "items"), "12" + nbsp + "345 items");
}

TEST_F(FmtTest, JapaneseJoinsCountAndNounWithoutSpace) {
    use("ja_JP", "ja");
    EXPECT_EQ(Fmt::plural(1, "files"), t("1個のファイル"));
    EXPECT_EQ(Fmt::plural(3, "folders"), t("3個のフォルダ"));
    EXPECT_EQ(Fmt::plural(1500, "items"), t("1,500項目"));
}

TEST_F(FmtTest, SizeUnitsAndFractionDigits) {
    use("cs_CZ", "cs");
    EXPECT_EQ(Fmt::size(std::nullopt), dash);
    EXPECT_EQ(Fmt::size(0), "0 B");
    EXPECT_EQ(Fmt::size(999), "999 B");
    EXPECT_EQ(Fmt::size(1000), "1,00 kB");
    EXPECT_EQ(Fmt::size(9990), "9,99 kB");
    EXPECT_EQ(Fmt::size(12345), "12,3 kB");
    EXPECT_EQ(Fmt::size(999949), "999,9 kB");
    // One fraction digit would make 999.95 kB read "1000,0 kB": the next unit takes it.
    EXPECT_EQ(Fmt::size(999950), "1,00 MB");
    EXPECT_EQ(Fmt::size(1500000000), "1,50 GB");
    EXPECT_EQ(Fmt::size(std::int64_t{2} * 1000 * 1000 * 1000 * 1000), "2,00 TB");
    EXPECT_EQ(Fmt::size(std::int64_t{1000} * 1000 * 1000 * 1000 * 1000), "1,00 PB");
    use("en_US", "en");
    EXPECT_EQ(Fmt::size(1000), "1.00 kB");
    EXPECT_EQ(Fmt::size(999949), "999.9 kB");
    EXPECT_EQ(Fmt::size(999950), "1.00 MB");
}

TEST_F(FmtTest, SizeRoundsTheShortestDecimalHalfToEven) {
    use("cs_CZ", "cs");
    // 1.015 is stored as 1.01499999…; the shortest decimal form "1.015" rounds to even.
    EXPECT_EQ(Fmt::size(1015), "1,02 kB");
    EXPECT_EQ(Fmt::size(1025), "1,02 kB");
    EXPECT_EQ(Fmt::size(1035), "1,04 kB");
    EXPECT_EQ(Fmt::size(12250), "12,2 kB");
    EXPECT_EQ(Fmt::size(12350), "12,4 kB");
}

TEST_F(FmtTest, SizeStopsAtPetabytes) {
    use("cs_CZ", "cs");
    // No unit above PB: the value grows past 999.95 there and gets grouped.
    EXPECT_EQ(Fmt::size(std::int64_t{999950} * 1000 * 1000 * 1000 * 1000), "1" + nbsp + "000,0 PB");
    EXPECT_EQ(Fmt::size(std::numeric_limits<std::int64_t>::max()), "9" + nbsp + "223,4 PB");
    EXPECT_EQ(Fmt::size(-5), "-5 B");
}

TEST_F(FmtTest, PercentShowsTinySharesAsLessThanATenth) {
    use("cs_CZ", "cs");
    EXPECT_EQ(Fmt::percent(1, 2000), "< 0,1" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(1, std::numeric_limits<std::int64_t>::max()), "< 0,1" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(1, 1000), "0,1" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(0, 10), "0,0" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(99, 1000), "9,9" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(100, 1000), "10" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(5, 10), "50" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(1, 3), "33" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(10, 10), "100" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(30, 10), "300" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(-1, 10), "-10,0" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(5, 0), dash);
    EXPECT_EQ(Fmt::percent(5, -10), dash);
    use("en_US", "en");
    EXPECT_EQ(Fmt::percent(1, 2000), "< 0.1%");
    EXPECT_EQ(Fmt::percent(0, 10), "0.0%");
    EXPECT_EQ(Fmt::percent(5, 10), "50%");
    use("fr_FR", "fr");
    EXPECT_EQ(Fmt::percent(5, 10), "50" + nbsp + "%");
    EXPECT_EQ(Fmt::percent(1, 2000), "< 0,1" + nbsp + "%");
}

TEST_F(FmtTest, DurationInSecondsOrMinutes) {
    EXPECT_EQ(Fmt::duration(0), "0 s");
    EXPECT_EQ(Fmt::duration(59.4), "59 s");
    EXPECT_EQ(Fmt::duration(60), "1 min 00 s");
    EXPECT_EQ(Fmt::duration(125.9), "2 min 05 s");
    EXPECT_EQ(Fmt::duration(3600), "60 min 00 s");
}

TEST_F(FmtTest, DurationOfImpossibleValuesStaysDefined) {
    // Far beyond any whole number of seconds: the largest one, not an overflowing conversion.
    EXPECT_EQ(Fmt::duration(1e300), "153722867280912930 min 07 s");
    EXPECT_EQ(Fmt::duration(9223372036854775807.0), "153722867280912930 min 07 s");
    EXPECT_EQ(Fmt::duration(-3.0), "0 s");
    EXPECT_EQ(Fmt::duration(-1e300), "0 s");
    EXPECT_EQ(Fmt::duration(std::numeric_limits<double>::quiet_NaN()), dash);
    EXPECT_EQ(Fmt::duration(std::numeric_limits<double>::infinity()), dash);
}

TEST_F(FmtTest, TimeIsMediumDateAndShortTimeInTheProcessZone) {
    const char* zone = std::getenv("TZ");
    if (!zone || QString::fromLatin1(zone) != "Europe/Prague")
        GTEST_SKIP() << "expects TZ=Europe/Prague, as ctest sets it";
    const double moment = 1709645400.0; // 2024-03-05 13:30 UTC, 14:30 in Prague
    use("cs_CZ", "cs");
    EXPECT_EQ(Fmt::time(moment), "5. 3. 2024 14:30");
    EXPECT_EQ(Fmt::time(std::nullopt), dash);
    EXPECT_EQ(Fmt::time(std::numeric_limits<double>::quiet_NaN()), dash);
    use("en_US", "en");
    EXPECT_EQ(Fmt::time(moment), "Mar 5, 2024, 2:30" + narrowNbsp + "PM");
    use("ja_JP", "ja");
    EXPECT_EQ(Fmt::time(moment), "2024/03/05 14:30");
}

} // namespace
} // namespace tessary
