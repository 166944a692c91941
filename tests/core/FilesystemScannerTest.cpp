#include "TessaryCore/FilesystemScanner.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

class FilesystemScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "fsscan-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
        m_home = m_dir / "home";
        fs::create_directories(m_home / "a" / "sub");
        fs::create_directories(m_home / "b");
        fs::create_directories(m_dir / "outside");
        std::ofstream(m_home / "a" / "one.txt") << std::string(5000, 'x');
        std::ofstream(m_home / "a" / "sub" / "two.txt") << "two";
        std::ofstream(m_dir / "outside" / "big.bin") << std::string(100000, 'o');
        std::ofstream(m_home / "b" / "three.txt") << "three";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    ScanResult build(const std::vector<std::pair<std::string, std::string>>& roots,
                     const CancelCallback& cancel = {}) {
        const ScanEnvironment env(m_home.string());
        return FilesystemScanner::build(roots, noopProgress, cancel, env, TimeoutPool::shared());
    }
    static const Item* child(const Item& folder, std::string_view name) {
        for (const Item* c : folder.children)
            if (c->name() == name)
                return c;
        return nullptr;
    }

    fs::path m_dir;
    fs::path m_home;
};

} // namespace

TEST_F(FilesystemScannerTest, RootsBecomeContainersAndIdsRunAcrossRoots) {
    const ScanResult r = build({{"A", (m_home / "a").string()}, {"B", (m_home / "b").string()}});
    EXPECT_EQ(r.mode, ScanMode::fs);
    ASSERT_EQ(r.roots.size(), 2u);
    EXPECT_EQ(r.roots[0]->id(), "root[1]");
    EXPECT_EQ(r.roots[1]->id(), "root[2]");
    EXPECT_EQ(r.containers.at(2).display, "B");
    EXPECT_EQ(r.containers.at(2).localPath, (m_home / "b").string());
    // The first root holds three items (one.txt, sub, two.txt), so B's child is fs4.
    ASSERT_EQ(r.roots[1]->children.size(), 1u);
    EXPECT_EQ(r.roots[1]->children[0]->id(), "fs4");
    EXPECT_EQ(r.roots[0]->aggSz, 5003);
    EXPECT_EQ(r.stats.at("items_parsed"), 6);
    EXPECT_EQ(r.stats.at("dirs_timeout"), 0);
    const Item* one = child(*r.roots[0], "one.txt");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->path(), (m_home / "a" / "one.txt").string());
    EXPECT_GT(one->localAlloc, 0);
    EXPECT_TRUE(one->resolved);
}

TEST_F(FilesystemScannerTest, LinksAreFollowedOnceAndNeverOutOfHome) {
    fs::create_directory_symlink(m_home / "a", m_home / "a" / "sub" / "loop");
    fs::create_directory_symlink(m_dir / "outside", m_home / "a" / "away");
    fs::create_symlink(m_home / "a" / "one.txt", m_home / "a" / "file-link");
    const ScanResult r = build({{"A", (m_home / "a").string()}});
    const Item& root = *r.roots[0];
    EXPECT_EQ(child(root, "away"), nullptr);
    EXPECT_EQ(child(root, "file-link"), nullptr);
    const Item* loop = child(*child(root, "sub"), "loop");
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(loop->isDir());
    EXPECT_TRUE(loop->children.empty()); // the folder it leads to was already walked
    EXPECT_EQ(root.aggSz, 5003);
}

TEST_F(FilesystemScannerTest, DatalessFoldersAndFilesAreNotDownloaded) {
    const fs::path cloud = m_home / "a" / "cloud";
    fs::create_directory(cloud);
    std::ofstream(cloud / "hidden.txt") << "h";
    FS::markDataless(cloud.string());
    const fs::path placeholder = m_home / "a" / "movie.mov";
    { std::ofstream(placeholder).flush(); }
    fs::resize_file(placeholder, 3'000'000'000);
    FS::markDataless(placeholder.string());

    const ScanResult r = build({{"A", (m_home / "a").string()}});
    const Item* folder = child(*r.roots[0], "cloud");
    ASSERT_NE(folder, nullptr);
    EXPECT_FALSE(folder->enumerated);
    EXPECT_TRUE(folder->children.empty());
    const Item* movie = child(*r.roots[0], "movie.mov");
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->dataless);
    EXPECT_EQ(movie->sz, 3'000'000'000);
    EXPECT_EQ(movie->localAlloc, 0);
    EXPECT_EQ(r.roots[0]->aggCloud, 3'000'000'000);
}

TEST_F(FilesystemScannerTest, CancelStopsTheWalk) {
    EXPECT_THROW((void)build({{"A", (m_home / "a").string()}}, [] { return true; }), ScanError);
}
