#include "TessaryCore/NameResolver.hpp"
#include "TessaryCore/DiskWalker.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/Masking.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

class NameResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::chmod(base.c_str(), 0755);
        home = base + "/home";
        top = home + "/c";
        fs::create_directories(top);
        auto& c = result.containers.emplace(1, Container(1, "c")).first->second;
        c.localPath = top;
        root = &result.put(Item("root[1]", "", "c", ItemKind::dir, 1));
        c.root = root;
        result.roots.push_back(root);
    }
    Item& child(Item& parent, const std::string& id, const std::string& pat, ItemKind kind) {
        Item& it = result.add(Item(id, std::string(parent.id()), pat, kind, 1));
        parent.children.push_back(&it);
        return it;
    }
    std::int64_t resolve(std::optional<double> listTimeout = 15.0,
                         const std::unordered_set<std::string>& allow = {}) {
        return NameResolver::resolveNames(result, noopProgress, allow, nullptr, std::nullopt, {},
                                          listTimeout, 600.0, ScanEnvironment(home), pool);
    }
    // The same with the listings of `ahead`.
    void resolveAhead(DiskWalker& ahead, double listTimeout) {
        (void)NameResolver::resolveNames(result, noopProgress, {}, nullptr, std::nullopt, {},
                                         listTimeout, 600.0, ScanEnvironment(home), pool, &ahead);
    }
    // The only warning is the one about folders not listed within `seconds`.
    void expectOneTimeoutWarning(const std::string& seconds) {
        ASSERT_EQ(result.warnings.size(), 1u);
        EXPECT_EQ(
            result.warnings[0].rfind("1 složek se nepodařilo vypsat do " + seconds + " s ", 0), 0u)
            << result.warnings[0];
    }

    testsupport::TempDir tmp{"varnelo-resolve"};
    std::string base = tmp.str();
    std::string home, top;
    ScanResult result;
    Item* root = nullptr;
    TimeoutPool pool;
};

TEST_F(NameResolverTest, DatalessFolderSkippedByScanListedWhenAllowed) {
    fs::create_directories(top + "/Archive");
    std::ofstream(top + "/Archive/Letter.txt") << "hi";
    FS::markDataless(top + "/Archive");
    Item& archive = child(*root, "A1", "A{5}e", ItemKind::dir);
    Item& letter = child(archive, "L1", "L{4}r.txt", ItemKind::doc);
    EXPECT_EQ(resolve(), 1);
    EXPECT_TRUE(archive.resolved);
    EXPECT_FALSE(archive.enumerated);
    EXPECT_EQ(*archive.path(), top + "/Archive");
    EXPECT_FALSE(letter.resolved);
    EXPECT_EQ(result.stats["dirs_total"], 2); // the root and Archive
    EXPECT_EQ(result.stats["dirs_enumerated"], 1);

    // Hydration from the folder itself, allowed to download.
    const auto n = NameResolver::resolveNames(result, noopProgress, {"A1"}, &archive, std::nullopt,
                                              {}, 15.0, 600.0, ScanEnvironment(home), pool);
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(archive.enumerated);
    EXPECT_TRUE(letter.resolved);
    EXPECT_EQ(letter.name(), "Letter.txt");
    // Counters add up, the folder total stays.
    EXPECT_EQ(result.stats["dirs_enumerated"], 2);
    EXPECT_EQ(result.stats["names_resolved"], 2);
    EXPECT_EQ(result.stats["dirs_total"], 2);
}

