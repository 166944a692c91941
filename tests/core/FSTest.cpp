#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/StatInfo.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

// A fresh folder under /tmp, readable by everyone (so a child dropped to nobody can reach it),
// removed afterwards. `home` stands for the home folder, `outside` for a folder beyond it.
class FSTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/varnelo-fs-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        ::chmod(m_root.c_str(), 0755);
        home = m_root + "/home";
        outside = m_root + "/outside";
        fs::create_directories(home);
        fs::create_directories(outside);
    }
    void TearDown() override {
        // Give back permissions a test took away, so everything can be removed.
        std::vector<fs::path> stack{m_root};
        while (!stack.empty()) {
            const fs::path dir = stack.back();
            stack.pop_back();
            ::chmod(dir.c_str(), 0755);
            std::error_code ec;
            for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
                if (it->is_directory(ec) && !it->is_symlink(ec))
                    stack.push_back(it->path());
            }
        }
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    static void writeFile(const std::string& path, std::size_t bytes) {
        std::ofstream out(path, std::ios::binary);
        const std::string data(bytes, 'x');
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    static std::int64_t allocOf(const std::string& path) {
        struct stat st;
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return static_cast<std::int64_t>(st.st_blocks) * 512;
    }

    std::string m_root;
    std::string home;
    std::string outside;
};

template <typename F> FSError fsErrorOf(F&& f) {
    try {
        f();
    } catch (const FSError& e) {
        return e;
    }
    ADD_FAILURE() << "no FSError thrown";
    return FSError(0, "");
}

// Runs `check` on a thread of its own, so a thread policy set there does not outlive the test.
void onFreshThread(const std::function<void()>& check) {
    std::thread(check).join();
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(StatInfoTest, DerivedProperties) {
    EXPECT_EQ(SF_DATALESS, 0x40000000u);
    const StatInfo file{.mode = S_IFREG | 0644, .flags = 0, .size = 10, .blocks = 8};
    EXPECT_EQ(file.alloc(), 4096);
    EXPECT_TRUE(file.isReg());
    EXPECT_FALSE(file.isDir());
    EXPECT_FALSE(file.isLink());
    EXPECT_FALSE(file.isDataless());
    const StatInfo placeholder{
        .mode = S_IFREG | 0644, .flags = SF_DATALESS | 0x20, .size = 1 << 20};
    EXPECT_TRUE(placeholder.isDataless());
    EXPECT_EQ(placeholder.alloc(), 0);
    EXPECT_TRUE(StatInfo{.mode = S_IFDIR | 0755}.isDir());
    EXPECT_TRUE(StatInfo{.mode = S_IFLNK | 0777}.isLink());
}

TEST(FSErrorTest, ClassesAndDescription) {
    const FSError missing(ENOENT, "/tmp/x");
    EXPECT_EQ(missing.code(), ENOENT);
    EXPECT_EQ(missing.path(), "/tmp/x");
    EXPECT_EQ(missing.description(), std::string(std::strerror(ENOENT)) + " (2): /tmp/x");
    EXPECT_STREQ(missing.what(), missing.description().c_str());
    EXPECT_FALSE(missing.isPermission());
    EXPECT_FALSE(missing.isCloudOnly());

    EXPECT_TRUE(FSError(EACCES, "p").isPermission());
    EXPECT_TRUE(FSError(EPERM, "p").isPermission());
    EXPECT_FALSE(FSError(EACCES, "p").isCloudOnly());
    EXPECT_TRUE(FSError(EDEADLK, "p").isCloudOnly());
    EXPECT_TRUE(FSError(ENOTSUP, "p").isCloudOnly());
    EXPECT_FALSE(FSError(EDEADLK, "p").isPermission());
    // A code the system has no text for still reads sensibly.
    EXPECT_TRUE(FSError(99999, "/a").description().ends_with(" (99999): /a"));
    // Caught as the standard exception too.
    try {
        throw FSError(EACCES, "/secret");
    } catch (const std::exception& e) {
        EXPECT_TRUE(std::string(e.what()).ends_with(" (13): /secret"));
    }
}

TEST(IOPolicyTest, ProcessPolicyAndPerThreadOverride) {
    EXPECT_EQ(IOPolicy::typeMaterializeDatalessFiles, 3);
    EXPECT_EQ(IOPolicy::scopeProcess, 0);
    EXPECT_EQ(IOPolicy::scopeThread, 1);
    EXPECT_EQ(IOPolicy::materializeOff, 1);
    EXPECT_EQ(IOPolicy::materializeOn, 2);

    onFreshThread([] {
        // Nothing set: the default does not download.
        EXPECT_EQ(IOPolicy::currentMaterialize(IOPolicy::scopeThread), 0);
        EXPECT_FALSE(IOPolicy::materializesOnThisThread());

        EXPECT_TRUE(IOPolicy::setMaterialize(IOPolicy::scopeProcess, IOPolicy::materializeOn));
        EXPECT_TRUE(IOPolicy::materializesOnThisThread());
        EXPECT_TRUE(IOPolicy::disableMaterialization());
        EXPECT_EQ(IOPolicy::currentMaterialize(IOPolicy::scopeProcess), IOPolicy::materializeOff);
        EXPECT_FALSE(IOPolicy::materializesOnThisThread());

        // The thread's own policy wins over the process policy, and only on this thread.
        EXPECT_TRUE(IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOn));
        EXPECT_EQ(IOPolicy::currentMaterialize(IOPolicy::scopeThread), IOPolicy::materializeOn);
        EXPECT_TRUE(IOPolicy::materializesOnThisThread());
        onFreshThread([] {
            EXPECT_EQ(IOPolicy::currentMaterialize(IOPolicy::scopeThread), 0);
            EXPECT_FALSE(IOPolicy::materializesOnThisThread());
        });
        EXPECT_TRUE(IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOff));
        EXPECT_TRUE(IOPolicy::setMaterialize(IOPolicy::scopeProcess, IOPolicy::materializeOn));
        EXPECT_FALSE(IOPolicy::materializesOnThisThread());

        EXPECT_FALSE(IOPolicy::setMaterialize(7, IOPolicy::materializeOn));
        EXPECT_FALSE(IOPolicy::setMaterialize(IOPolicy::scopeThread, 9));
        EXPECT_EQ(IOPolicy::currentMaterialize(7), -1);
        EXPECT_TRUE(IOPolicy::setMaterialize(IOPolicy::scopeProcess, 0));
    });
}

