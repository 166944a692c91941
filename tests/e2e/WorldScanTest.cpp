// Scans of generated worlds with the real brctl stand-in, compared with the world's own truth.
#include "SimWorld.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"
#include "support/Child.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessary;
using nlohmann::json;
using testsupport::Child;
using testsupport::Phases;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::World;
namespace fs = std::filesystem;

namespace {

bool resolvedAsTruth(const std::string& expect, bool root) {
    return expect == "resolved" || expect == "ambiguous" || (root && expect == "denied");
}

// Expected aggregates of one container's root from the truth alone.
struct Sums {
    std::int64_t size = 0, cloud = 0, local = 0, qta = 0;
};

Sums expectedSums(const json& truth, std::int64_t container, bool root) {
    Sums s;
    for (const json& it : truth["items"]) {
        if (it["container"] != container || it["dead"].get<bool>() || it["kind"] == "dir")
            continue;
        const std::int64_t size = it["size"];
        const bool resolved = resolvedAsTruth(it["expect"], root);
        const bool dataless = resolved && it["local"]["dataless"].get<bool>();
        s.size += size;
        s.cloud += resolved && !dataless ? 0 : size;
        s.local += resolved && it["kind"] == "doc" ? it["local"]["alloc"].get<std::int64_t>() : 0;
        s.qta += it["quota"].get<std::int64_t>() != 0 ? it["quota"].get<std::int64_t>() : size;
    }
    return s;
}

class WorldScan : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_world = new World(3);
        Phases phases;
        Scanner::Options o;
        o.refresh = true;
        s_result = s_world->scan(o, &phases).release();
    }
    static void TearDownTestSuite() {
        delete s_result;
        delete s_world;
    }
    static inline World* s_world = nullptr;
    static inline ScanResult* s_result = nullptr;
};

// The scan resolves exactly the items the truth says, with their local state.
void expectResolvedAsTruth(const World& world, const ScanResult& result) {
    const bool root = ::geteuid() == 0;
    std::set<std::string> ambiguousNames, ambiguousFound;
    for (const json& t : world.truth["items"])
        if (t["expect"] == "ambiguous")
            ambiguousNames.insert(t["local"]["name"].get<std::string>());
    std::map<std::string, int> checked;
    for (const json& t : world.truth["items"]) {
        const std::string expect = t["expect"];
        const Item* it = result.get(t["id"].get<std::string>());
        if (expect == "dead") {
            EXPECT_NE(std::find(result.dead.begin(), result.dead.end(), it), result.dead.end());
            continue;
        }
        ASSERT_NE(it, nullptr) << t["name"];
        ++checked[expect];
        if (!resolvedAsTruth(expect, root)) {
            EXPECT_FALSE(it->resolved) << expect << " " << t["name"];
            continue;
        }
        ASSERT_TRUE(it->resolved) << expect << " " << t["name"];
        if (expect == "ambiguous") {
            // Either local entry of the group may be taken, but each only once.
            EXPECT_TRUE(it->ambiguous) << t["name"];
            ambiguousFound.insert(std::string(it->name()));
            continue;
        }
        EXPECT_EQ(*it->path(), world.local(t)) << t["name"];
        EXPECT_FALSE(it->ambiguous) << t["name"];
        EXPECT_EQ(it->name(), t["local"]["name"].get<std::string>());
        if (t["kind"] == "doc") {
            EXPECT_EQ(it->dataless, t["local"]["dataless"].get<bool>()) << t["name"];
            EXPECT_EQ(it->localAlloc, t["local"]["alloc"].get<std::int64_t>()) << t["name"];
        }
        if (t["kind"] == "dir") {
            const bool listable = !t["local"]["neverOpened"].get<bool>() &&
                                  (root || !t["local"]["denied"].get<bool>());
            EXPECT_EQ(it->enumerated, listable) << t["name"];
        }
    }
    EXPECT_EQ(ambiguousFound, ambiguousNames);
    for (const char* kind :
         {"resolved", "ambiguous", "serverOnly", "unlisted", "unmapped", "orphan", "denied"})
        EXPECT_GT(checked[kind], 0) << kind;
}

// The drive's totals and the free quota are the truth's sums.
void expectSumsAsTruth(const World& world, const ScanResult& result) {
    const Sums s = expectedSums(world.truth, 1, ::geteuid() == 0);
    const Item* root = result.get("root[1]");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name(), "iCloud Drive");
    EXPECT_EQ(root->aggSz, s.size);
    EXPECT_EQ(root->aggCloud, s.cloud);
    EXPECT_EQ(root->aggLocal, s.local);
    EXPECT_EQ(root->aggQta, s.qta);
    EXPECT_EQ(result.quotaRemaining, world.truth["quotaFree"].get<std::int64_t>());
    // The container whose folder cannot be told from a look-alike stays unmapped.
    const Item* beta = result.get("root[4]");
    ASSERT_NE(beta, nullptr);
    EXPECT_FALSE(beta->resolved);
    EXPECT_EQ(beta->name(), "c{1}m.a{2}e.B{2}a");
}

