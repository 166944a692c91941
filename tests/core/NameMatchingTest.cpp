#include "TessaryCore/NameMatching.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <gtest/gtest.h>

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