TEST_F(NameResolverTest, FoldersListedAheadAreTakenAsTheyWereListed) {
    fs::create_directories(top + "/Docs");
    std::ofstream(top + "/Docs/a.txt") << "a";
    DiskWalker ahead(top, home, 15.0, pool, 1);
    for (int i = 0; i < 1000 && !ahead.done(); ++i)
        ::usleep(10'000);
    ASSERT_TRUE(ahead.done());
    ahead.stop();
    // Made after the listing: the resolver does not list the folder again, so it is not seen.
    std::ofstream(top + "/Docs/b.txt") << "b";
    Item& docs = child(*root, "D1", "D{2}s", ItemKind::dir);
    Item& a = child(docs, "A1", "a.txt", ItemKind::doc);
    Item& b = child(docs, "B1", "b.txt", ItemKind::doc);
    resolveAhead(ahead, 15.0);
    EXPECT_TRUE(docs.enumerated);
    EXPECT_TRUE(a.resolved);
    EXPECT_FALSE(b.resolved);
}

TEST_F(NameResolverTest, FolderStuckInTheListingAheadEndsAtTheResolversLimit) {
    fs::create_directories(top + "/Fast");
    fs::create_directories(top + "/Slow");
    FS::markBusy(top + "/Slow", 3);
    DiskWalker ahead(top, home, 15.0, pool, 1);
    ahead.stop();
    Item& fast = child(*root, "F1", "F{2}t", ItemKind::dir);
    Item& slow = child(*root, "S1", "S{2}w", ItemKind::dir);
    resolveAhead(ahead, 0.4);
    EXPECT_TRUE(fast.enumerated);
    EXPECT_TRUE(slow.timeout);
    EXPECT_FALSE(slow.enumerated);
    expectOneTimeoutWarning("0");
}

TEST_F(NameResolverTest, FolderHungInTheWalkerStillListingEndsAtItsLimit) {
    fs::create_directories(top + "/Fast/deeper");
    fs::create_directories(top + "/Slow");
    FS::markBusy(top + "/Slow", 30);
    DiskWalker ahead(top, home, 0.4, pool, 2);
    Item& fast = child(*root, "F1", "F{2}t", ItemKind::dir);
    Item& deeper = child(fast, "D1", "d{4}r", ItemKind::dir);
    Item& slow = child(*root, "S1", "S{2}w", ItemKind::dir);
    resolveAhead(ahead, 0.4);
    EXPECT_TRUE(fast.enumerated);
    EXPECT_TRUE(deeper.enumerated);
    EXPECT_TRUE(slow.timeout);
    EXPECT_FALSE(slow.enumerated);
    EXPECT_EQ(result.stats["dirs_timeout"], 1);
    expectOneTimeoutWarning("0");
}

TEST_F(NameResolverTest, BusyFolderTimesOutWithWarning) {
    fs::create_directories(top + "/Slow");
    FS::markBusy(top + "/Slow", 3);
    Item& slow = child(*root, "S1", "S{2}w", ItemKind::dir);
    EXPECT_EQ(resolve(0.4), 1);
    EXPECT_TRUE(slow.resolved);
    EXPECT_TRUE(slow.timeout);
    EXPECT_FALSE(slow.enumerated);
    EXPECT_EQ(result.stats["dirs_timeout"], 1);
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0],
              "1 složek se nepodařilo vypsat do 0 s (iCloud Drive je zrovna synchronizoval) – "
              "počítají se jako „jen v cloudu“. Zkuste později „Znovu porovnat“.");
}

TEST_F(NameResolverTest, TimedOutHydrationNamesTheLimitThatApplied) {
    fs::create_directories(top + "/Slow");
    FS::markBusy(top + "/Slow", 3);
    Item& slow = child(*root, "S1", "S{2}w", ItemKind::dir);
    (void)NameResolver::resolveNames(result, noopProgress, {"S1"}, nullptr, std::nullopt, {}, 15.0,
                                     1.2, ScanEnvironment(home), pool);
    EXPECT_TRUE(slow.timeout);
    expectOneTimeoutWarning("1");
}

