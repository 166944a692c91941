#include "TessaryCore/Masking.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace tessary;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAreArray;

namespace {

std::string u8(std::u32string_view s) {
    return Masking::utf8(s);
}

std::pair<std::string, std::string> ext(std::u32string_view s) {
    const auto split = Masking::splitExt(s);
    return {u8(split.stem), u8(split.ext)};
}

std::pair<std::string, std::string> edges(std::u32string_view s) {
    const auto e = Masking::clusterEdges(s);
    return {u8(e.first), u8(e.last)};
}

std::optional<std::pair<std::string, std::string>> dup(std::u32string_view s) {
    const auto d = Masking::splitDupSuffix(s);
    if (!d)
        return std::nullopt;
    return std::pair{u8(d->base), u8(d->suffix)};
}

bool isWellFormedUTF8(const std::string& s) {
    return Masking::utf8(Masking::scalars(s)) == s;
}

} // namespace

TEST(MaskingTest, WorkedExamples) {
    struct Row {
        const char* name;
        const char* primary;
        std::vector<std::string> others;
    };
    const std::vector<Row> rows = {
        {"Report.pdf", "R{4}t.pdf", {}},
        {"Report 2.pdf", "R{4}t 2.pdf", {"R{6}2.pdf"}},
        {"Report 1.pdf", "R{6}1.pdf", {}},
        {"Notes 12345.txt", "N{9}5.txt", {}},
        {"ab.txt", "ab.txt", {}},
        {"abc", "a{1}c", {}},
        {"x 2.txt", "x 2.txt", {"x{1}2.txt"}},
        {"archive.tar.gz", "a{9}r.gz", {"a{5}e.tar.gz"}},
        {"photo.tar.GZ", "p{7}r.GZ", {"p{3}o.tar.GZ"}},
        {".bashrc", ".{5}c", {}},
        {"data.", "d{2}a.", {}},
        {"a.b.c", "a{1}b.c", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Masking::primaryMask(row.name), row.primary);
        std::vector<std::string> expected = row.others;
        expected.insert(expected.begin(), row.primary);
        const auto variants = Masking::maskVariants(row.name);
        EXPECT_THAT(variants, UnorderedElementsAreArray(expected));
        ASSERT_FALSE(variants.empty());
        EXPECT_EQ(variants.front(), row.primary);
    }
}

TEST(MaskingTest, CafeInBothNormalForms) {
    const std::string nfc = "Caf\u00e9.txt";
    const std::string nfd = "Cafe\u0301.txt";
    EXPECT_EQ(Masking::primaryMask(nfc), "C{2}\u00e9.txt");
    EXPECT_EQ(Masking::primaryMask(nfd), "C{2}e\u0301.txt");
    EXPECT_EQ(Masking::maskName(nfd, true, false, false), "C{3}\u0301.txt");
    // Whichever form the disk holds, every mask the database may print is among the variants.
    EXPECT_THAT(Masking::maskVariants(nfc),
                ElementsAre("C{2}\u00e9.txt", "C{2}e\u0301.txt", "C{3}\u0301.txt"));
    EXPECT_THAT(Masking::maskVariants(nfd),
                ElementsAre("C{2}e\u0301.txt", "C{3}\u0301.txt", "C{2}\u00e9.txt"));
}

TEST(MaskingTest, CzechNameWithDuplicateCounter) {
    // "Účet 2.pdf" precomposed; the NFD form has two more scalars and marks at the first cluster.
    EXPECT_THAT(Masking::maskVariants("\u00da\u010det 2.pdf"),
                UnorderedElementsAreArray<std::string>({
                    "\u00da{2}t 2.pdf",
                    "\u00da{4}2.pdf",
                    "U\u0301{3}t 2.pdf",
                    "U{4}t 2.pdf",
                    "U\u0301{5}2.pdf",
                    "U{6}2.pdf",
                }));
}

TEST(MaskingTest, SplitExt) {
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(ext(U".hidden"), P(".hidden", ""));
    EXPECT_EQ(ext(U"..."), P("...", ""));
    EXPECT_EQ(ext(U"..a"), P("..a", ""));
    EXPECT_EQ(ext(U"a."), P("a", "."));
    EXPECT_EQ(ext(U"a.b.c"), P("a.b", ".c"));
    EXPECT_EQ(ext(U".a.b"), P(".a", ".b"));
    EXPECT_EQ(ext(U"noext"), P("noext", ""));
    EXPECT_EQ(ext(U""), P("", ""));
    EXPECT_EQ(ext(U"Zpr\u00e1va.Final Version 2"), P("Zpr\u00e1va", ".Final Version 2"));
}

