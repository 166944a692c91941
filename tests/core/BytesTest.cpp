#include "TessaryCore/Bytes.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace tessary;
using namespace std::string_literals;

namespace {

std::string strip(std::string_view line) {
    std::string out = "<";
    Bytes::stripANSI(line, out);
    return out;
}

// The state block of an item line's rest, with its parts as texts.
struct Block {
    std::string parent, name, kind, flags;
    std::optional<std::string> second;
    bool operator==(const Block&) const = default;
};

std::optional<Block> block(std::string_view rest) {
    auto b = Bytes::stateBlock(rest);
    if (!b)
        return std::nullopt;
    Block out{std::string(b->parent.of(rest)), std::string(b->name.of(rest)),
              std::string(b->kind.of(rest)), std::string(b->flags.of(rest)), std::nullopt};
    if (b->secondName)
        out.second = std::string(b->secondName->of(rest));
    return out;
}

void PrintTo(const Block& b, std::ostream* os) {
    *os << "{p=" << b.parent << " n=" << b.name << " o=" << (b.second ? *b.second : "-")
        << " k=" << b.kind << " f=" << b.flags << "}";
}

} // namespace

TEST(BytesTest, SectionHeaders) {
    EXPECT_TRUE(Bytes::sectionHeader("    server items", "server items"));
    EXPECT_TRUE(Bytes::sectionHeader("    server items:", "server items"));
    EXPECT_TRUE(Bytes::sectionHeader("    server items\r", "server items"));
    EXPECT_TRUE(Bytes::sectionHeader("    client items -- 12", "client items"));
    EXPECT_FALSE(Bytes::sectionHeader("     server items", "server items"));
    EXPECT_FALSE(Bytes::sectionHeader("   server items", "server items"));
    EXPECT_FALSE(Bytes::sectionHeader("    server itemsx", "server items"));
    EXPECT_FALSE(Bytes::sectionHeader("    server items_", "server items"));
    EXPECT_FALSE(Bytes::sectionHeader("    server item", "server items"));
    EXPECT_FALSE(Bytes::sectionHeader("", "server items"));
}

TEST(BytesTest, StripANSIRemovesOnlyCompleteColourSequences) {
    EXPECT_EQ(strip("\x1b[1;32mi:<a>\x1b[0m x"), "<i:<a> x");
    EXPECT_EQ(strip("\x1b[m"), "<");
    EXPECT_EQ(strip("a\x1b[31"), "<a\x1b[31");     // ends before the "m"
    EXPECT_EQ(strip("a\x1b[31Kb"), "<a\x1b[31Kb"); // another final byte
    EXPECT_EQ(strip("a\x1bmb"), "<a\x1bmb");       // no "["
    EXPECT_EQ(strip("\x1b\x1b[0mz"), "<\x1bz");    // scanning resumes after a lone escape
    EXPECT_EQ(strip("\x1b"), "<\x1b");
    EXPECT_EQ(strip("nul\0byte"s), "<nul\0byte"s);
}

TEST(BytesTest, ContainerHeaders) {
    const std::string rule(10, '-');
    using H = Bytes::ContainerHeader;
    EXPECT_EQ(Bytes::containerHeader("    " + rule + "com~apple~CloudDocs[3]" + rule),
              (H{"com~apple~CloudDocs", 3}));
    // Longer rules and trailing white space of every kind.
    EXPECT_EQ(Bytes::containerHeader("    " + rule + "---iCloud~x[12]" + rule + "--- \t\r\v\f"),
              (H{"iCloud~x", 12}));
    // Brackets inside the identifier: the index is the pair before the trailing rule.
    EXPECT_EQ(Bytes::containerHeader("    " + rule + "a[1]b[x][7]" + rule), (H{"a[1]b[x]", 7}));
    // Dashes inside the identifier are kept.
    EXPECT_EQ(Bytes::containerHeader("    " + rule + "a-b-[0]" + rule), (H{"a-b-", 0}));
    // Invalid UTF-8 becomes U+FFFD, one per maximal invalid subsequence.
    EXPECT_EQ(Bytes::containerHeader("    " + rule + "x\xF0\x9F\xFFy[1]" + rule),
              (H{"x\xEF\xBF\xBD\xEF\xBF\xBDy", 1}));

    const std::string nine(9, '-');
    for (const std::string& line : {
             "    " + nine + "id[1]" + rule,                   // nine dashes before
             "    " + rule + "id[1]" + nine,                   // nine dashes after
             "    " + rule + "id [1]" + rule,                  // space before the bracket
             "    " + rule + "id\t[1]" + rule,                 // tab before the bracket
             "    " + rule + "id[1a]" + rule,                  // non-digit in the index
             "    " + rule + "id[]" + rule,                    // no digits
             "    " + rule + "[1]" + rule,                     // no identifier
             "     " + rule + "id[1]" + rule,                  // five spaces
             "   " + rule + "id[1]" + rule,                    // three spaces
             "    " + rule + "id[1]" + rule + " x",            // text after the rule
             "    " + rule + "id[1]x" + rule,                  // the rule must follow the "]"
             "    " + rule + "id[9223372036854775808]" + rule, // does not fit 64 bits
             "    " + rule,
             ""s,
         })
        EXPECT_FALSE(Bytes::containerHeader(line).has_value()) << line;
    EXPECT_EQ(Bytes::containerHeader("    " + rule + "id[9223372036854775807]" + rule)->index,
              9223372036854775807);
}

