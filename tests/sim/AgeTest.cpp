// Aging a generated world: the server, the disk and the truth change together, and the list of
// changes says exactly what changed and by how much.
#include "Content.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/FS.hpp"
#include "TruthChecks.hpp"
#include "support/Child.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <set>

using nlohmann::json;
using testsupport::Child;
using testsupport::readFile;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t day = 86400;

json readJSON(const std::string& path) {
    return json::parse(readFile(path));
}

int makeWorld(const std::string& dir) {
    return Child::run({VARNELO_SIM, "world", "--out", dir, "--seed", "7", "--items", "0"});
}

int age(const std::string& dir, const std::string& seed, const std::string& days = "30",
        const std::string& log = "") {
    return Child::run({VARNELO_SIM, "age", "--out", dir, "--seed", seed, "--days", days}, {}, log);
}

int dump(const std::string& dir, const std::string& file) {
    return Child::run({VARNELO_BRCTL, "dump", "-v", "-o", file}, {"HOME=" + dir + "/home"});
}

// A truth's items by id, and the ids of each folder's items.
struct Index {
    explicit Index(const json& truth) {
        for (const json& it : truth["items"]) {
            byId[it["id"].get<std::string>()] = &it;
            children[it["parent"].get<std::string>()].push_back(it["id"]);
        }
    }
    [[nodiscard]] const json* find(const std::string& id) const {
        const auto found = byId.find(id);
        return found == byId.end() ? nullptr : found->second;
    }
    // The item and everything below it.
    [[nodiscard]] std::vector<std::string> subtree(const std::string& id) const {
        std::vector<std::string> out, stack{id};
        while (!stack.empty()) {
            out.push_back(stack.back());
            stack.pop_back();
            if (const auto c = children.find(out.back()); c != children.end())
                stack.insert(stack.end(), c->second.begin(), c->second.end());
        }
        return out;
    }
    // Whether `id` lies below one of `folders`.
    [[nodiscard]] bool below(std::string id, const std::set<std::string>& folders) const {
        while (const json* it = find(id)) {
            id = (*it)["parent"];
            if (folders.contains(id))
                return true;
        }
        return false;
    }

    std::map<std::string, const json*> byId;
    std::map<std::string, std::vector<std::string>> children;
};

// What a dump-mode scan sums for live documents: the quota charge (the size where the server
// charges nothing) and the allocated bytes.
struct Totals {
    std::int64_t qta = 0, local = 0;
};

Totals totalsOf(const Index& index, const std::string& id) {
    Totals t;
    if (!index.find(id) || (*index.find(id))["dead"].get<bool>())
        return t;
    for (const std::string& inside : index.subtree(id)) {
        const json& it = *index.find(inside);
        if (it["dead"].get<bool>() || it["kind"] == "dir")
            continue;
        const std::int64_t quota = it["quota"];
        t.qta += quota != 0 ? quota : it["size"].get<std::int64_t>();
        t.local += it["local"].is_null() ? 0 : it["local"]["alloc"].get<std::int64_t>();
    }
    return t;
}

Totals driveTotals(const json& truth) {
    Totals t;
    for (const json& it : truth["items"])
        if (it["container"] == 1 && !it["dead"].get<bool>() && it["kind"] == "doc") {
            const std::int64_t quota = it["quota"];
            t.qta += quota != 0 ? quota : it["size"].get<std::int64_t>();
            t.local += it["local"].is_null() ? 0 : it["local"]["alloc"].get<std::int64_t>();
        }
    return t;
}

// One world aged by 30 days, with its truth before and after, shared by the tests that read.
class AgedWorld : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_tmp = new TempDir("sim-age");
        s_world = s_tmp->str() + "/w";
        ASSERT_EQ(makeWorld(s_world), 0);
        s_before = readJSON(s_world + "/truth/world.json");
        ASSERT_EQ(age(s_world, "3"), 0);
        s_after = readJSON(s_world + "/truth/world.json");
        s_changes = readJSON(s_world + "/truth/changes.json");
        s_db = readFile(s_world + "/home/.varnelo-sim/server.db");
        s_dump = s_tmp->str() + "/dump.txt";
        ASSERT_EQ(dump(s_world, s_dump), 0);
    }
    static void TearDownTestSuite() {
        delete s_tmp;
        s_tmp = nullptr;
    }
    static const json& changeOf(const std::string& kind) {
        for (const json& c : s_changes["changes"])
            if (c["change"] == kind)
                return c;
        throw std::runtime_error("no change " + kind);
    }

    static inline TempDir* s_tmp = nullptr;
    static inline std::string s_world, s_dump, s_db;
    static inline json s_before, s_after, s_changes;
};

