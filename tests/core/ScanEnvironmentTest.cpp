#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/FS.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessary;

namespace {

void expectSamePaths(const ScanEnvironment& a, const ScanEnvironment& b) {
    EXPECT_EQ(a.home, b.home);
    EXPECT_EQ(a.mobileDocs, b.mobileDocs);
    EXPECT_EQ(a.cloudDocsDir, b.cloudDocsDir);
    EXPECT_EQ(a.cacheDir, b.cacheDir);
    EXPECT_EQ(a.dumpFile, b.dumpFile);
    EXPECT_EQ(a.metaFile, b.metaFile);
    EXPECT_EQ(a.lockFile, b.lockFile);
}

} // namespace

TEST(ScanEnvironmentTest, DerivesTheSevenPaths) {
    const ScanEnvironment env("/Users/eva");
    EXPECT_EQ(env.home, "/Users/eva");
    EXPECT_EQ(env.mobileDocs, "/Users/eva/Library/Mobile Documents");
    EXPECT_EQ(env.cloudDocsDir, "/Users/eva/Library/Mobile Documents/com~apple~CloudDocs");
    EXPECT_EQ(env.cacheDir, "/Users/eva/Library/Caches/tessary");
    EXPECT_EQ(env.dumpFile, "/Users/eva/Library/Caches/tessary/dump-v.txt");
    EXPECT_EQ(env.metaFile, "/Users/eva/Library/Caches/tessary/meta.json");
    EXPECT_EQ(env.lockFile, "/Users/eva/Library/Caches/tessary/dump.lock");
    EXPECT_EQ(ScanEnvironment::cloudDocsDirName, "com~apple~CloudDocs");
}

TEST(ScanEnvironmentTest, TrailingSlashesAndTheRootFolder) {
    expectSamePaths(ScanEnvironment("/Users/eva/"), ScanEnvironment("/Users/eva"));
    expectSamePaths(ScanEnvironment("/Users/eva///"), ScanEnvironment("/Users/eva"));
    const ScanEnvironment root("/");
    EXPECT_EQ(root.home, "/");
    EXPECT_EQ(root.cacheDir, "/Library/Caches/tessary");
    EXPECT_EQ(root.mobileDocs, "/Library/Mobile Documents");
    EXPECT_EQ(ScanEnvironment("//").home, "/");
}

TEST(ScanEnvironmentTest, DefaultFollowsHomeAtFirstUse) {
    // The default is computed once per process, so each case runs in a fresh child.
    auto childSees = [](const char* home) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (home != nullptr)
                ::setenv("HOME", home, 1);
            else
                ::unsetenv("HOME");
            const ScanEnvironment& env = ScanEnvironment::defaultEnvironment();
            ::setenv("HOME", "/somewhere/else", 1);
            const bool stable = &env == &ScanEnvironment::defaultEnvironment() &&
                                ScanEnvironment::defaultEnvironment().home == env.home;
            const std::string expected = home != nullptr ? std::string(home) : env.home;
            const bool ok = stable && env.home == expected &&
                            env.dumpFile == FS::join(expected, "Library/Caches/tessary/dump-v.txt");
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    EXPECT_TRUE(childSees("/tmp/varnelo-home"));
    EXPECT_TRUE(childSees(nullptr));
}

TEST(FSJoinTest, OneSlashBetweenComponents) {
    EXPECT_EQ(FS::join("/a", "b"), "/a/b");
    EXPECT_EQ(FS::join("/a/", "b"), "/a/b");
    EXPECT_EQ(FS::join("/", "b"), "/b");
    EXPECT_EQ(FS::join("/a", "/b/"), "/a/b");
    EXPECT_EQ(FS::join("", "b"), "b");
    EXPECT_EQ(FS::join("/a", ""), "/a");
    EXPECT_EQ(FS::join("/a", "b c/d"), "/a/b c/d");
}
