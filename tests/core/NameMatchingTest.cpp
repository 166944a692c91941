#include "TessaryCore/NameMatching.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

class NameMatchingTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/varnelo-match-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    void file(const std::string& name, std::size_t bytes) {
        std::ofstream(dir + "/" + name) << std::string(bytes, 'x');
    }
    Item& child(Item& parent, const std::string& id, const std::string& pat, ItemKind kind,
                std::int64_t sz = 0, std::int64_t mt = 0, std::int64_t cc = 0) {
        Item& it = result.add(Item(id, std::string(parent.id()), pat, kind, 1));
        it.sz = sz;
        it.mt = mt;
        it.cc = cc;
        parent.children.push_back(&it);
        return it;
    }
    std::int64_t match(Item& folder) {
        const LocalListing local = NameResolver::listDir(dir, dir, pool);
        return NameMatching::matchChildren(folder, local, stack, pool);
    }

    std::string dir;
    ScanResult result;
    ResolveStack stack;
    TimeoutPool pool;
};

TEST_F(NameMatchingTest, WorkedExampleBySizeThenFallbackInListingOrder) {
    file("Report.pdf", 1000);
    file("Result.pdf", 2500);
    file("Rocket.pdf", 2500);
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& a = child(folder, "a", "R{4}t.pdf", ItemKind::doc, 1000, 1);
    Item& b = child(folder, "b", "R{4}t.pdf", ItemKind::doc, 2500, 1);
    EXPECT_EQ(match(folder), 2);
    EXPECT_EQ(a.name(), "Report.pdf");
    EXPECT_FALSE(a.ambiguous);
    // The first of the two 2500-byte files in listing order.
    std::string first;
    for (const std::string& n : FS::listNames(dir))
        if (first.empty() && (n == "Result.pdf" || n == "Rocket.pdf"))
            first = n;
    EXPECT_EQ(b.name(), first);
    EXPECT_TRUE(b.resolved);
    EXPECT_TRUE(b.ambiguous);
    EXPECT_EQ(*b.path(), dir + "/" + first);
}

TEST_F(NameMatchingTest, UniquePairIgnoresSizeAndSurplusStaysUnresolved) {
    file("Notes.txt", 10);
    file("Alpha.doc", 1);
    file("Agama.doc", 2);
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& n = child(folder, "n", "N{3}s.txt", ItemKind::doc, 999);
    Item& x1 = child(folder, "x1", "A{3}a.doc", ItemKind::doc, 50);
    Item& x2 = child(folder, "x2", "A{3}a.doc", ItemKind::doc, 60);
    Item& x3 = child(folder, "x3", "A{3}a.doc", ItemKind::doc, 70);
    Item& gone = child(folder, "g", "G{3}e.txt", ItemKind::doc, 5);
    EXPECT_EQ(match(folder), 3);
    EXPECT_TRUE(n.resolved);
    EXPECT_FALSE(n.ambiguous);
    EXPECT_EQ(n.name(), "Notes.txt");
    EXPECT_GT(n.localAlloc, 0);
    EXPECT_TRUE(x1.resolved && x2.resolved);
    EXPECT_TRUE(x1.ambiguous && x2.ambiguous);
    EXPECT_NE(x1.name(), x2.name());
    EXPECT_FALSE(x3.resolved);
    EXPECT_FALSE(gone.resolved);
    EXPECT_EQ(gone.name(), "G{3}e.txt");
}

TEST_F(NameMatchingTest, ModificationTimeDecidesAmongEqualSizes) {
    file("Alpha.doc", 5);
    file("Agama.doc", 5);
    fs::last_write_time(dir + "/Alpha.doc",
                        fs::file_time_type::clock::now() - std::chrono::hours(100));
    const std::int64_t agamaMt = FS::lstat(dir + "/Agama.doc")->mtime;
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& a = child(folder, "a", "A{3}a.doc", ItemKind::doc, 5, agamaMt + 1);
    Item& b = child(folder, "b", "A{3}a.doc", ItemKind::doc, 5, 0);
    EXPECT_EQ(match(folder), 2);
    EXPECT_EQ(a.name(), "Agama.doc");
    EXPECT_FALSE(a.ambiguous);
    // The last one left: one candidate with its primary mask remains, no other item shares it.
    EXPECT_EQ(b.name(), "Alpha.doc");
    EXPECT_FALSE(b.ambiguous);
}