TEST_F(FSTest, LstatExistsRealpathAndIsDirectory) {
    const std::string file = home + "/file.bin";
    writeFile(file, 5000);
    const std::optional<StatInfo> st = FS::lstat(file);
    ASSERT_TRUE(st);
    struct stat raw;
    ASSERT_EQ(::lstat(file.c_str(), &raw), 0);
    EXPECT_TRUE(st->isReg());
    EXPECT_EQ(st->size, 5000);
    EXPECT_EQ(st->blocks, raw.st_blocks);
    EXPECT_EQ(st->ino, raw.st_ino);
    EXPECT_EQ(st->dev, raw.st_dev);
    EXPECT_EQ(st->mtime, raw.st_mtim.tv_sec);
    EXPECT_EQ(st->flags, 0u);
    EXPECT_EQ(FS::lstatThrowing(file), *st);

    const std::string missing = home + "/missing";
    EXPECT_FALSE(FS::lstat(missing));
    EXPECT_FALSE(FS::exists(missing));
    EXPECT_FALSE(FS::realpath(missing));
    EXPECT_FALSE(FS::isDirectory(missing));
    EXPECT_EQ(fsErrorOf([&] { (void)FS::lstatThrowing(missing); }), FSError(ENOENT, missing));

    // A dangling link exists as itself, but leads nowhere.
    const std::string dangling = home + "/dangling";
    fs::create_symlink(missing, dangling);
    ASSERT_TRUE(FS::lstat(dangling));
    EXPECT_TRUE(FS::lstat(dangling)->isLink());
    EXPECT_TRUE(FS::exists(dangling));
    EXPECT_FALSE(FS::realpath(dangling));
    EXPECT_FALSE(FS::isDirectory(dangling));

    // A loop of links: each exists, none resolves.
    fs::create_symlink(home + "/loopB", home + "/loopA");
    fs::create_symlink(home + "/loopA", home + "/loopB");
    EXPECT_TRUE(FS::exists(home + "/loopA"));
    EXPECT_FALSE(FS::realpath(home + "/loopA"));
    EXPECT_FALSE(FS::isDirectory(home + "/loopA"));

    // isDirectory follows links, lstat does not.
    fs::create_directories(home + "/dir");
    fs::create_symlink(home + "/dir", home + "/toDir");
    fs::create_symlink(file, home + "/toFile");
    EXPECT_TRUE(FS::isDirectory(home + "/dir"));
    EXPECT_TRUE(FS::isDirectory(home + "/toDir"));
    EXPECT_TRUE(FS::lstat(home + "/toDir")->isLink());
    EXPECT_FALSE(FS::isDirectory(home + "/toFile"));
    EXPECT_FALSE(FS::isDirectory(file));
    EXPECT_EQ(FS::realpath(home + "/toDir/../dir/./"), home + "/dir");

    // A NUL byte never cuts the path short to something that exists.
    const std::string withNul = file + std::string("\0junk", 5);
    EXPECT_FALSE(FS::lstat(withNul));
    EXPECT_FALSE(FS::exists(withNul));
    EXPECT_FALSE(FS::realpath(withNul));
    EXPECT_FALSE(FS::isDirectory(home + std::string("\0", 1)));
    EXPECT_EQ(fsErrorOf([&] { (void)FS::lstatThrowing(withNul); }), FSError(EINVAL, withNul));
    EXPECT_EQ(fsErrorOf([&] { (void)FS::listNames(home + std::string("\0", 1)); }).code(), EINVAL);
    EXPECT_EQ(FS::packageAlloc(home + std::string("\0", 1), 100), 0);
    EXPECT_FALSE(FS::lstat(""));
}