TEST_F(NameResolverTest, SlowHydrationReportsWaitingThenDone) {
    fs::create_directories(top + "/Slow");
    FS::markBusy(top + "/Slow", 2.5);
    Item& slow = child(*root, "S1", "S{2}w", ItemKind::dir);
    struct Call {
        std::string phase;
        std::int64_t done, total;
        std::string message;
    };
    std::vector<Call> calls;
    auto progress = [&](std::string_view phase, std::int64_t done, std::int64_t total,
                        std::string_view message) {
        calls.push_back({std::string(phase), done, total, std::string(message)});
    };
    const auto n = NameResolver::resolveNames(result, progress, {"S1"}, nullptr, std::nullopt, {},
                                              15.0, 600.0, ScanEnvironment(home), pool);
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(slow.enumerated);
    EXPECT_FALSE(slow.timeout);
    bool waited = false;
    for (const Call& c : calls)
        waited |= c.phase == "hydrate" && c.done == 1 && c.total == 2 &&
                  c.message == "Čekám na iCloud Drive u složky „Slow“ (2 s)…";
    EXPECT_TRUE(waited);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().phase, "resolve");
    EXPECT_EQ(calls.back().done, 2);
    EXPECT_EQ(calls.back().total, 2);
    EXPECT_EQ(calls.back().message, "Porovnání s diskem hotovo");
    EXPECT_TRUE(result.warnings.empty());
}

TEST_F(NameResolverTest, LinksFollowedOnceAndNeverOutOfHome) {
    fs::create_directories(top + "/Real");
    std::ofstream(top + "/Real/Inner.txt") << "x";
    fs::create_directories(base + "/outside");
    std::ofstream(base + "/outside/Secret.txt") << "x";
    fs::create_directory_symlink(top + "/Real", top + "/Again");
    fs::create_directory_symlink(base + "/outside", top + "/Away");
    Item& real = child(*root, "R", "R{2}l", ItemKind::dir);
    Item& realInner = child(real, "RI", "I{3}r.txt", ItemKind::doc);
    Item& again = child(*root, "G", "A{3}n", ItemKind::dir);
    Item& againInner = child(again, "GI", "I{3}r.txt", ItemKind::doc);
    Item& away = child(*root, "W", "A{2}y", ItemKind::dir);
    Item& secret = child(away, "WS", "S{4}t.txt", ItemKind::doc);
    resolve();
    // Both links were paired by name, but only one of the two ways into Real was listed.
    EXPECT_TRUE(real.resolved && again.resolved);
    EXPECT_NE(real.enumerated, again.enumerated);
    EXPECT_NE(realInner.resolved, againInner.resolved);
    EXPECT_FALSE(away.resolved); // a link out of home is only a symlink entry, not a folder
    EXPECT_FALSE(away.enumerated);
    EXPECT_FALSE(secret.resolved);
}

