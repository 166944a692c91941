#include "TessaryCore/FilesystemScanner.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

class FilesystemScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::chmod(base.c_str(), 0755);
        home = base + "/home";
        fs::create_directories(home + "/one/sub");
        fs::create_directories(home + "/two");
    }
    ScanResult scan(const std::vector<std::pair<std::string, std::string>>& roots,
                    const CancelCallback& cancel = {}) {
        return FilesystemScanner::build(roots, noopProgress, cancel, ScanEnvironment(home), pool);
    }
    Item* byName(const Item& folder, std::string_view name) {
        for (Item* c : folder.children)
            if (c->name() == name)
                return c;
        return nullptr;
    }

    testsupport::TempDir tmp{"varnelo-fsscan"};
    std::string base = tmp.str();
    std::string home;
    TimeoutPool pool;
};

TEST_F(FilesystemScannerTest, TwoRootsNumberChildrenAcrossRootsAndAggregate) {
    std::ofstream(home + "/one/sub/a.txt") << std::string(100, 'a');
    std::ofstream(home + "/two/b.txt") << std::string(30, 'b');
    const ScanResult r = scan({{"Jedna", home + "/one"}, {"Dva", home + "/two"}});
    EXPECT_EQ(r.mode, ScanMode::fs);
    ASSERT_EQ(r.roots.size(), 2u);
    EXPECT_EQ(r.roots[0]->id(), "root[1]");
    EXPECT_EQ(r.roots[1]->id(), "root[2]");
    EXPECT_EQ(r.containers.at(2).display, "Dva");
    EXPECT_EQ(*r.containers.at(2).localPath, home + "/two");
    EXPECT_EQ(r.containers.at(2).order, 1);
    ASSERT_EQ(r.roots[1]->children.size(), 1u);
    EXPECT_EQ(r.roots[1]->children[0]->id(), "fs3"); // sub and a.txt came first
    EXPECT_EQ(r.roots[1]->children[0]->sz, 30);
    EXPECT_EQ(r.roots[0]->aggSz, 100);
    EXPECT_TRUE(r.roots[0]->enumerated);
    EXPECT_EQ(r.stats.at("items_parsed"), 5);
    EXPECT_EQ(r.stats.at("dirs_timeout"), 0);
    const Item* sub = r.roots[0]->children[0];
    EXPECT_EQ(*sub->path(), home + "/one/sub");
    EXPECT_EQ(sub->parent(), "root[1]");
    EXPECT_TRUE(sub->resolved);
}

TEST_F(FilesystemScannerTest, LinksListedOnceAndNeverOutOfHome) {
    fs::create_directories(base + "/outside");
    std::ofstream(base + "/outside/x.txt") << "x";
    fs::create_directory_symlink(home + "/one", home + "/one/sub/loop");
    fs::create_directory_symlink(base + "/outside", home + "/one/away");
    std::ofstream(home + "/one/f.txt") << "f";
    fs::create_symlink(home + "/one/f.txt", home + "/one/flink");
    const ScanResult r = scan({{"Jedna", home + "/one"}});
    const Item* root = r.roots[0];
    EXPECT_EQ(byName(*root, "away"), nullptr);
    EXPECT_EQ(byName(*root, "flink"), nullptr);
    const Item* sub = byName(*root, "sub");
    ASSERT_NE(sub, nullptr);
    const Item* loop = byName(*sub, "loop");
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(loop->children.empty()); // the root was already walked
    EXPECT_EQ(r.stats.at("items_parsed"), 4);
}