TEST(FSHomeTest, IsInsideHomeIsTextual) {
    EXPECT_TRUE(FS::isInsideHome("/Users/a", "/Users/a"));
    EXPECT_TRUE(FS::isInsideHome("/Users/a/", "/Users/a"));
    EXPECT_TRUE(FS::isInsideHome("/Users/a/x/y", "/Users/a"));
    EXPECT_FALSE(FS::isInsideHome("/Users/ab", "/Users/a"));
    EXPECT_FALSE(FS::isInsideHome("/Users/ab/x", "/Users/a"));
    EXPECT_FALSE(FS::isInsideHome("/Users", "/Users/a"));
    EXPECT_FALSE(FS::isInsideHome("Users/a/x", "/Users/a"));
    EXPECT_FALSE(FS::isInsideHome("", "/Users/a"));
    // No normalisation: ".." is just a name.
    EXPECT_TRUE(FS::isInsideHome("/Users/a/../b", "/Users/a"));
    // Trailing slashes of home do not matter; home "/" holds every absolute path.
    EXPECT_TRUE(FS::isInsideHome("/Users/a/x", "/Users/a/"));
    EXPECT_FALSE(FS::isInsideHome("/Users/ab", "/Users/a//"));
    EXPECT_TRUE(FS::isInsideHome("/anything", "/"));
    EXPECT_TRUE(FS::isInsideHome("/", "/"));
    EXPECT_FALSE(FS::isInsideHome("relative", "/"));
    // An unknown home holds nothing: no link would be followed.
    EXPECT_FALSE(FS::isInsideHome("/Users/a", ""));
}

TEST_F(FSTest, LstatDirFollowsOnlyLinksToFoldersInsideHome) {
    fs::create_directories(home + "/Docs/target");
    fs::create_directories(outside + "/elsewhere");
    writeFile(home + "/plain.txt", 10);

    // Not a link: returned as it is, whatever it is.
    auto [dirStat, dirPath] = FS::lstatDir(home + "/Docs", home);
    ASSERT_TRUE(dirStat);
    EXPECT_TRUE(dirStat->isDir());
    EXPECT_EQ(dirPath, home + "/Docs");
    auto [fileStat, filePath] = FS::lstatDir(home + "/plain.txt", home);
    ASSERT_TRUE(fileStat);
    EXPECT_TRUE(fileStat->isReg());
    EXPECT_EQ(filePath, home + "/plain.txt");

    // A link to a folder inside home: the target's stat and canonical path (through a
    // relative link and a link to a link).
    fs::create_symlink("Docs/target", home + "/inside");
    fs::create_symlink(home + "/inside", home + "/viaLink");
    const std::string target = home + "/Docs/target";
    for (const std::string& link : {home + "/inside", home + "/viaLink"}) {
        auto [st, path] = FS::lstatDir(link, home);
        ASSERT_TRUE(st) << link;
        EXPECT_TRUE(st->isDir());
        EXPECT_EQ(st->ino, FS::lstat(target)->ino);
        EXPECT_EQ(path, target);
    }

    // Links out of home, to a file, dangling, looping, and a missing path: (none, the path).
    fs::create_symlink(outside + "/elsewhere", home + "/out");
    fs::create_symlink(home + "/plain.txt", home + "/toFile");
    fs::create_symlink(home + "/nothing", home + "/dangling");
    fs::create_symlink(home + "/loop2", home + "/loop1");
    fs::create_symlink(home + "/loop1", home + "/loop2");
    // A neighbour whose name only starts like home is outside it.
    fs::create_directories(home + "2/sub");
    fs::create_symlink(home + "2/sub", home + "/neighbour");
    for (const std::string& p : {home + "/out", home + "/toFile", home + "/dangling",
                                 home + "/loop1", home + "/missing", home + "/neighbour"}) {
        auto [st, path] = FS::lstatDir(p, home);
        EXPECT_FALSE(st) << p;
        EXPECT_EQ(path, p);
    }
    // The same link to the outside folder counts when home is wider.
    auto [wide, widePath] = FS::lstatDir(home + "/out", m_root);
    EXPECT_TRUE(wide);
    EXPECT_EQ(widePath, outside + "/elsewhere");
}