TEST_F(NameMatchingTest, DocumentMatchesPackageFolderWithItsAllocation) {
    fs::create_directory(dir + "/Keynote.key");
    std::ofstream(dir + "/Keynote.key/Data.bin") << std::string(20000, 'k');
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& doc = child(folder, "k", "K{5}e.key", ItemKind::doc, 20000);
    EXPECT_EQ(match(folder), 1);
    EXPECT_TRUE(doc.resolved);
    EXPECT_EQ(doc.localAlloc, FS::packageAlloc(dir + "/Keynote.key", 50000));
    EXPECT_GT(doc.localAlloc, 0);
    EXPECT_TRUE(stack.empty());
}

TEST_F(NameMatchingTest, FoldersByCountThenTheRemainingOneAndContents) {
    fs::create_directories(dir + "/Photos");
    fs::create_directories(dir + "/Pianos");
    for (int i = 0; i < 5; ++i)
        file("Photos/p" + std::to_string(i) + ".jpg", 1);
    file("Photos/.hidden", 1);
    file("Pianos/a.txt", 1);
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& d1 = child(folder, "d1", "P{4}s", ItemKind::dir, 0, 0, 1);
    Item& d2 = child(folder, "d2", "P{4}s", ItemKind::dir, 0, 0, 5);
    EXPECT_EQ(match(folder), 2);
    EXPECT_EQ(d1.name(), "Pianos");
    EXPECT_FALSE(d1.ambiguous);
    EXPECT_EQ(d2.name(), "Photos");
    EXPECT_FALSE(d2.ambiguous);
    ASSERT_EQ(stack.size(), 2u);
    EXPECT_EQ(stack[0].first, &d1);
    EXPECT_EQ(stack[0].second, dir + "/Pianos");
}

TEST_F(NameMatchingTest, FoldersByContentsScoreAndTiesFallToTime) {
    fs::create_directories(dir + "/Mobs");
    fs::create_directories(dir + "/Maps");
    file("Mobs/Song.mp3", 1);
    file("Maps/Prague.gpx", 1);
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& d1 = child(folder, "d1", "M{2}s", ItemKind::dir, 0, 0, 0);
    child(d1, "s", "P{4}e.gpx", ItemKind::doc);
    Item& d2 = child(folder, "d2", "M{2}s", ItemKind::dir, 0, 0, 0);
    Item& d3 = child(folder, "d3", "M{2}s", ItemKind::dir, 0, 0, 0);
    EXPECT_EQ(match(folder), 2);
    EXPECT_EQ(d1.name(), "Maps");
    EXPECT_FALSE(d1.ambiguous);
    // Nothing decides: the first available, flagged; the surplus folder stays unresolved.
    EXPECT_EQ(d2.name(), "Mobs");
    EXPECT_TRUE(d2.ambiguous);
    EXPECT_FALSE(d3.resolved);
}

} // namespace