TEST_F(AgedWorld, TheServerAndTheDiskDescribeTheNewTruth) {
    simtest::expectDumpMatchesTruth(s_dump, s_after);
    (void)simtest::expectDiskMatchesTruth(s_world + "/home", s_after);
    EXPECT_EQ(readFile(s_world + "/home/.varnelo-sim/server.db"), s_db)
        << "the dump's sync found something the aging left out of the server";
    // New and changed downloads hold the server's bytes, so the service may free them again.
    const Index before(s_before);
    for (const json& it : s_after["items"]) {
        const json* old = before.find(it["id"]);
        if (it["kind"] != "doc" || it["local"].is_null() || it["local"]["dataless"].get<bool>() ||
            (old && (*old)["size"] == it["size"] && !(*old)["local"].is_null() &&
             !(*old)["local"]["dataless"].get<bool>()))
            continue;
        const std::string path = s_world + "/home/" + it["local"]["path"].get<std::string>();
        EXPECT_EQ(readFile(path),
                  sim::Content::generated(it["size"], sim::Content::seedOf(it["id"])))
            << path;
    }
    EXPECT_EQ(s_changes["seed"], 3);
    EXPECT_EQ(s_changes["days"], 30);
    EXPECT_EQ(s_changes["from"], s_before["now"]);
    EXPECT_EQ(s_changes["to"].get<std::int64_t>(), s_before["now"].get<std::int64_t>() + 30 * day);
    EXPECT_EQ(s_after["now"], s_changes["to"]);
}

TEST_F(AgedWorld, EveryChangeMatchesTheTruthBeforeAndAfter) {
    const Index before(s_before), after(s_after);
    const std::int64_t from = s_changes["from"], to = s_changes["to"];
    std::map<std::string, int> seen;
    std::set<std::string> logged;
    for (const json& c : s_changes["changes"]) {
        const std::string id = c["id"], change = c["change"];
        SCOPED_TRACE(change + " " + c["path"].get<std::string>());
        ++seen[change + " " + c["kind"].get<std::string>()];
        logged.insert(id);
        const json* b = before.find(id);
        const json* a = after.find(id);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(c["kind"], (*a)["kind"]);
        EXPECT_EQ(c["path"], change == "deleted" ? (*b)["local"]["path"] : (*a)["local"]["path"]);
        const Totals was = totalsOf(before, id), is = totalsOf(after, id);
        EXPECT_EQ(c["qtaBefore"], was.qta);
        EXPECT_EQ(c["localBefore"], was.local);
        EXPECT_EQ(c["qtaAfter"], is.qta);
        EXPECT_EQ(c["localAfter"], is.local);
        EXPECT_EQ(b == nullptr, change == "new");
        const std::int64_t mt = (*a)["mt"];
        if (change == "new" || change == "grown" || change == "shrunk") {
            EXPECT_GT(mt, from);
            EXPECT_LE(mt, to);
        }
        if (change == "grown" || change == "shrunk") {
            EXPECT_EQ((*a)["size"] > (*b)["size"], change == "grown");
            EXPECT_NE((*a)["size"], (*b)["size"]);
        }
        if (change == "deleted") {
            for (const std::string& inside : after.subtree(id))
                EXPECT_TRUE((*after.find(inside))["dead"].get<bool>());
            EXPECT_FALSE(
                fs::exists(fs::symlink_status(s_world + "/home/" + c["path"].get<std::string>())));
        }
        if (change == "downloaded" || change == "evicted") {
            EXPECT_EQ((*b)["local"]["dataless"], change == "downloaded");
            EXPECT_EQ((*a)["local"]["dataless"], change == "evicted");
        }
    }
    for (const char* kind : {"new doc", "new dir", "grown doc", "shrunk doc", "deleted doc",
                             "deleted dir", "downloaded doc", "evicted doc"})
        EXPECT_GT(seen[kind], 0) << kind;
    EXPECT_EQ(seen["moved dir"], 1);

    // Nothing else changed: every other item, and what lies below the folders, is as it was.
    for (const json& it : s_before["items"])
        if (!logged.contains(it["id"]) && !after.below(it["id"], logged)) {
            EXPECT_EQ(*after.find(it["id"]), it);
        }
    // The entries add up to what the drive's totals and the free quota moved by; deleted
    // items stay charged until the server purges them, so only new and resized ones use quota.
    Totals sum;
    std::int64_t used = 0;
    for (const json& c : s_changes["changes"]) {
        const std::int64_t qta =
            c["qtaAfter"].get<std::int64_t>() - c["qtaBefore"].get<std::int64_t>();
        sum.qta += qta;
        sum.local += c["localAfter"].get<std::int64_t>() - c["localBefore"].get<std::int64_t>();
        used += c["change"] == "deleted" ? 0 : qta;
    }
    EXPECT_EQ(sum.qta, driveTotals(s_after).qta - driveTotals(s_before).qta);
    EXPECT_EQ(sum.local, driveTotals(s_after).local - driveTotals(s_before).local);
    EXPECT_EQ(used,
              s_before["quotaFree"].get<std::int64_t>() - s_after["quotaFree"].get<std::int64_t>());
}