TEST_F(FSTest, ListNamesLimitOrderAndErrors) {
    const std::string dir = home + "/five";
    fs::create_directories(dir);
    const std::vector<std::string> five = {".hidden", "b", "c d", "\xff\x01odd", "e"};
    for (const std::string& name : five)
        writeFile(dir + "/" + name, 1);
    fs::create_directories(dir + "/../six");

    std::vector<std::string> all = FS::listNames(dir);
    std::vector<std::string> sorted = all;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> expected = five;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);

    // One name more than the limit, in the filesystem's own order.
    const std::vector<std::string> three = FS::listNames(dir, 2);
    EXPECT_EQ(three, std::vector<std::string>(all.begin(), all.begin() + 3));
    EXPECT_EQ(FS::listNames(dir, 0).size(), 1u);
    EXPECT_EQ(FS::listNames(dir, 4).size(), 5u);
    EXPECT_EQ(FS::listNames(dir, 5).size(), 5u);
    EXPECT_EQ(FS::listNames(dir, -3).size(), 1u);
    fs::create_directories(home + "/empty");
    EXPECT_TRUE(FS::listNames(home + "/empty", 0).empty());

    // The folder behind a link is listed.
    fs::create_symlink(dir, home + "/link");
    EXPECT_EQ(FS::listNames(home + "/link").size(), 5u);

    const std::string missing = home + "/missing";
    const FSError err = fsErrorOf([&] { (void)FS::listNames(missing); });
    EXPECT_EQ(err, FSError(ENOENT, missing));
    EXPECT_TRUE(err.description().ends_with(" (2): " + missing));
    EXPECT_EQ(fsErrorOf([&] { (void)FS::listNames(dir + "/b"); }).code(), ENOTDIR);
    fs::create_symlink(home + "/lp2", home + "/lp1");
    fs::create_symlink(home + "/lp1", home + "/lp2");
    EXPECT_EQ(fsErrorOf([&] { (void)FS::listNames(home + "/lp1"); }).code(), ELOOP);
}

TEST_F(FSTest, DatalessMarkReachesStatFlags) {
    const std::string placeholder = home + "/cloud.pdf";
    writeFile(placeholder, 0);
    ::truncate(placeholder.c_str(), 1 << 20); // a size, but no blocks
    FS::markDataless(placeholder);
    const StatInfo st = FS::lstatThrowing(placeholder);
    EXPECT_TRUE(st.isDataless());
    EXPECT_EQ(st.size, 1 << 20);
    EXPECT_EQ(st.alloc(), 0);

    // A file with data on the disk is not a placeholder, whatever attribute it carries.
    const std::string local = home + "/local.pdf";
    writeFile(local, 10000);
    FS::markDataless(local);
    EXPECT_FALSE(FS::lstatThrowing(local).isDataless());

    const std::string folder = home + "/never-opened";
    fs::create_directories(folder);
    FS::markDataless(folder);
    EXPECT_TRUE(FS::lstat(folder)->isDataless());
    // The mark belongs to the item, not to a link to it.
    fs::create_symlink(folder, home + "/toFolder");
    EXPECT_FALSE(FS::lstat(home + "/toFolder")->isDataless());

    EXPECT_EQ(fsErrorOf([&] { FS::markDataless(home + "/missing"); }).code(), ENOENT);
}