namespace {

TEST_F(NameMatchingTest, FallbackBreaksTiesByListingOrder) {
    const auto listed = std::make_shared<const std::string>(dir);
    std::deque<LocalEntry> entries;
    auto entry = [&](const std::string& name, std::int64_t size) {
        LocalEntry& e = entries.emplace_back(name, listed, ItemKind::doc, pool);
        e.size = size;
        return &e;
    };
    // Listed in this order; no primary mask equals the printed name, so the fallback decides.
    const std::vector<LocalEntry*> cands = {entry("Aaaa.txt", 0), entry("Bbbb.txt", 100),
                                            entry("Cccc.txt", 100)};
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& big = child(folder, "i1", "Q{2}q.txt", ItemKind::doc, 100);
    Item& mid = child(folder, "i2", "Q{2}q.txt", ItemKind::doc, 50);
    const std::vector<Item*> group = {&big, &mid};
    EXPECT_EQ(NameMatching::matchDocs(group, cands, stack, pool), 2);
    EXPECT_EQ(big.name(), "Bbbb.txt");
    // Aaaa and Cccc are both 50 bytes away: the one listed first wins.
    EXPECT_EQ(mid.name(), "Aaaa.txt");
    EXPECT_TRUE(big.ambiguous && mid.ambiguous);
}

TEST_F(NameMatchingTest, UniqueCandidateLeftToTheGroupOfItsPrimaryMask) {
    // Report 2.pdf masks as R{4}t 2.pdf (its primary) and as R{6}2.pdf.
    file("Report 2.pdf", 3);
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& other = child(folder, "o", "R{6}2.pdf", ItemKind::doc, 3);
    Item& own = child(folder, "p", "R{4}t 2.pdf", ItemKind::doc, 3);
    EXPECT_EQ(match(folder), 1);
    EXPECT_TRUE(own.resolved);
    EXPECT_FALSE(own.ambiguous);
    EXPECT_EQ(own.name(), "Report 2.pdf");
    EXPECT_FALSE(other.resolved);
    EXPECT_EQ(other.name(), "R{6}2.pdf");
}

TEST_F(NameMatchingTest, GuessAfterFailedListingFlagsTheRestOfTheGroup) {
    fs::create_directories(dir + "/Alba");
    fs::create_directories(dir + "/Aura");
    file("Alba/Song.mp3", 1);
    file("Aura/Song.mp3", 1);
    FS::markDataless(dir + "/Alba"); // its contents cannot be read
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& d1 = child(folder, "d1", "A{2}a", ItemKind::dir, 0, 0, 1);
    child(d1, "s", "S{2}g.mp3", ItemKind::doc);
    Item& d2 = child(folder, "d2", "A{2}a", ItemKind::dir, 0, 0, 1);
    EXPECT_EQ(match(folder), 2);
    // Aura wins on contents, but Alba could not be compared: a guess.
    EXPECT_EQ(d1.name(), "Aura");
    EXPECT_TRUE(d1.ambiguous);
    // The one left over is only as certain as the guess before it.
    EXPECT_EQ(d2.name(), "Alba");
    EXPECT_TRUE(d2.ambiguous);
}

TEST_F(NameMatchingTest, CountWithinATenthForLargeFolders) {
    fs::create_directories(dir + "/Bulk");
    fs::create_directories(dir + "/Bank");
    for (int i = 0; i < 44; ++i)
        file("Bulk/f" + std::to_string(i), 1);
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    // 40 expected, 44 found: within 40 / 10, though more than 3 away.
    Item& d1 = child(folder, "d1", "B{2}k", ItemKind::dir, 0, 0, 40);
    Item& d2 = child(folder, "d2", "B{2}k", ItemKind::dir, 0, 0, 0);
    EXPECT_EQ(match(folder), 2);
    EXPECT_EQ(d1.name(), "Bulk");
    EXPECT_FALSE(d1.ambiguous);
    EXPECT_EQ(d2.name(), "Bank");
    EXPECT_FALSE(d2.ambiguous);
}

TEST_F(NameMatchingTest, EqualCountsDecideNothing) {
    fs::create_directories(dir + "/Dune");
    fs::create_directories(dir + "/Dome");
    file("Dune/a", 1);
    file("Dome/b", 1);
    Item& folder = result.add(Item("f", "", "f", ItemKind::dir, 1));
    Item& d1 = child(folder, "d1", "D{2}e", ItemKind::dir, 0, 0, 1);
    Item& d2 = child(folder, "d2", "D{2}e", ItemKind::dir, 0, 0, 1);
    EXPECT_EQ(match(folder), 2);
    EXPECT_TRUE(d1.resolved && d2.resolved);
    EXPECT_NE(d1.name(), d2.name());
    EXPECT_TRUE(d1.ambiguous);
    EXPECT_TRUE(d2.ambiguous);
}

} // namespace
