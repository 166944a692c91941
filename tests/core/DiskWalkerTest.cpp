#include "TessaryCore/DiskWalker.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

using Outcome = DiskWalker::Outcome;

class DiskWalkerTest : public ::testing::Test {
protected:
    void SetUp() override { home = tmp.str(); }

    // Takes every folder as a depth-first reader does (the last child folder first) and
    // returns each one's outcome and entry count by path.
    std::map<std::string, std::pair<Outcome, std::size_t>> walkAll(DiskWalker& walker,
                                                                   const std::string& root) {
        std::map<std::string, std::pair<Outcome, std::size_t>> seen;
        std::vector<std::string> stack{root};
        while (!stack.empty()) {
            const std::string at = stack.back();
            stack.pop_back();
            std::optional<DiskWalker::Folder> folder = walker.take(at, {});
            if (!folder) {
                ADD_FAILURE() << "no listing for " << at;
                continue;
            }
            EXPECT_EQ(folder->path, at);
            seen[at] = {folder->outcome, folder->entries.size()};
            for (std::size_t i = 0; i < folder->entries.size(); ++i)
                if (folder->descendsInto(i))
                    stack.push_back(FS::join(folder->listed, folder->entries[i].name));
        }
        return seen;
    }

    testsupport::TempDir tmp{"varnelo-diskwalker"};
    std::string home;
    TimeoutPool pool;
};

TEST_F(DiskWalkerTest, ListsEveryFolderOnceFollowingLinksOnlyInsideHome) {
    const std::string root = home + "/root";
    fs::create_directories(root + "/a/b");
    fs::create_directories(root + "/cloud");
    fs::create_directories(home + "/elsewhere/inner");
    std::ofstream(root + "/a/b/f.txt") << "f";
    FS::markDataless(root + "/cloud");
    fs::create_directory_symlink(root + "/a", root + "/again");       // listed already
    fs::create_directory_symlink(home + "/elsewhere", root + "/via"); // inside home: followed
    fs::create_directory_symlink("/usr", root + "/out");              // outside home: not
    fs::create_symlink(root + "/a/b/f.txt", root + "/file-link");     // not a folder
    DiskWalker walker(root, home, 15.0, pool);
    const auto seen = walkAll(walker, root);

    EXPECT_EQ(seen.at(root), std::make_pair(Outcome::listed, std::size_t{6}));
    EXPECT_EQ(seen.at(root + "/a/b"), std::make_pair(Outcome::listed, std::size_t{1}));
    EXPECT_EQ(seen.at(root + "/cloud").first, Outcome::dataless);
    EXPECT_EQ(seen.at(root + "/via"), std::make_pair(Outcome::listed, std::size_t{1}));
    // Below a followed link the paths are those of its target.
    EXPECT_EQ(seen.at(home + "/elsewhere/inner").first, Outcome::listed);
    // "again" leads to "a": one of the two paths lists it, the other is skipped.
    EXPECT_NE(seen.at(root + "/a").first == Outcome::listed,
              seen.at(root + "/again").first == Outcome::listed);
    EXPECT_EQ(seen.count(root + "/out"), 0u);
    EXPECT_EQ(seen.count(root + "/file-link"), 0u);
    EXPECT_EQ(seen.size(), 7u);
    // The walk is over: a path it never reaches has no listing, and none is waited for.
    EXPECT_FALSE(walker.take(root + "/nowhere", {}).has_value());
}

TEST_F(DiskWalkerTest, MissingRootIsSkipped) {
    DiskWalker walker(home + "/missing", home, 15.0, pool);
    const std::optional<DiskWalker::Folder> folder = walker.take(home + "/missing", {});
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(folder->outcome, Outcome::skipped);
}

TEST_F(DiskWalkerTest, HungFolderIsGivenUpAndTheRestOfTheTreeStillComes) {
    const std::string root = home + "/root";
    fs::create_directories(root + "/a-before/deep");
    fs::create_directories(root + "/m-hung/under");
    fs::create_directories(root + "/z-after/deep");
    FS::markBusy(root + "/m-hung", 30);
    DiskWalker walker(root, home, 0.5, pool);
    const auto seen = walkAll(walker, root);
    // Given up at its limit: had the walk waited for the listing, it would have come back.
    EXPECT_EQ(seen.at(root + "/m-hung").first, Outcome::timedOut);
    EXPECT_EQ(seen.count(root + "/m-hung/under"), 0u);
    EXPECT_EQ(seen.at(root + "/a-before/deep").first, Outcome::listed);
    EXPECT_EQ(seen.at(root + "/z-after/deep").first, Outcome::listed);
}

TEST_F(DiskWalkerTest, SlowReaderGetsEveryFolderOfATreeLargerThanWhatIsHeldAhead) {
    // More folders than may be held ahead of the reader, so the listers wait for it and the
    // reader's next folders are still taken first.
    const std::string root = home + "/root";
    for (int i = 0; i < 70; ++i)
        for (int j = 0; j < 70; ++j)
            fs::create_directories(root + "/d" + std::to_string(i) + "/e" + std::to_string(j));
    DiskWalker walker(root, home, 15.0, pool);
    ASSERT_TRUE(walker.take(root, {}).has_value());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto seen = walkAll(walker, root + "/d0");
    EXPECT_EQ(seen.size(), 71u);
    std::size_t rest = 0;
    for (int i = 1; i < 70; ++i)
        rest += walkAll(walker, root + "/d" + std::to_string(i)).size();
    EXPECT_EQ(rest, 69u * 71u);
}

TEST_F(DiskWalkerTest, CancelStopsTheWaitForAHungFolder) {
    const std::string root = home + "/root";
    fs::create_directories(root);
    FS::markBusy(root, 30);
    DiskWalker walker(root, home, 60.0, pool);
    try {
        (void)walker.take(root, [] { return true; });
        ADD_FAILURE() << "not cancelled";
    } catch (const ScanError& e) {
        EXPECT_TRUE(e.isCancelled());
    }
}

TEST_F(DiskWalkerTest, StoppedWalkerWaitsForNothing) {
    const std::string root = home + "/root";
    fs::create_directories(root);
    FS::markBusy(root, 30);
    DiskWalker walker(root, home, 60.0, pool);
    walker.stop();
    // The root is still being listed, but a stopped walker hands over only what is ready.
    EXPECT_FALSE(walker.take(root, [] { return true; }).has_value());
    EXPECT_FALSE(walker.takeReady(root).has_value());
}

} // namespace