TEST_F(FSTest, ListingReadsEachEntrysDatalessMark) {
    const std::string dir = home + "/listed";
    fs::create_directories(dir + "/cloud folder");
    writeFile(dir + "/cloud.pdf", 0);
    ::truncate((dir + "/cloud.pdf").c_str(), 1 << 20);
    writeFile(dir + "/empty.txt", 0);
    FS::markDataless(dir + "/cloud.pdf");
    FS::markDataless(dir + "/cloud folder");
    fs::create_symlink(dir + "/cloud folder", dir + "/link");
    std::map<std::string, bool> marks;
    for (const FS::Entry& e : FS::listStats(dir))
        marks[e.name] = e.stat && e.stat->isDataless();
    const std::map<std::string, bool> expected = {
        {"cloud folder", true}, {"cloud.pdf", true}, {"empty.txt", false}, {"link", false}};
    EXPECT_EQ(marks, expected);
}

TEST_F(FSTest, DatalessFolderIsListedOnlyWhileMaterializing) {
    const std::string folder = home + "/never-opened";
    fs::create_directories(folder);
    writeFile(folder + "/inside.txt", 3);
    FS::markDataless(folder);

    onFreshThread([&] {
        IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOff);
        const FSError refused = fsErrorOf([&] { (void)FS::listNames(folder); });
        EXPECT_EQ(refused, FSError(EDEADLK, folder));
        EXPECT_TRUE(refused.isCloudOnly());
        EXPECT_FALSE(refused.isPermission());
        // Refusing does not materialize anything.
        EXPECT_TRUE(FS::lstat(folder)->isDataless());
    });
    onFreshThread([&] {
        // The default policy does not download either.
        EXPECT_EQ(fsErrorOf([&] { (void)FS::listNames(folder); }).code(), EDEADLK);
    });
    onFreshThread([&] {
        IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOn);
        EXPECT_EQ(FS::listNames(folder), std::vector<std::string>{"inside.txt"});
        // Listed once, materialized for good.
        EXPECT_FALSE(FS::lstat(folder)->isDataless());
        IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOff);
        EXPECT_EQ(FS::listNames(folder), std::vector<std::string>{"inside.txt"});
    });
}

TEST_F(FSTest, PackageAllocSumsLocalFilesOnly) {
    const std::string pkg = home + "/Album.photoslibrary";
    fs::create_directories(pkg + "/resources/derivatives");
    fs::create_directories(pkg + "/database");
    writeFile(pkg + "/Info.plist", 1000);
    writeFile(pkg + "/resources/a.jpg", 20000);
    writeFile(pkg + "/resources/derivatives/b.jpg", 70000);
    writeFile(pkg + "/database/empty", 0);
    const std::int64_t expected = allocOf(pkg + "/Info.plist") + allocOf(pkg + "/resources/a.jpg") +
                                  allocOf(pkg + "/resources/derivatives/b.jpg");
    ASSERT_GT(expected, 0);
    EXPECT_EQ(FS::packageAlloc(pkg, 50000), expected);

    // Links inside are not followed, to files or to folders.
    writeFile(outside + "/big.bin", 200000);
    fs::create_symlink(outside + "/big.bin", pkg + "/big-link");
    fs::create_symlink(outside, pkg + "/dir-link");
    fs::create_directories(outside + "/more");
    writeFile(outside + "/more/c.bin", 50000);
    EXPECT_EQ(FS::packageAlloc(pkg, 50000), expected);

    // Dataless files and folders add nothing; an unreadable start adds nothing.
    const std::string cloudDir = pkg + "/cloud";
    fs::create_directories(cloudDir);
    writeFile(cloudDir + "/local-looking.bin", 30000);
    FS::markDataless(cloudDir);
    writeFile(pkg + "/placeholder.mov", 0);
    ::truncate((pkg + "/placeholder.mov").c_str(), 5 << 20);
    FS::markDataless(pkg + "/placeholder.mov");
    EXPECT_EQ(FS::packageAlloc(pkg, 50000), expected);
    // Even a thread that materializes does not download while summing a package.
    onFreshThread([&] {
        IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOn);
        EXPECT_EQ(FS::packageAlloc(pkg, 50000), expected);
        EXPECT_TRUE(FS::lstat(cloudDir)->isDataless());
    });

    const std::string cloudPkg = home + "/Cloud.fcpbundle";
    fs::create_directories(cloudPkg);
    writeFile(cloudPkg + "/data.bin", 40000);
    FS::markDataless(cloudPkg);
    EXPECT_EQ(FS::packageAlloc(cloudPkg, 50000), 0);
    EXPECT_EQ(FS::packageAlloc(home + "/missing", 50000), 0);
    EXPECT_EQ(FS::packageAlloc(pkg + "/Info.plist", 50000), 0);
}

