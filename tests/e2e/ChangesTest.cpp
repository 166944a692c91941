// What changed between two scans of a generated world, as varnelo-cli --changes reports it.
#include "SimWorld.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

using nlohmann::json;
using testsupport::Child;
using testsupport::readFile;
using testsupport::World;
namespace fs = std::filesystem;

namespace {

const json* changeOf(const json& changes, const std::string& id) {
    for (const json& c : changes["items"])
        if (c.value("id", "") == id)
            return &c;
    return nullptr;
}

} // namespace

// The first scan has nothing to compare with; after a downloaded document grew and a folder was
// deleted on the disk (which the next dump syncs), the changes name both with their sizes, and
// the JSON export carries them too.
TEST(Changes, CommandLineListsWhatGrewAndWhatWasDeletedSinceThePreviousScan) {
    const World world(31);
    const json* big = nullptr;
    for (const json& t : world.truth["items"])
        if (t["kind"] == "doc" && t["expect"] == "resolved" && !t["dead"].get<bool>() &&
            !t["local"]["dataless"].get<bool>() && !t["local"]["isPackage"].get<bool>() &&
            t["size"].get<std::int64_t>() >= 1'000'000 && t["container"] == 1) {
            big = &t;
            break;
        }
    ASSERT_NE(big, nullptr);
    const std::string out = world.home() + "/../out.txt";
    const std::string err = world.home() + "/../err.txt";
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >\"$OUT\" 2>\"$ERR\"",
                                   VARNELO_CLI, "--quiet", "--refresh"});
        return Child::run(args, {"HOME=" + world.home(), "TESSARY_BRCTL=" VARNELO_BRCTL,
                                 "OUT=" + out, "ERR=" + err});
    };

    ASSERT_EQ(cli({"--changes"}), 0) << readFile(err);
    EXPECT_NE(readFile(out).find("není s čím porovnat"), std::string::npos) << readFile(out);

    std::ofstream(world.local(*big), std::ios::app | std::ios::binary)
        << std::string(2'000'000, 'g');
    ASSERT_EQ(cli({"--changes", "500", "--format", "json", "--json", world.home() + "/../e.json"}),
              0)
        << readFile(err);
    const json lists = json::parse(readFile(out));
    const json& changes = lists["changes"];
    ASSERT_TRUE(changes.is_object()) << lists.dump();
    const json* grown = changeOf(changes, big->at("id").get<std::string>());
    ASSERT_NE(grown, nullptr) << changes.dump(1);
    EXPECT_EQ(grown->at("change"), "grown");
    EXPECT_EQ(grown->at("before")["qta"], big->at("quota"));
    EXPECT_EQ(grown->at("after")["qta"], big->at("size").get<std::int64_t>() + 2'000'000);
    EXPECT_EQ(grown->at("delta"),
              grown->at("after")["qta"].get<std::int64_t>() - big->at("quota").get<std::int64_t>());
    // Its folder grew by the same bytes, up to the drive itself.
    const json* drive = changeOf(changes, "root[1]");
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(drive->at("delta"), grown->at("delta"));
    EXPECT_EQ(changes["totals_now"]["qta"].get<std::int64_t>() -
                  changes["totals_before"]["qta"].get<std::int64_t>(),
              grown->at("delta"));
    EXPECT_EQ(json::parse(readFile(world.home() + "/../e.json"))["changes"], changes);

    // A third scan compares with the second: nothing changed since.
    ASSERT_EQ(cli({"--changes", "--format", "json"}), 0) << readFile(err);
    EXPECT_TRUE(json::parse(readFile(out))["changes"]["items"].empty()) << readFile(out);
    // Against the first one, by date: the growth is there again.
    ASSERT_EQ(cli({"--changes", "--since", "2000-01-01", "--format", "json"}), 0) << readFile(err);
    EXPECT_NE(changeOf(json::parse(readFile(out))["changes"], big->at("id").get<std::string>()),
              nullptr)
        << readFile(out);
}

// A world aged by a month between two scans: every change the ager made is in the list with its
// exact sizes (a document below the recording threshold only through its folder), and the moved
// folder is the same folder in a new place.
TEST(Changes, EveryChangeOfAnAgedWorldIsListedWithItsExactSize) {
    World world(41);
    const std::string out = world.home() + "/../out.txt";
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >\"$OUT\" 2>/dev/null",
                                   VARNELO_CLI, "--quiet", "--refresh"});
        return Child::run(args,
                          {"HOME=" + world.home(), "TESSARY_BRCTL=" VARNELO_BRCTL, "OUT=" + out});
    };
    ASSERT_EQ(cli({}), 0);
    const json aged = world.age(3, 30);
    ASSERT_EQ(cli({"--changes", "100000", "--format", "json"}), 0);
    const json changes = json::parse(readFile(out))["changes"];
    ASSERT_TRUE(changes.is_object());

    std::set<std::string> kinds;
    for (const json& made : aged["changes"]) {
        const std::string id = made["id"];
        const std::string what = made["change"];
        kinds.insert(what);
        // A document is recorded from 1 MB on, and kept while it was recorded before.
        const bool recorded = made["kind"] == "dir" ||
                              made["qtaBefore"].get<std::int64_t>() >= 1'000'000 ||
                              made["qtaAfter"].get<std::int64_t>() >= 1'000'000;
        const json* listed = changeOf(changes, id);
        if (!recorded) {
            EXPECT_EQ(listed, nullptr) << id;
            continue;
        }
        ASSERT_NE(listed, nullptr) << what << " " << made.dump();
        const bool wasRecorded =
            made["kind"] == "dir" || made["qtaBefore"].get<std::int64_t>() >= 1'000'000;
        const std::string expected = what == "downloaded" || what == "evicted" ? "changed"
                                     : !wasRecorded && what != "deleted"       ? "new"
                                                                               : what;
        EXPECT_EQ(listed->at("change"), expected) << made.dump();
        if (what != "new" && wasRecorded) {
            EXPECT_EQ(listed->at("before")["qta"], made["qtaBefore"]) << made.dump();
            EXPECT_EQ(listed->at("before")["local"], made["localBefore"]) << made.dump();
        }
        EXPECT_EQ(listed->at("after")["qta"], made["qtaAfter"]) << made.dump();
        EXPECT_EQ(listed->at("after")["local"], made["localAfter"]) << made.dump();
        if (what == "moved") {
            EXPECT_NE(listed->at("parent_before"), listed->at("parent_after"));
        }
    }
    EXPECT_TRUE(kinds.count("moved") && kinds.count("deleted") && kinds.count("new") &&
                kinds.count("grown"))
        << aged.dump(1);
}