TEST_F(AgedWorld, TheMovedFolderStaysTheSameItemWithItsContents) {
    const Index before(s_before), after(s_after);
    const json& moved = changeOf("moved");
    const std::string id = moved["id"];
    const json& was = *before.find(id);
    const json& is = *after.find(id);
    EXPECT_NE(was["parent"], is["parent"]);
    EXPECT_EQ(was["name"], is["name"]);
    const std::string oldPath = was["local"]["path"], newPath = is["local"]["path"];
    EXPECT_NE(oldPath, newPath);
    EXPECT_FALSE(fs::exists(s_world + "/home/" + oldPath));
    EXPECT_TRUE(fs::is_directory(s_world + "/home/" + newPath));
    const std::vector<std::string> inside = before.subtree(id), still = after.subtree(id);
    EXPECT_EQ(std::set<std::string>(inside.begin(), inside.end()),
              std::set<std::string>(still.begin(), still.end()));
    for (const std::string& child : inside) {
        const json& c = *after.find(child);
        if (!c["local"].is_null()) {
            EXPECT_EQ(c["local"]["path"],
                      newPath + (*before.find(child))["local"]["path"].get<std::string>().substr(
                                    oldPath.size()));
        }
    }
    // The server lists it in its new folder.
    tessary::ScanResult res = tessary::DumpParser::parse(s_dump, tessary::noopProgress);
    ASSERT_NE(res.get(id), nullptr);
    EXPECT_EQ(res.get(id)->parent(), is["parent"].get<std::string>());
}

TEST(Aging, TheSameSeedAgesAlikeAndAnAgedWorldAgesAgain) {
    const TempDir tmp("sim-age-again");
    const std::string one = tmp.str() + "/one", two = tmp.str() + "/two",
                      longer = tmp.str() + "/long";
    for (const std::string& w : {one, two, longer})
        ASSERT_EQ(makeWorld(w), 0);
    ASSERT_EQ(age(one, "9"), 0);
    ASSERT_EQ(age(two, "9"), 0);
    ASSERT_EQ(age(longer, "9", "300"), 0);
    for (const char* file :
         {"/truth/world.json", "/truth/changes.json", "/home/.varnelo-sim/server.db"})
        EXPECT_EQ(readFile(one + file), readFile(two + file)) << file;
    const json month = readJSON(one + "/truth/changes.json");
    EXPECT_GT(readJSON(longer + "/truth/changes.json")["changes"].size(), month["changes"].size());

    ASSERT_EQ(age(one, "9", "7"), 0);
    const json week = readJSON(one + "/truth/changes.json");
    EXPECT_EQ(week["from"], month["to"]);
    EXPECT_NE(week["changes"], month["changes"]);
    const json truth = readJSON(one + "/truth/world.json");
    const std::string file = tmp.str() + "/dump.txt";
    ASSERT_EQ(dump(one, file), 0);
    simtest::expectDumpMatchesTruth(file, truth);
    (void)simtest::expectDiskMatchesTruth(one + "/home", truth);
    // A document aging downloaded or gave new bytes is one the service can free.
    for (const json& c : week["changes"])
        if (c["kind"] == "doc" && c["localAfter"].get<std::int64_t>() > 0) {
            const std::string path = one + "/home/" + c["path"].get<std::string>();
            EXPECT_EQ(Child::run({VARNELO_BRCTL, "evict", path}, {"HOME=" + one + "/home"}), 0)
                << path;
            EXPECT_TRUE(tessary::FS::lstat(path)->isDataless()) << path;
        }
}

TEST(Aging, RefusesWhatIsNoWorldOrNoLongerItsTruth) {
    const TempDir tmp("sim-age-refuse");
    const std::string log = tmp.str() + "/log.txt";
    EXPECT_EQ(age(tmp.str(), "1", "30", log), 1);
    EXPECT_NE(readFile(log).find("neobsahuje simulovaný svět"), std::string::npos) << readFile(log);
    const std::string world = tmp.str() + "/w";
    ASSERT_EQ(makeWorld(world), 0);
    EXPECT_EQ(age(world, "1", "0"), 2);

    // A file deleted on the disk and synced by a dump: the truth no longer tells the world.
    const json truth = readJSON(world + "/truth/world.json");
    for (const json& it : truth["items"])
        if (it["kind"] == "doc" && it["expect"] == "resolved") {
            fs::remove(world + "/home/" + it["local"]["path"].get<std::string>());
            break;
        }
    ASSERT_EQ(dump(world, tmp.str() + "/dump.txt"), 0);
    const std::string before = readFile(world + "/truth/world.json");
    EXPECT_EQ(age(world, "1", "30", log), 1);
    EXPECT_NE(readFile(log).find("změnil mimo varnelo-sim"), std::string::npos) << readFile(log);
    EXPECT_EQ(readFile(world + "/truth/world.json"), before);
}

} // namespace