TEST(BytesTest, StartsAndFind) {
    EXPECT_TRUE(Bytes::starts("abcdef", 2, "cd"));
    EXPECT_TRUE(Bytes::starts("abcdef", 6, ""));
    EXPECT_FALSE(Bytes::starts("abcdef", 5, "fg"));
    EXPECT_FALSE(Bytes::starts("abcdef", -1, "a"));
    EXPECT_FALSE(Bytes::starts("abcdef", 7, ""));
    EXPECT_EQ(Bytes::find("abcabc", "bc", 0), 1u);
    EXPECT_EQ(Bytes::find("abcabc", "bc", 2), 4u);
    EXPECT_EQ(Bytes::find("abcabc", "bc", -5), 1u);
    EXPECT_EQ(Bytes::find("abcabc", "bc", 5), std::nullopt);
    EXPECT_EQ(Bytes::find("abc", "abcd", 0), std::nullopt);
    EXPECT_EQ(Bytes::find("abc", "x", 100), std::nullopt);
}

TEST(BytesTest, ItemLines) {
    auto il = Bytes::itemLine("  i:<abc.123> st{...}");
    ASSERT_TRUE(il);
    EXPECT_EQ(il->id.of("  i:<abc.123> st{...}"), "abc.123");
    EXPECT_EQ(il->rest, 14u);
    EXPECT_EQ(Bytes::itemLine("i:<x> ")->rest, 6u); // an empty rest is fine
    EXPECT_FALSE(Bytes::itemLine("i:<> st{"));      // empty id
    EXPECT_FALSE(Bytes::itemLine("i:<x>st{"));      // no space after ">"
    EXPECT_FALSE(Bytes::itemLine("i:<x>"));         // nothing after ">"
    EXPECT_FALSE(Bytes::itemLine("i:<x"));
    EXPECT_FALSE(Bytes::itemLine("\ti:<x> y"));
    EXPECT_FALSE(Bytes::itemLine(" x i:<x> y"));
}

