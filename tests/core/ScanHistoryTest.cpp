// The records of earlier scans: their file form, the history folder's bounds and damaged files,
// and the comparison of two scans.
#include "TessaryCore/ScanHistory.hpp"
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/Item.hpp"
#include "TreeFixtures.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tessary;
using namespace fixtures;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t MB = 1'000'000;

// A drive with two folders, "Fotky" holding a big and a small document and "Video" a big one;
// `moved` puts "Video" inside "Fotky", `grow` adds to the big photo.
std::unique_ptr<ScanResult> drive(bool moved = false, std::int64_t grow = 0, bool extra = false) {
    auto res = std::make_unique<ScanResult>();
    Item& root = addRoot(*res, "root[1]");
    Item& photos =
        addChild(*res, root, "AAAAAAAA-1111-2222-3333-444444444444", ItemKind::dir, 0, "Fotky");
    addChild(*res, photos, "big-photo", ItemKind::doc, 5 * MB + grow, "a.jpg");
    addChild(*res, photos, "small-photo", ItemKind::doc, 1000, "b.jpg");
    Item& video = addChild(*res, moved ? photos : root, "BBBBBBBB-1111-2222-3333-444444444444",
                           ItemKind::dir, 0, "Video");
    addChild(*res, video, "movie", ItemKind::doc, 40 * MB, "m.mov");
    if (extra)
        addChild(*res, root, "new-doc", ItemKind::doc, 3 * MB, "n.pdf");
    Aggregator::aggregate(*res);
    return res;
}

} // namespace

TEST(ScanRecord, KeepsFoldersAndBigDocumentsAndSurvivesItsFileFormOnlyWhole) {
    const auto res = drive();
    const ScanRecord record = ScanRecord::of(*res, "icloud", 1700000000);
    // The root, two folders and two documents of at least 1 MB; the small one is left out.
    ASSERT_EQ(record.entries.size(), 5u);
    EXPECT_EQ(record.entries[0].key, "root[1]");
    EXPECT_EQ(record.totals.qta, res->roots[0]->aggQta);
    for (const ScanRecord::Entry& e : record.entries)
        EXPECT_NE(e.key, "small-photo");

    const std::string bytes = record.encode();
    const auto back = ScanRecord::decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->time, record.time);
    EXPECT_EQ(back->source, "icloud");
    EXPECT_EQ(back->totals, record.totals);
    ASSERT_EQ(back->entries.size(), record.entries.size());
    for (std::size_t i = 0; i < record.entries.size(); ++i) {
        EXPECT_EQ(back->entries[i].key, record.entries[i].key);
        EXPECT_EQ(back->entries[i].parent, record.entries[i].parent);
        EXPECT_EQ(back->entries[i].dir, record.entries[i].dir);
        EXPECT_EQ(back->entries[i].values, record.entries[i].values);
    }
    // An id in the usual form takes 16 bytes, not 36.
    EXPECT_LT(bytes.size(), 200u);

    // Cut anywhere, flipped, of a future version or not ours: refused.
    for (std::size_t cut = 0; cut < bytes.size(); cut += 97)
        EXPECT_FALSE(ScanRecord::decode(bytes.substr(0, cut))) << cut;
    EXPECT_FALSE(ScanRecord::decode(bytes.substr(0, bytes.size() - 1)));
    std::string flipped = bytes;
    flipped[flipped.size() / 2] ^= 0x10;
    EXPECT_FALSE(ScanRecord::decode(flipped));
    std::string future = bytes;
    future[20] = 2; // the version's low byte, right after the magic line
    EXPECT_FALSE(ScanRecord::decode(future));
    EXPECT_FALSE(ScanRecord::decode("{\"not\": \"ours\"}"));
}

TEST(ScanComparison, GrownMovedNewAndDeletedItemsWithTheirExactSizes) {
    const auto before = drive();
    const auto after = drive(true, 2 * MB, true);
    const ScanRecord old = ScanRecord::of(*before, "icloud", 100);
    const ScanRecord now = ScanRecord::of(*after, "icloud", 200);
    const ScanComparison cmp(old, now);
    EXPECT_EQ(cmp.since(), 100);

    const auto* photo = cmp.find("big-photo");
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(photo->kind, ScanComparison::Kind::grown);
    EXPECT_EQ(photo->delta(), 2 * MB);
    // The moved folder is the same folder in another place, not a deletion and a new one.
    const auto* video = cmp.find("BBBBBBBB-1111-2222-3333-444444444444");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->kind, ScanComparison::Kind::moved);
    EXPECT_EQ(video->parentBefore, "root[1]");
    EXPECT_EQ(video->parentAfter, "AAAAAAAA-1111-2222-3333-444444444444");
    EXPECT_EQ(video->delta(), 0);
    const auto* added = cmp.find("new-doc");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->kind, ScanComparison::Kind::added);
    EXPECT_EQ(added->delta(), after->get("new-doc")->aggQta);
    EXPECT_EQ(cmp.find("movie"), nullptr) << "unchanged inside the moved folder";

    // The photo folder grew by the photo and the movie moved into it.
    const auto grown = cmp.largest(5, true);
    ASSERT_FALSE(grown.empty());
    EXPECT_EQ(grown.front().key, "AAAAAAAA-1111-2222-3333-444444444444");
    EXPECT_EQ(grown.front().delta(), 2 * MB + after->get("movie")->aggQta);

    // Backwards, the new document is deleted.
    const ScanComparison back(now, old);
    ASSERT_NE(back.find("new-doc"), nullptr);
    EXPECT_EQ(back.find("new-doc")->kind, ScanComparison::Kind::removed);
    EXPECT_EQ(back.find("new-doc")->delta(), -after->get("new-doc")->aggQta);
}