TEST(MaskingTest, ClusterEdgesFollowCombiningClassesOnly) {
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(edges(U"abc"), P("a", "c"));
    EXPECT_EQ(edges(U"a"), P("a", "a"));
    EXPECT_EQ(edges(U""), P("", ""));
    EXPECT_EQ(edges(U"e\u0301x\u0302\u0323"), P("e\u0301", "x\u0302\u0323"));
    // Only marks: the first cluster takes everything, the walk back stops at position 0.
    EXPECT_EQ(edges(U"\u0301\u0302\u0303"), P("\u0301\u0302\u0303", "\u0301\u0302\u0303"));
    // Variation selectors and joiners have class 0 and are not joined to their neighbours.
    EXPECT_EQ(edges(U"\u2764\ufe0fab\u200d"), P("\u2764", "\u200d"));
}

TEST(MaskingTest, SplitDupSuffix) {
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(dup(U"Copy 1"), std::nullopt);
    EXPECT_EQ(dup(U"Copy 2"), P("Copy", " 2"));
    EXPECT_EQ(dup(U"Copy 9999"), P("Copy", " 9999"));
    EXPECT_EQ(dup(U"Copy 10000"), std::nullopt);
    EXPECT_EQ(dup(U"Copy 2a"), std::nullopt);
    EXPECT_EQ(dup(U" 2"), std::nullopt);
    EXPECT_EQ(dup(U"Copy "), std::nullopt);
    EXPECT_EQ(dup(U"Copy 0"), std::nullopt);
    EXPECT_EQ(dup(U"Copy 01"), std::nullopt);
    EXPECT_EQ(dup(U"Copy 0002"), P("Copy", " 0002"));
    EXPECT_EQ(dup(U"a b 3"), P("a b", " 3"));
    EXPECT_EQ(dup(U"Copy"), std::nullopt);
    // Decimal digits of any script count; other numerals do not.
    EXPECT_EQ(dup(U"Kopie \u0663"), P("Kopie", " \u0663"));             // Arabic-Indic three
    EXPECT_EQ(dup(U"Kopie \uff12\uff10"), P("Kopie", " \uff12\uff10")); // full-width 20
    EXPECT_EQ(dup(U"Kopie \u0967"), std::nullopt);                      // Devanagari one
    EXPECT_EQ(dup(U"Kopie \u00b2"), std::nullopt);                      // superscript two
    EXPECT_EQ(dup(U"Kopie \u2163"), std::nullopt);                      // Roman numeral four
}

TEST(MaskingTest, MaskNameLeavesShortOrCoveredStemsAlone) {
    EXPECT_EQ(Masking::maskName("ab", true, true, false), "ab");
    EXPECT_EQ(Masking::maskName("a", false, false, false), "a");
    EXPECT_EQ(Masking::maskName("", true, true, true), "");
    EXPECT_EQ(Masking::maskName("ab 2.txt", true, true, false), "ab 2.txt");
    // A letter followed only by combining marks is one cluster: never masked with clusters.
    const std::string marked = "e\u0301\u0302\u0303.txt";
    EXPECT_EQ(Masking::maskName(marked, true, true, false), marked);
    EXPECT_EQ(Masking::maskName(marked, true, false, false), "e{2}\u0303.txt");
    // Two clusters that together are the whole stem.
    EXPECT_EQ(Masking::maskName("a\u0301b", true, true, false), "a\u0301b");
    EXPECT_EQ(Masking::maskName("a\u0301b", true, false, false), "a{1}b");
    // Compound on a too-short stem returns the name, not a partly masked one.
    EXPECT_EQ(Masking::maskName("x.tar.gz", true, true, true), "x.tar.gz");
    EXPECT_EQ(Masking::maskName("x.tar.gz", true, true, false), "x{3}r.gz");
    // Compound needs a non-empty inner extension and stem.
    EXPECT_EQ(Masking::maskName("archive.gz", true, true, true), "a{5}e.gz");
    EXPECT_EQ(Masking::maskName(".tar.gz", true, true, true), ".{2}r.gz");
    // Duplicate counter inside a compound extension's stem.
    EXPECT_EQ(Masking::maskName("backup 3.tar.xz", true, true, true), "b{4}p 3.tar.xz");
    EXPECT_EQ(Masking::maskName("backup 3.tar.xz", false, true, true), "b{6}3.tar.xz");
    EXPECT_EQ(Masking::maskName("backup 3.tar.xz", true, true, false), "b{10}r.xz");
}

TEST(MaskingTest, CompoundTails) {
    EXPECT_EQ(Masking::compoundTails.size(), 8u);
    for (const auto* tail : {U".gz", U".bz2", U".xz", U".z", U".lz", U".zst", U".lzma", U".br",
                             U".GZ", U".Zst", U".LZMA"})
        EXPECT_TRUE(Masking::isCompoundTail(tail)) << u8(tail);
    for (const auto* tail : {U".zip", U".tar", U"gz", U".", U"", U".gzz", U".lzmaa", U".\u0130z"})
        EXPECT_FALSE(Masking::isCompoundTail(tail)) << u8(tail);
    EXPECT_THAT(Masking::maskVariants("data.tar.Z"),
                UnorderedElementsAreArray<std::string>({"d{6}r.Z", "d{2}a.tar.Z"}));
}