TEST(BytesTest, StateBlockNamesKindsAndFlags) {
    EXPECT_EQ(block(R"(st{p:<P1> n:"Report.pdf" doc sz:1})"),
              (Block{"P1", "Report.pdf", "doc", " sz:1", std::nullopt}));
    EXPECT_EQ(block(R"(x st{p:<P> n:"" dir})"), (Block{"P", "", "dir", "", std::nullopt}));
    // Quotes inside the name: the first quote followed by a space and a kind closes it.
    EXPECT_EQ(block(R"(st{p:<P> n:"say "hi" there" symlink dead})"),
              (Block{"P", R"(say "hi" there)", "symlink", " dead", std::nullopt}));
    EXPECT_EQ(block(R"(st{p:<P> n:"a" docs" doc})"),
              (Block{"P", R"(a" docs)", "doc", "", std::nullopt}));
    // The second-name form.
    EXPECT_EQ(block(R"(st{p:<P> n:"R{3}t" (o:"Report") doc dead})"),
              (Block{"P", "R{3}t", "doc", " dead", "Report"}));
    EXPECT_EQ(block(R"(st{p:<P> n:"a" (o:"b") c") d") dir})"),
              (Block{"P", "a", "dir", "", R"(b") c") d)"}));
    // A failing first block makes the search go on to the next one.
    EXPECT_EQ(block(R"(st{p:<> n:"x" doc} st{p:<Q> n:"y" dir})"),
              (Block{"Q", "y", "dir", "", std::nullopt}));
    // No "}" after the kind, a kind glued to a letter, a missing space, "n:" without a quote.
    EXPECT_EQ(block(R"(st{p:<P> n:"a" doc)"), std::nullopt);
    EXPECT_EQ(block(R"(} st{p:<P> n:"a" doc)"), std::nullopt);
    EXPECT_EQ(block(R"(st{p:<P> n:"a" docx})"), std::nullopt);
    EXPECT_EQ(block(R"(st{p:<P> n:"a"doc})"), std::nullopt);
    EXPECT_EQ(block(R"(st{p:<P>  n:"a" doc})"), std::nullopt);
    EXPECT_EQ(block(R"(st{p:<P> n:a doc})"), std::nullopt);
    EXPECT_EQ(block(R"(st{p:<P> n:"a" file})"), std::nullopt);
    EXPECT_EQ(block(""), std::nullopt);
}

TEST(BytesTest, StateBlockStaysLinearOnCraftedLines) {
    // Many quotes, many openings and many second-name starts: each would be tried again and
    // again by a naive search. This finishes at once when the search is linear.
    std::string rest;
    for (int i = 0; i < 20000; ++i)
        rest += R"(st{p:<P> n:"" (o:"x" ")";
    rest += "}";
    EXPECT_EQ(Bytes::stateBlock(rest), std::nullopt);
    rest += R"(" doc})";
    auto b = Bytes::stateBlock(rest);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->kind.of(rest), "doc");
    EXPECT_EQ(b->parent.of(rest), "P");
}

TEST(BytesTest, Tokens) {
    EXPECT_TRUE(Bytes::hasToken(" dead", "dead", false));
    EXPECT_TRUE(Bytes::hasToken("dead", "dead", false));
    EXPECT_TRUE(Bytes::hasToken("x dead y", "dead", false));
    EXPECT_FALSE(Bytes::hasToken(" dead}", "dead", false));
    EXPECT_TRUE(Bytes::hasToken(" dead}", "dead", true));
    EXPECT_FALSE(Bytes::hasToken(" undead", "dead", false));
    EXPECT_FALSE(Bytes::hasToken(" dead-ish", "dead", false));
    EXPECT_FALSE(Bytes::hasToken(" not-dead", "dead", false));
    EXPECT_TRUE(Bytes::hasToken(" deadx dead", "dead", false));
    EXPECT_TRUE(Bytes::hasToken("i:<x> alias}", "alias", true));
    EXPECT_FALSE(Bytes::hasToken("", "dead", true));
}

TEST(BytesTest, DigitsWrapAround) {
    EXPECT_EQ(Bytes::digits("ab123cd", 2), (Bytes::Digits{123, 5}));
    EXPECT_EQ(Bytes::digits("ab123", 1), std::nullopt);
    EXPECT_EQ(Bytes::digits("12", 2), std::nullopt);
    EXPECT_EQ(Bytes::digits("12", 99), std::nullopt);
    // 2^64 + 5 wraps to 5.
    EXPECT_EQ(Bytes::digits("18446744073709551621", 0)->value, 5u);
}

TEST(BytesTest, SizeField) {
    EXPECT_EQ(Bytes::size("x sz:1234 bytes"), 1234);
    EXPECT_EQ(Bytes::size("x sz:1.2 KB (1234)"), 1234);
    EXPECT_EQ(Bytes::size("x sz:1.2 B (1234)"), 1234);
    EXPECT_EQ(Bytes::size("x sz:1.2 EB (1234) y"), 1234);
    EXPECT_EQ(Bytes::size("x sz:1.2 MB"), std::nullopt);    // rounded without the exact count
    EXPECT_EQ(Bytes::size("xsz:1234 bytes"), std::nullopt); // no space before "sz:"
    EXPECT_EQ(Bytes::size("sz:1234 bytes"), std::nullopt);
    EXPECT_EQ(Bytes::size(" sz:12 byte"), std::nullopt);
    EXPECT_EQ(Bytes::size(" sz:1.2 XB (5)"), std::nullopt);
    EXPECT_EQ(Bytes::size(" sz:1.2 KB ()"), std::nullopt);
    EXPECT_EQ(Bytes::size(" sz:"), std::nullopt);
    // A first occurrence that does not match is skipped.
    EXPECT_EQ(Bytes::size(" sz:abc sz:7 bytes"), 7);
    EXPECT_EQ(Bytes::size(" sz:1.5 MB sz:1.5 MB (1572864)"), 1572864);
}