TEST_F(WorldScan, ResolvesExactlyTheItemsTheTruthSaysWithTheirLocalState) {
    expectResolvedAsTruth(*s_world, *s_result);
}

TEST_F(WorldScan, AggregatesEqualTheTruthsSums) {
    expectSumsAsTruth(*s_world, *s_result);
}

// After a month of aging, a fresh scan still finds what the truth says, and each change the
// aging lists shows in the scans before and after with the numbers the list gives.
TEST(AgedWorldScan, ScansBeforeAndAfterShowTheListedChanges) {
    World world(3);
    Scanner::Options o;
    o.refresh = true;
    const auto before = world.scan(o);
    const json changes = world.age(5, 30);
    const auto after = world.scan(o);
    expectResolvedAsTruth(world, *after);
    expectSumsAsTruth(world, *after);
    for (const json& c : changes["changes"]) {
        const std::string id = c["id"], change = c["change"];
        const Item* was = before->get(id);
        const Item* is = after->get(id);
        ASSERT_NE(is, nullptr) << id;
        EXPECT_EQ(was == nullptr, change == "new") << id;
        if (was) {
            EXPECT_EQ(was->aggQta, c["qtaBefore"].get<std::int64_t>()) << change << " " << id;
            EXPECT_EQ(was->aggLocal, c["localBefore"].get<std::int64_t>()) << change << " " << id;
        }
        if (change == "deleted") {
            EXPECT_NE(std::find(after->dead.begin(), after->dead.end(), is), after->dead.end());
            continue;
        }
        EXPECT_EQ(is->aggQta, c["qtaAfter"].get<std::int64_t>()) << change << " " << id;
        EXPECT_EQ(is->aggLocal, c["localAfter"].get<std::int64_t>()) << change << " " << id;
        EXPECT_EQ(*is->path(), world.home() + "/" + c["path"].get<std::string>());
    }
}

TEST(WorldScanAgain, SecondScanReusesTheDumpAndRefreshMakesANewOne) {
    World world(4);
    Phases first, second, third;
    Scanner::Options o;
    o.maxAgeHours = 8760;
    (void)world.scan(o, &first);
    EXPECT_TRUE(first.seen.count("dump"));
    EXPECT_TRUE(first.seen.count("done"));
    (void)world.scan(o, &second);
    EXPECT_FALSE(second.seen.count("dump"));
    EXPECT_TRUE(second.seen.count("resolve"));
    o.refresh = true;
    (void)world.scan(o, &third);
    EXPECT_TRUE(third.seen.count("dump"));
}

TEST(WorldScanAgain, CancelDuringTheDumpOrTheResolveKeepsThePreviousDump) {
    World world(5);
    Scanner::Options o;
    o.refresh = true;
    (void)world.scan(o);
    const std::string before = readFile(world.env->dumpFile);
    ASSERT_FALSE(before.empty());

    auto cancelIn = [&](const std::string& phase) {
        Phases phases;
        std::atomic<bool> stop{false};
        ProgressCallback progress = [&](std::string_view p, std::int64_t, std::int64_t,
                                        std::string_view) {
            if (p == phase)
                stop = true;
        };
        try {
            (void)Scanner::scan(
                o, progress, [&] { return stop.load(); }, *world.env, TimeoutPool::shared());
        } catch (const ScanError& e) {
            return e.isCancelled();
        }
        return false;
    };
    ::setenv("VARNELO_SIM_SLOW_MS", "30", 1);
    EXPECT_TRUE(cancelIn("dump"));
    ::unsetenv("VARNELO_SIM_SLOW_MS");
    EXPECT_EQ(readFile(world.env->dumpFile), before);
    o.refresh = false;
    o.maxAgeHours = 8760;
    // The parser does not stop halfway; the cancel asked at its last report is seen by the
    // resolver at its first folder.
    EXPECT_TRUE(cancelIn("parse"));
    EXPECT_EQ(readFile(world.env->dumpFile), before);
}