TEST_F(NameResolverTest, RefusedFoldersNamedThreeAtATime) {
    const char* names[] = {"Alpha", "Bravo", "Cobra", "Delta", "Eagle"};
    for (const char* n : names) {
        fs::create_directories(top + "/" + n);
        ::chmod((top + "/" + n).c_str(), 0);
        child(*root, n, Masking::primaryMask(n), ItemKind::dir);
    }
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(77);
        TimeoutPool own;
        NameResolver::resolveNames(result, noopProgress, {}, nullptr, std::nullopt, {}, 15.0, 600.0,
                                   ScanEnvironment(home), own);
        int denied = 0;
        for (Item* c : root->children)
            denied += c->denied && !c->enumerated && c->hasPath();
        const bool ok = denied == 5 && result.stats["dirs_denied"] == 5 &&
                        result.warnings.size() == 1 &&
                        result.warnings[0] ==
                            "K 5 složkám systém odepřel přístup (Eagle, Delta, Cobra) – povolte "
                            "aplikaci přístup k souborům v Nastavení systému → Soukromí a "
                            "zabezpečení → Soubory a složky.";
        if (!ok)
            fprintf(stderr, "denied %d warnings %zu %s\n", denied, result.warnings.size(),
                    result.warnings.empty() ? "" : result.warnings[0].c_str());
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot drop to user nobody (65534) to check refused access";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace

namespace {

TEST_F(NameResolverTest, FolderBehindALinkIsListedAtItsTarget) {
    // Gamma is a link to a folder elsewhere in home. It waits on the stack under two other
    // folders, so its listing may be begun ahead through the link; the walk must still list it
    // at its target, as it would one folder at a time.
    fs::create_directories(top + "/Alpha");
    fs::create_directories(top + "/Beta");
    fs::create_directories(home + "/elsewhere");
    std::ofstream(home + "/elsewhere/Note.txt") << "hi";
    fs::create_directory_symlink(home + "/elsewhere", top + "/Gamma");
    Item& gamma = child(*root, "G1", "G{3}a", ItemKind::dir);
    Item& alpha = child(*root, "A1", "A{3}a", ItemKind::dir);
    Item& beta = child(*root, "B1", "B{2}a", ItemKind::dir);
    Item& note = child(gamma, "N1", "N{2}e.txt", ItemKind::doc);
    EXPECT_EQ(resolve(), 4);
    EXPECT_TRUE(alpha.enumerated && beta.enumerated && gamma.enumerated);
    EXPECT_EQ(*gamma.path(), home + "/elsewhere");
    ASSERT_TRUE(note.resolved);
    EXPECT_EQ(*note.path(), home + "/elsewhere/Note.txt");
}

TEST_F(NameResolverTest, ListingsBegunOnAGuessLeaveTheResultAsOneFolderAtATime) {
    // The walk begins listing a folder's child folders while it matches the folder, guessing
    // each from its printed name. Here two dump folders fit the one local "Twin": both are guessed
    // to be it, only one can be paired, and the other must stay unpaired with nothing inside
    // it resolved. The six folders with a folder inside go deeper than the walk looks ahead.
    std::vector<Item*> notes;
    for (int i = 1; i <= 6; ++i) {
        const std::string name = "Folder" + std::to_string(i);
        fs::create_directories(top + "/" + name + "/Inner");
        std::ofstream(top + "/" + name + "/Inner/note.txt") << "hi";
        Item& folder =
            child(*root, "F" + std::to_string(i), Masking::primaryMask(name), ItemKind::dir);
        Item& inner =
            child(folder, "I" + std::to_string(i), Masking::primaryMask("Inner"), ItemKind::dir);
        notes.push_back(&child(inner, "N" + std::to_string(i), Masking::primaryMask("note.txt"),
                               ItemKind::doc));
    }
    fs::create_directories(top + "/Twin");
    std::ofstream(top + "/Twin/Entry.txt") << "hi";
    Item& twinA = child(*root, "TA", Masking::primaryMask("Twin"), ItemKind::dir);
    Item& twinB = child(*root, "TB", Masking::primaryMask("Twin"), ItemKind::dir);
    Item& entryA = child(twinA, "EA", Masking::primaryMask("Entry.txt"), ItemKind::doc);
    Item& entryB = child(twinB, "EB", Masking::primaryMask("Entry.txt"), ItemKind::doc);

    EXPECT_EQ(resolve(), 1 + 6 + 6 + 1);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        ASSERT_TRUE(notes[i]->resolved) << i;
        EXPECT_EQ(*notes[i]->path(), top + "/Folder" + std::to_string(i + 1) + "/Inner/note.txt");
    }
    ASSERT_NE(twinA.resolved, twinB.resolved);
    Item& paired = twinA.resolved ? twinA : twinB;
    const Item& unpaired = twinA.resolved ? twinB : twinA;
    EXPECT_TRUE(paired.enumerated);
    EXPECT_EQ(*paired.path(), top + "/Twin");
    EXPECT_FALSE(unpaired.enumerated);
    EXPECT_EQ((twinA.resolved ? entryA : entryB).resolved, true);
    EXPECT_EQ((twinA.resolved ? entryB : entryA).resolved, false);
}

} // namespace