TEST(BytesTest, ServerMetaAndTime) {
    using M = Bytes::ServerMeta;
    EXPECT_EQ(Bytes::serverMeta("a sm{qta:10 rcc:2 sbm:0 stm:5 cc:3} b"), (M{10, 2, 3}));
    EXPECT_EQ(Bytes::serverMeta("sm{qta:10 rcc:2 sbm:0 stm:5 cc:}"), std::nullopt);
    EXPECT_EQ(Bytes::serverMeta("sm{qta:10 rcc:2 stm:5 cc:3}"), std::nullopt);
    EXPECT_EQ(Bytes::serverMeta("sm{qta:x sm{qta:1 rcc:2 sbm:3 stm:4 cc:5"), (M{1, 2, 5}));
    EXPECT_EQ(Bytes::mtime("a mt:1700000000 b"), 1700000000);
    EXPECT_EQ(Bytes::mtime("a mt:x mt:42"), 42);
    EXPECT_EQ(Bytes::mtime("amt:42"), std::nullopt);
    EXPECT_EQ(Bytes::mtime(" mt:"), std::nullopt);
}

TEST(BytesTest, ColourSequencesAroundFieldsAreInvisibleAfterStripping) {
    const std::string raw = "  \x1b[1mi:<\x1b[0mA1\x1b[32m>\x1b[0m st{p:<\x1b[33mP\x1b[0m> "
                            "n:\"\x1b[4mf.txt\x1b[0m\" doc \x1b[31mdead\x1b[0m} sz:\x1b[1m5\x1b[0m "
                            "bytes mt:\x1b[2m9";
    std::string line;
    Bytes::stripANSI(raw, line);
    auto il = Bytes::itemLine(line);
    ASSERT_TRUE(il);
    EXPECT_EQ(il->id.of(line), "A1");
    const std::string_view rest = std::string_view(line).substr(il->rest);
    EXPECT_EQ(block(rest), (Block{"P", "f.txt", "doc", " dead", std::nullopt}));
    EXPECT_EQ(Bytes::size(rest), 5);
    EXPECT_EQ(Bytes::mtime(rest), 9);
    // A broken sequence stays and breaks the field next to it.
    std::string broken;
    Bytes::stripANSI(" sz:\x1b[1K5 bytes", broken);
    EXPECT_EQ(Bytes::size(broken), std::nullopt);
}

TEST(BytesTest, UTF8Decoding) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_TRUE(Bytes::isValidUTF8("plain ascii text, long enough for words"));
    EXPECT_TRUE(Bytes::isValidUTF8("P\xC5\x99\xC3\xADli\xC5\xA1 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(Bytes::isValidUTF8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(Bytes::isValidUTF8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(Bytes::isValidUTF8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_EQ(Bytes::decodeUTF8("ok"), "ok");
    EXPECT_EQ(Bytes::decodeUTF8("a\xFF\xFE"
                                "b"),
              "a" + fffd + fffd + "b");
    // A truncated sequence is one maximal subpart.
    EXPECT_EQ(Bytes::decodeUTF8("a\xF0\x9F\x98"), "a" + fffd);
    EXPECT_EQ(Bytes::decodeUTF8("\xE2\x82"
                                "x"),
              fffd + "x");
    // An invalid second byte ends the subpart before it.
    EXPECT_EQ(Bytes::decodeUTF8("\xE0\x80\x80"), fffd + fffd + fffd);
    EXPECT_EQ(Bytes::decodeUTF8("\xED\xA0\x80"), fffd + fffd + fffd);
    EXPECT_EQ(Bytes::decodeUTF8("\xF0\x9F"
                                "\xC3\xA9"),
              fffd + "\xC3\xA9");
    EXPECT_EQ(Bytes::decodeUTF8("nul\0"s), "nul\0"s);
}