TEST(WorldScanAgain, HydratingNeverOpenedFoldersResolvesTheirChildren) {
    World world(6);
    Scanner::Options o;
    o.refresh = true;
    auto result = world.scan(o);
    const json* photos = world.find("2018", "Fotky/2018");
    const json* music = world.find("Staré nahrávky", "Hudba/Staré nahrávky");
    ASSERT_TRUE(photos && music);

    auto childrenOf = [&](const std::string& parent) {
        std::vector<const json*> out;
        for (const json& it : world.truth["items"])
            if (it["parent"] == parent && it["expect"] == "unlisted")
                out.push_back(&it);
        return out;
    };
    auto expectResolved = [&](const json& t) {
        const Item* it = result->get(t["id"].get<std::string>());
        ASSERT_NE(it, nullptr);
        EXPECT_TRUE(it->resolved) << t["name"];
        EXPECT_EQ(it->name(), t["local"]["name"].get<std::string>());
        EXPECT_EQ(*it->path(), world.local(t));
    };

    const std::string photosId = (*photos)["id"];
    ASSERT_FALSE(childrenOf(photosId).empty());
    for (const json* child : childrenOf(photosId))
        EXPECT_FALSE(result->get((*child)["id"].get<std::string>())->resolved);
    EXPECT_EQ(
        Scanner::hydrate(*result, photosId, 1, noopProgress, {}, *world.env, TimeoutPool::shared()),
        1);
    for (const json* child : childrenOf(photosId))
        expectResolved(*child);
    EXPECT_TRUE(result->get(photosId)->enumerated);

    // Three levels: the albums inside and their recordings.
    const std::string musicId = (*music)["id"];
    EXPECT_EQ(
        Scanner::hydrate(*result, musicId, 3, noopProgress, {}, *world.env, TimeoutPool::shared()),
        3);
    for (const json* album : childrenOf(musicId)) {
        expectResolved(*album);
        for (const json* track : childrenOf((*album)["id"]))
            expectResolved(*track);
    }
}

// Sums `find` output over the iCloud Drive folder, leaving out the never-opened folders that a
// scan does not list.
std::int64_t findSum(const World& world, const std::string& format) {
    std::string prune;
    for (const json& it : world.truth["items"])
        if (!it["local"].is_null() && it["local"]["neverOpened"].get<bool>() &&
            it["container"] == 1)
            prune += std::string(prune.empty() ? "" : " -o") + " -path '" + world.local(it) + "'";
    const std::string command = "find '" + world.env->cloudDocsDir + "' \\(" + prune +
                                " \\) -prune -o -type f -printf '" + format + "\\n'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::int64_t sum = 0;
    long long value = 0;
    while (pipe && std::fscanf(pipe, "%lld", &value) == 1)
        sum += value;
    if (pipe)
        ::pclose(pipe);
    return sum;
}

TEST(WorldScanAgain, DiskOnlyScanAgreesWithFind) {
    World world(7);
    Scanner::Options o;
    o.mode = ScanMode::fs;
    auto result = world.scan(o);
    const Item* root = result->get("root[1]");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->aggSz, findSum(world, "%s"));
    EXPECT_EQ(root->aggLocal, findSum(world, "%b") * 512);
    EXPECT_GT(root->aggLocal, 0);
}

// Root reads every folder; the refusal is checked in a child that has given up root.
TEST(WorldScanAgain, ARefusedFolderIsMarkedDeniedAndItsChildrenStayUnresolved) {
    World world(8);
    Scanner::Options o;
    o.refresh = true;
    (void)world.scan(o); // leaves the dump in the cache, so the child only reads
    const json* privat = world.find("Soukromé", "Documents/Soukromé");
    ASSERT_NE(privat, nullptr);
    const std::string id = (*privat)["id"];
    if (::geteuid() == 0) {
        // The child must be able to read the world and write the cache as user nobody.
        ASSERT_EQ(std::system(("chmod -R a+rwX '" + world.home() + "' && chmod 000 '" +
                               world.local(*privat) + "'")
                                  .c_str()),
                  0);
    }
    // The command-line tool, started fresh as nobody (a forked copy of this process could not
    // use the threads it inherited), exports the tree and the warnings. It runs from a copy
    // beside the world: the build folder may lie where nobody cannot enter (a clone inside a
    // private temporary folder).
    const std::string out = world.home() + "/scan.json";
    const std::string cli = world.home() + "/../varnelo-cli";
    std::error_code copied;
    fs::copy_file(VARNELO_CLI, cli, fs::copy_options::overwrite_existing, copied);
    ASSERT_FALSE(copied) << copied.message();
    ASSERT_EQ(::chmod(cli.c_str(), 0755), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            ::_exit(126);
        ::execl(cli.c_str(), cli.c_str(), "--max-age", "8760", "--quiet", "--json", out.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "cannot drop to user nobody here";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const json scan = json::parse(readFile(out));
    bool warned = false;
    for (const json& w : scan["summary"]["warnings"])
        warned = warned || w.get<std::string>().find("Soukromé") != std::string::npos;
    EXPECT_TRUE(warned) << scan["summary"]["warnings"];
    const json* node = nullptr;
    std::vector<const json*> stack;
    for (const json& r : scan["roots"])
        stack.push_back(&r);
    while (!stack.empty() && !node) {
        const json* n = stack.back();
        stack.pop_back();
        if ((*n)["id"] == id)
            node = n;
        else if (n->contains("children"))
            for (const json& c : (*n)["children"])
                stack.push_back(&c);
    }
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE((*node)["resolved"].get<bool>());
    EXPECT_TRUE((*node)["denied"].get<bool>());
    EXPECT_FALSE((*node)["enumerated"].get<bool>());
    ASSERT_TRUE(node->contains("children"));
    for (const json& c : (*node)["children"])
        EXPECT_FALSE(c["resolved"].get<bool>()) << c["name"];
}

} // namespace