TEST(MaskingTest, HiddenCountIsPlainDecimal) {
    const std::string stem(1000, 'x');
    EXPECT_EQ(Masking::primaryMask(stem + ".bin"), "x{998}x.bin");
    std::string czech;
    for (int i = 0; i < 10000; ++i)
        czech += "\u017e"; // ž
    EXPECT_EQ(Masking::primaryMask(czech), "\u017e{9998}\u017e");
    // Its NFD form has 20,000 scalars: z and a caron each.
    const auto variants = Masking::maskVariants(czech);
    EXPECT_THAT(variants, UnorderedElementsAreArray<std::string>(
                              {"\u017e{9998}\u017e", "z\u030c{19996}z\u030c", "z{19998}\u030c"}));
}

TEST(MaskingTest, VariantCounts) {
    // ASCII: one form, at most 4 masks, 6 with a compound extension.
    EXPECT_EQ(Masking::maskVariants("Report 2.pdf").size(), 2u);
    EXPECT_THAT(Masking::maskVariants("backup 3.tar 2.xz"),
                ElementsAre("b{10}r 2.xz", "b{4}p 3.tar 2.xz", "b{12}2.xz", "b{6}3.tar 2.xz"));
    // Three different forms (given, NFC, NFD), each with six different masks.
    const std::string mixed = "q\u0301\u00e1a\u0301bcd 3.ef 2.gz";
    const auto variants = Masking::maskVariants(mixed);
    EXPECT_EQ(variants.size(), 18u);
    EXPECT_EQ(variants.front(), Masking::primaryMask(mixed));
    EXPECT_EQ(variants.front(), "q\u0301{10}f 2.gz");
}

TEST(MaskingTest, BadInputHasADefinedMask) {
    const std::string replacement = "\ufffd";
    // Each maximal ill-formed subsequence reads as one U+FFFD.
    EXPECT_EQ(Masking::utf8(Masking::scalars("a\xe2\x82"
                                             "b")),
              "a" + replacement + "b");
    EXPECT_EQ(Masking::utf8(Masking::scalars("\xf0\x9f\x98")), replacement);
    EXPECT_EQ(Masking::utf8(Masking::scalars("\xc0\xaf")), replacement + replacement);
    EXPECT_EQ(Masking::utf8(Masking::scalars("\xf5\x80")), replacement + replacement);
    EXPECT_EQ(Masking::utf8(Masking::scalars("\xf0\x9f\x98\x80")), "\U0001F600");
    // Encoded lone surrogate: three stray bytes.
    EXPECT_EQ(Masking::primaryMask("\xed\xa0\x80"
                                   "abc"),
              replacement + "{4}c");
    EXPECT_EQ(Masking::primaryMask("\xff\xfe"
                                   "ab.txt"),
              replacement + "{2}b.txt");
    // Scalars that are not scalars at all are written as U+FFFD.
    EXPECT_EQ(Masking::utf8(std::u32string{0xD800, U'a', 0x110000}),
              replacement + "a" + replacement);

    const std::vector<std::string> inputs = {
        "\xed\xa0\x80"
        "abc",
        "\xff\xfe"
        "ab.txt",
        "\x80\x80\x80\x80",
        std::string("a\0b\0c", 5),
        "\u0301\u0301\u0301\u0301\u0301",
        ".....",
        ".",
        "..",
        "",
        " 2",
        "\u0301 2.tar.gz",
    };
    for (const std::string& in : inputs) {
        SCOPED_TRACE(testing::PrintToString(in));
        const auto variants = Masking::maskVariants(in);
        ASSERT_FALSE(variants.empty());
        EXPECT_EQ(variants.front(), Masking::primaryMask(in));
        EXPECT_LE(variants.size(), 18u);
        for (const std::string& v : variants)
            EXPECT_TRUE(isWellFormedUTF8(v));
    }
    EXPECT_EQ(Masking::primaryMask("....."), ".{3}.");
    EXPECT_EQ(Masking::primaryMask(".."), "..");
    EXPECT_EQ(Masking::primaryMask(std::string("a\0b\0c", 5)), std::string("a{3}c"));
    // Only combining marks: one cluster with the cluster rule, masked without it.
    EXPECT_THAT(Masking::maskVariants("\u0301\u0301\u0301\u0301\u0301"),
                ElementsAre("\u0301\u0301\u0301\u0301\u0301", "\u0301{3}\u0301"));
}