TEST_F(FilesystemScannerTest, DatalessBusyAndRefusedFolders) {
    fs::create_directories(home + "/one/cloud");
    std::ofstream(home + "/one/cloud/in.txt") << "i";
    FS::markDataless(home + "/one/cloud");
    std::ofstream(home + "/one/ph.bin");
    ::truncate((home + "/one/ph.bin").c_str(), 5000);
    FS::markDataless(home + "/one/ph.bin");
    const ScanResult r = scan({{"Jedna", home + "/one"}});
    const Item* cloud = byName(*r.roots[0], "cloud");
    ASSERT_NE(cloud, nullptr);
    EXPECT_FALSE(cloud->enumerated);
    EXPECT_TRUE(cloud->children.empty());
    const Item* ph = byName(*r.roots[0], "ph.bin");
    ASSERT_NE(ph, nullptr);
    EXPECT_TRUE(ph->dataless);
    EXPECT_EQ(ph->sz, 5000);
    EXPECT_EQ(ph->localAlloc, 0);

    fs::create_directories(home + "/two/locked");
    ::chmod((home + "/two/locked").c_str(), 0);
    // The child runs a scan of its own: no thread of the first scan may be inside the allocator
    // when the process is copied, or the child inherits its lock held. Its listers end with the
    // walk; wait until every worker is idle again, and a moment more for the worker's last
    // clean-up after it counted itself idle.
    for (int i = 0; i < 1000 && pool.idle() < pool.threads(); ++i)
        ::usleep(10'000);
    ::usleep(50'000);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(77);
        TimeoutPool own;
        const ScanResult d = FilesystemScanner::build({{"Dva", home + "/two"}}, noopProgress, {},
                                                      ScanEnvironment(home), own);
        const Item* l = d.roots[0]->children.empty() ? nullptr : d.roots[0]->children[0];
        if (!(l && l->denied && !l->enumerated))
            ::_exit(1);
        // The same warning as a database scan gives, so that the text summary shows it too.
        const bool warned =
            d.warnings.size() == 1 &&
            d.warnings[0].starts_with("K 1 složkám systém odepřel přístup (locked)");
        ::_exit(warned && d.stats.at("dirs_denied") == 1 ? 0 : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::chmod((home + "/two/locked").c_str(), 0755);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot drop to user nobody (65534) to check refused access";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(FilesystemScannerTest, FoldersBeyondThePathLimitAreCountedAndWarnedAbout) {
    // Nested deeper than a path can name (long names keep the levels few); made relative to
    // each open folder.
    const std::string name(200, 'd');
    const std::string top = home + "/one/deep";
    fs::create_directories(top);
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
    const ScanResult r = scan({{"Jedna", home + "/one"}});
    // The plain removal of the temporary folder cannot take paths this long.
    EXPECT_EQ(std::system(("rm -rf '" + top + "'").c_str()), 0);
    EXPECT_EQ(r.stats.at("dirs_too_deep"), 1);
    EXPECT_EQ(r.roots[0]->aggUnenum, 1);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0], "1 složek leží tak hluboko, že jejich cesta je delší, než systém "
                             "dovolí – nebyly prozkoumány a počítají se mezi neprozkoumané.");
}

TEST_F(FilesystemScannerTest, HungFolderEndsAtItsLimitWithAWarningAndTheRestIsScanned) {
    fs::create_directories(home + "/one/hung/under");
    fs::create_directories(home + "/one/zz/deeper");
    std::ofstream(home + "/one/zz/deeper/late.txt") << "late";
    FS::markBusy(home + "/one/hung", 30);
    const ScanResult r = FilesystemScanner::build({{"Jedna", home + "/one"}}, noopProgress, {},
                                                  ScanEnvironment(home), pool, 0.5);
    const Item* hung = byName(*r.roots[0], "hung");
    ASSERT_NE(hung, nullptr);
    EXPECT_TRUE(hung->timeout);
    EXPECT_FALSE(hung->enumerated);
    EXPECT_TRUE(hung->children.empty());
    EXPECT_EQ(r.stats.at("dirs_timeout"), 1);
    EXPECT_EQ(r.roots[0]->aggSz, 4); // the folders after the hung one were still listed
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0], "1 složek se nepodařilo vypsat do 0.5 s – nebyly prozkoumány a "
                             "počítají se mezi neprozkoumané.");
}

TEST_F(FilesystemScannerTest, CancelThrows) {
    EXPECT_THROW(
        {
            try {
                (void)scan({{"Jedna", home + "/one"}}, [] { return true; });
            } catch (const ScanError& e) {
                EXPECT_TRUE(e.isCancelled());
                throw;
            }
        },
        ScanError);
}

} // namespace