TEST(ScanHistory, KeepsTwelveScansAndItsBytesAndPassesOverDamagedFiles) {
    const TempDir tmp;
    const std::string folder = (tmp.path / "history").string();
    const auto res = drive();
    for (int i = 0; i < 14; ++i)
        ScanHistory::save(folder, ScanRecord::of(*res, "icloud", 1000 + i));
    std::vector<std::string> warnings;
    auto stored = ScanHistory::list(folder, "icloud", warnings);
    ASSERT_EQ(stored.size(), ScanHistory::maxScans);
    EXPECT_EQ(stored.front().time, 1013);
    EXPECT_EQ(stored.back().time, 1002) << "the oldest went first";
    EXPECT_TRUE(warnings.empty());

    // The bytes bound: three records' worth keeps three.
    const std::uintmax_t one = stored.front().bytes;
    ScanHistory::save(folder, ScanRecord::of(*res, "icloud", 2000), {12, one * 3});
    stored = ScanHistory::list(folder, "", warnings);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored.front().time, 2000);

    // A damaged newest record: the next one stands in, with a warning; the new scan is kept.
    const std::string newest = stored.front().file;
    const std::string bytes = readFile(newest);
    std::ofstream(newest, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);
    std::ofstream(folder + "/foreign.scan") << "not a record";
    const auto grown = drive(false, 3 * MB);
    const ScanHistory::Recorded r = ScanHistory::record(*grown, folder, 3000);
    ASSERT_TRUE(r.comparison);
    EXPECT_EQ(r.comparison->since(), 1013);
    EXPECT_EQ(r.comparison->find("big-photo")->delta(), 3 * MB);
    EXPECT_GE(r.warnings.size(), 2u);
    warnings.clear();
    EXPECT_EQ(ScanHistory::list(folder, "icloud", warnings).front().time, 3000);

    // Another source is never compared with.
    EXPECT_FALSE(ScanHistory::record(*grown, (tmp.path / "other").string(), 4000).comparison);
}

// A disk-only scan has no ids that last: items are matched by path, so a renamed folder is one
// deleted and one new folder.
TEST(ScanComparison, DiskOnlyScansCompareByPath) {
    const auto scan = [](const std::string& folderName, std::int64_t size) {
        auto res = std::make_unique<ScanResult>();
        res->mode = ScanMode::fs;
        Item& root = addRoot(*res, "/home/u/Projekty");
        root.setName("Projekty");
        Item& folder =
            addChild(*res, root, "/home/u/Projekty/" + folderName, ItemKind::dir, 0, folderName);
        addChild(*res, folder, "/home/u/Projekty/" + folderName + "/data.bin", ItemKind::doc, size,
                 "data.bin");
        Aggregator::aggregate(*res);
        return ScanRecord::of(*res, "folders", 1);
    };
    const ScanComparison grown(scan("A", 2 * MB), scan("A", 5 * MB));
    ASSERT_NE(grown.find("Projekty/A/data.bin"), nullptr);
    EXPECT_EQ(grown.find("Projekty/A/data.bin")->delta(), 3 * MB);
    EXPECT_EQ(grown.find("Projekty/A")->kind, ScanComparison::Kind::grown);

    const ScanComparison renamed(scan("A", 2 * MB), scan("B", 2 * MB));
    EXPECT_EQ(renamed.find("Projekty/A")->kind, ScanComparison::Kind::removed);
    EXPECT_EQ(renamed.find("Projekty/B")->kind, ScanComparison::Kind::added);
    EXPECT_EQ(renamed.find("Projekty"), nullptr) << "the same size in the same place";
}

// Documents below 1 MB are not recorded: one that shrank below that is smaller, not deleted.
TEST(ScanHistory, ADocumentThatShrankBelowTheRecordedSizeIsNotDeleted) {
    const TempDir tmp;
    const std::string folder = (tmp.path / "history").string();
    (void)ScanHistory::record(*drive(), folder, 100);
    const auto shrunk = drive(false, -4'500'000);
    const ScanHistory::Recorded r = ScanHistory::record(*shrunk, folder, 200);
    ASSERT_TRUE(r.comparison);
    const auto* photo = r.comparison->find("big-photo");
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(photo->kind, ScanComparison::Kind::shrunk);
    EXPECT_EQ(photo->after.qta, shrunk->get("big-photo")->aggQta);
    EXPECT_EQ(photo->parentAfter, "AAAAAAAA-1111-2222-3333-444444444444");
}