TEST_F(FSTest, PackageAllocStopsAtTheEntryLimitBetweenFolders) {
    // The root holds a file and one folder (two entries); the folder holds one file.
    const std::string pkg = home + "/Deep.bundle";
    fs::create_directories(pkg + "/sub");
    writeFile(pkg + "/a.bin", 8192);
    writeFile(pkg + "/sub/b.bin", 16384);
    const std::int64_t a = allocOf(pkg + "/a.bin");
    const std::int64_t b = allocOf(pkg + "/sub/b.bin");

    EXPECT_EQ(FS::packageAlloc(pkg, 0), 0);
    // A folder once opened is read to its end, even past the limit.
    EXPECT_EQ(FS::packageAlloc(pkg, 1), a);
    // Two entries counted: the sub-folder is not opened any more.
    EXPECT_EQ(FS::packageAlloc(pkg, 2), a);
    EXPECT_EQ(FS::packageAlloc(pkg, 3), a + b);
}

TEST_F(FSTest, BusyFolderBlocksItsListingAndPackagesInIt) {
    const std::string slow = home + "/syncing";
    fs::create_directories(slow + "/Project.bundle");
    writeFile(slow + "/Project.bundle/x.bin", 5000);
    FS::markBusy(slow, 0.6);

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FS::listNames(slow), std::vector<std::string>{"Project.bundle"});
    EXPECT_GE(secondsSince(start), 0.55);

    start = std::chrono::steady_clock::now();
    EXPECT_EQ(FS::packageAlloc(slow + "/Project.bundle", 50000),
              allocOf(slow + "/Project.bundle/x.bin"));
    EXPECT_GE(secondsSince(start), 0.55);

    // A busy folder that is also cloud-only keeps the caller waiting before refusing.
    FS::markDataless(slow);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(fsErrorOf([&] { (void)FS::listNames(slow); }).code(), EDEADLK);
    EXPECT_GE(secondsSince(start), 0.55);

    FS::markBusy(slow, 0);
    EXPECT_LT(::getxattr(slow.c_str(), "user.tessary.busy", nullptr, 0), 0);
    FS::markBusy(slow, 0); // removing an absent mark is fine
    // Unreadable marks do not block.
    ::setxattr(slow.c_str(), "user.tessary.busy", "soon", 4, 0);
    EXPECT_EQ(fsErrorOf([&] { (void)FS::listNames(slow); }).code(), EDEADLK);
}

TEST_F(FSTest, RefusedAccessAsAnUnprivilegedUser) {
    const std::string locked = home + "/locked";
    fs::create_directories(locked + "/inner");
    writeFile(locked + "/secret.bin", 9000);
    const std::string pkg = home + "/Mixed.bundle";
    fs::create_directories(pkg + "/closed");
    writeFile(pkg + "/open.bin", 9000);
    writeFile(pkg + "/closed/hidden.bin", 90000);
    const std::int64_t open = allocOf(pkg + "/open.bin");
    ::chmod(locked.c_str(), 0);
    ::chmod((pkg + "/closed").c_str(), 0);

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(pipeFds[0]);
        // Root ignores permission bits: become nobody first.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(77);
        std::string failures;
        auto expect = [&](bool ok, const char* what) {
            if (!ok)
                failures += std::string(what) + "\n";
        };
        try {
            (void)FS::listNames(locked);
            expect(false, "listNames of a locked folder succeeded");
        } catch (const FSError& e) {
            expect(e == FSError(EACCES, locked), "listNames error is not EACCES with the path");
            expect(e.isPermission(), "listNames error is not a permission error");
        } catch (...) {
            expect(false, "listNames threw something else");
        }
        expect(!FS::lstat(locked + "/secret.bin"), "lstat inside a locked folder succeeded");
        try {
            (void)FS::lstatThrowing(locked + "/secret.bin");
            expect(false, "lstatThrowing inside a locked folder succeeded");
        } catch (const FSError& e) {
            expect(e.code() == EACCES && e.isPermission(), "lstatThrowing error is not EACCES");
        }
        expect(FS::lstat(locked).has_value(), "the locked folder itself cannot be stat-ed");
        expect(FS::packageAlloc(pkg, 50000) == open, "packageAlloc did not skip the closed part");
        expect(FS::packageAlloc(locked, 50000) == 0, "packageAlloc of a locked folder is not 0");
        const ssize_t n = ::write(pipeFds[1], failures.data(), failures.size());
        (void)n;
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string failures;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        failures.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot drop to user nobody (65534) to check refused access";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(failures, "");
}
