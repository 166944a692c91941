#include "TessaryCore/Brctl.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Trash.hpp"
#include "TruthChecks.hpp"
#include "WorldWriter.hpp"
#include "support/Child.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>

using namespace tessary;
using testsupport::Child;
using testsupport::readFile;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

// One generated world (without the archive of extra items) shared by the tests that only read.
class SimWorld : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_tmp = new TempDir("sim-world");
        s_world = s_tmp->str() + "/w";
        ASSERT_EQ(
            Child::run({VARNELO_SIM, "world", "--out", s_world, "--seed", "7", "--items", "0"}), 0);
        s_truth = nlohmann::json::parse(readFile(s_world + "/truth/world.json"));
        s_dump = s_tmp->str() + "/dump.txt";
        ASSERT_EQ(dump(s_dump), 0);
    }
    static void TearDownTestSuite() {
        delete s_tmp;
        s_tmp = nullptr;
    }

    static int dump(const std::string& file, const std::vector<std::string>& knobs = {}) {
        std::vector<std::string> env{"HOME=" + s_world + "/home"};
        env.insert(env.end(), knobs.begin(), knobs.end());
        return Child::run({VARNELO_BRCTL, "dump", "-v", "-o", file}, env);
    }
    static inline TempDir* s_tmp = nullptr;
    static inline std::string s_world;
    static inline std::string s_dump;
    static inline nlohmann::json s_truth;
};

TEST_F(SimWorld, DumpParsesIntoExactlyWhatTheServerHolds) {
    simtest::expectDumpMatchesTruth(s_dump, s_truth);
}

TEST_F(SimWorld, DiskHoldsPlaceholdersDownloadsPackagesAndTheRefusedFolder) {
    const std::string home = s_world + "/home/";
    const std::set<std::string> seenStates =
        simtest::expectDiskMatchesTruth(s_world + "/home", s_truth);
    for (const char* state : {"resolved", "ambiguous", "denied", "unlisted"})
        EXPECT_TRUE(seenStates.count(state)) << state;
    // The link out of the home folder and the one that loops.
    const std::string docs = home + "Library/Mobile Documents/com~apple~CloudDocs/Documents/";
    EXPECT_EQ(fs::canonical(docs + "Mimo domov"), fs::canonical(s_world + "/outside"));
    EXPECT_EQ(fs::canonical(docs + "Smyčka"), fs::canonical(docs));
}

TEST_F(SimWorld, SameSeedGivesTheSameBytesAndAnotherSeedAnotherWorld) {
    const std::string again = s_tmp->str() + "/again";
    ASSERT_EQ(Child::run({VARNELO_SIM, "world", "--out", again, "--seed", "7", "--items", "0"}), 0);
    EXPECT_EQ(readFile(again + "/truth/world.json"), readFile(s_world + "/truth/world.json"));
    const std::string dump2 = s_tmp->str() + "/dump2.txt";
    ASSERT_EQ(Child::run({VARNELO_BRCTL, "dump", "-v", "-o", dump2}, {"HOME=" + again + "/home"}),
              0);
    EXPECT_EQ(readFile(dump2), readFile(s_dump));

    const std::string other = s_tmp->str() + "/other";
    ASSERT_EQ(Child::run({VARNELO_SIM, "world", "--out", other, "--seed", "8", "--items", "0"}), 0);
    EXPECT_NE(readFile(other + "/truth/world.json"), readFile(s_world + "/truth/world.json"));
    sim::WorldWriter::remove(again);
    sim::WorldWriter::remove(other);
}

TEST_F(SimWorld, KnobsMakeTheToolFailStopEarlyOrNeverEnd) {
    const std::string failed = s_tmp->str() + "/failed.txt";
    EXPECT_EQ(dump(failed, {"VARNELO_SIM_FAIL=3"}), 3);
    EXPECT_FALSE(Brctl::dumpComplete(failed));
    EXPECT_GT(fs::file_size(failed), 0u);

    const std::string noClient = s_tmp->str() + "/noclient.txt";
    EXPECT_EQ(dump(noClient, {"VARNELO_SIM_NO_CLIENT=1"}), 0);
    EXPECT_FALSE(Brctl::dumpComplete(noClient));
    EXPECT_EQ(DumpParser::parse(noClient, noopProgress).stats["items_parsed"],
              s_truth["counts"]["items"].get<std::int64_t>());

    // Never ends until SIGTERM; what it wrote by then stays readable.
    const std::string endless = s_tmp->str() + "/endless.txt";
    Child hang({VARNELO_BRCTL, "dump", "-v", "-o", endless},
               {"HOME=" + s_world + "/home", "VARNELO_SIM_NEVER_ENDS=1"});
    for (int i = 0; i < 500 && readFile(endless).find("zone sync") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(hang.running());
    hang.signal(SIGTERM);
    EXPECT_EQ(hang.wait(), 143);
    EXPECT_FALSE(Brctl::dumpComplete(endless));

    // Slow mode: the file grows while the tool still runs.
    const std::string slow = s_tmp->str() + "/slow.txt";
    Child slowTool({VARNELO_BRCTL, "dump", "-v", "-o", slow},
                   {"HOME=" + s_world + "/home", "VARNELO_SIM_SLOW_MS=40"});
    bool grewWhileRunning = false;
    for (int i = 0; i < 1000 && slowTool.running(); ++i) {
        std::error_code ec;
        grewWhileRunning = grewWhileRunning || fs::file_size(slow, ec) > 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(grewWhileRunning);
    EXPECT_EQ(slowTool.wait(), 0);
    EXPECT_EQ(readFile(slow), readFile(s_dump));
}

TEST(SimRefusals, NonEmptyFoldersForeignFoldersAndMissingWorlds) {
    TempDir tmp("sim-refuse");
    const std::string busy = tmp.str() + "/busy";
    fs::create_directories(busy);
    std::ofstream(busy + "/keep.txt") << "mine";
    const std::string log = tmp.str() + "/log.txt";
    EXPECT_EQ(Child::run({VARNELO_SIM, "world", "--out", busy}, {}, log), 1);
    EXPECT_EQ(Child::run({VARNELO_SIM, "world", "--out", busy, "--replace"}, {}, log), 1);
    EXPECT_EQ(readFile(busy + "/keep.txt"), "mine");
    EXPECT_NE(readFile(log).find("není prázdná"), std::string::npos);
    EXPECT_NE(readFile(log).find("neobsahuje simulovaný svět"), std::string::npos);
    EXPECT_EQ(Child::run({VARNELO_SIM, "world"}), 2);

    // A former world is replaced.
    const std::string world = tmp.str() + "/world";
    ASSERT_EQ(Child::run({VARNELO_SIM, "world", "--out", world, "--items", "0"}), 0);
    EXPECT_EQ(Child::run({VARNELO_SIM, "world", "--out", world, "--items", "0", "--replace"}), 0);

    // No world under HOME: an error, and no file.
    const std::string out = tmp.str() + "/none.txt";
    const std::string err = tmp.str() + "/err.txt";
    EXPECT_EQ(Child::run({VARNELO_BRCTL, "dump", "-v", "-o", out}, {"HOME=" + tmp.str()}, err), 1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(readFile(err).find("Simulovaný iCloud Drive tu není"), std::string::npos);
    EXPECT_EQ(Child::run({VARNELO_BRCTL, "quota"}, {"HOME=" + tmp.str()}), 1);
    EXPECT_EQ(Child::run({VARNELO_BRCTL, "quota"}, {"HOME=" + world + "/home"}), 0);
}

} // namespace

// What happened on the disk reaches the server before the next dump, as iCloud Drive's own sync
// would carry it: deletions (a move to the Trash among them), new files and folders, files
// changed locally. Placeholders stay as they are, and an untouched world stays exactly as it was.
TEST(SimSync, TheServerLearnsWhatHappenedOnTheDiskBeforeTheNextDump) {
    const TempDir tmp("sim-sync");
    const std::string world = tmp.str() + "/w";
    const std::string home = world + "/home";
    ASSERT_EQ(Child::run({VARNELO_SIM, "world", "--out", world, "--seed", "7", "--items", "0"}), 0);
    const auto truth = nlohmann::json::parse(readFile(world + "/truth/world.json"));
    const std::string db = home + "/.varnelo-sim/server.db";
    const auto dumpNow = [&](const std::string& file) {
        return Child::run({VARNELO_BRCTL, "dump", "-v", "-o", file}, {"HOME=" + home});
    };
    const std::string untouched = readFile(db);
    ASSERT_EQ(dumpNow(tmp.str() + "/first.txt"), 0);
    EXPECT_EQ(readFile(db), untouched);

    // A downloaded file, a listed folder with something inside, another downloaded file to
    // change and a placeholder to leave alone, all in iCloud Drive itself.
    std::string removedDoc, trashedFolder, changedDoc, placeholder;
    std::map<std::string, std::string> parentOf;
    for (const auto& t : truth["items"]) {
        parentOf[t["id"]] = t["parent"];
        if (t["local"].is_null() || t["dead"].get<bool>())
            continue;
        const auto& local = t["local"];
        const std::string path = local["path"];
        if (path.find("com~apple~CloudDocs/") == std::string::npos || local["denied"] ||
            local["isPackage"] || local["neverOpened"])
            continue;
        if (t["kind"] == "doc" && !local["dataless"].get<bool>()) {
            std::string& pick = removedDoc.empty() ? removedDoc : changedDoc;
            if (pick.empty())
                pick = t["id"];
        } else if (t["kind"] == "doc" && placeholder.empty()) {
            placeholder = t["id"];
        }
    }
    std::map<std::string, std::string> pathOf;
    for (const auto& t : truth["items"])
        if (!t["local"].is_null())
            pathOf[t["id"]] = home + "/" + t["local"]["path"].get<std::string>();
    // The folder: a listed one holding a downloaded file other than the two picked above.
    for (const auto& t : truth["items"]) {
        const std::string id = t["id"];
        const std::string parent = t["parent"];
        if (t["kind"] != "doc" || t["local"].is_null() || id == removedDoc || id == changedDoc ||
            !pathOf.contains(parent) || parentOf[removedDoc] == parent ||
            parentOf[changedDoc] == parent || parentOf[placeholder] == parent)
            continue;
        const auto st = FS::lstat(pathOf[parent]);
        if (st && st->isDir() && !st->isDataless() &&
            pathOf[parent].find("com~apple~CloudDocs/") != std::string::npos) {
            trashedFolder = parent;
            break;
        }
    }
    ASSERT_FALSE(removedDoc.empty() || changedDoc.empty() || placeholder.empty() ||
                 trashedFolder.empty());

    fs::remove(pathOf[removedDoc]);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    Trash::moveItem(home, pathOf[trashedFolder], std::nullopt);
    std::ofstream(pathOf[changedDoc], std::ios::binary | std::ios::trunc) << std::string(777, 'c');
    const std::string drive = home + "/Library/Mobile Documents/com~apple~CloudDocs";
    std::ofstream(drive + "/Nový soubor.txt", std::ios::binary) << std::string(1000, 'n');
    fs::create_directory(drive + "/Nová složka");
    std::ofstream(drive + "/Nová složka/uvnitř.txt", std::ios::binary) << std::string(2000, 'u');
    std::ofstream(drive + "/.skryté", std::ios::binary) << "x";
    const std::string before = readFile(db);

    const std::string dump = tmp.str() + "/second.txt";
    ASSERT_EQ(dumpNow(dump), 0);
    ScanResult res = DumpParser::parse(dump, noopProgress);
    EXPECT_TRUE(res.get(removedDoc)->dead);
    EXPECT_TRUE(res.get(trashedFolder)->dead);
    for (const auto& t : truth["items"])
        if (t["parent"] == trashedFolder) {
            EXPECT_TRUE(res.get(t["id"].get<std::string>())->dead) << "inside the trashed folder";
        }
    EXPECT_FALSE(res.get(placeholder)->dead);
    EXPECT_EQ(res.get(changedDoc)->sz, 777);
    EXPECT_EQ(res.get(changedDoc)->qta, 777);
    // The new entries, under names the database prints masked.
    std::int64_t newBytes = 0;
    int newEntries = 0;
    res.forEachItem([&](Item& item) {
        if (!item.id().starts_with("local-"))
            return;
        ++newEntries;
        newBytes += item.sz;
    });
    EXPECT_EQ(newEntries, 3); // the file, the folder and the file inside it; not the hidden one
    EXPECT_EQ(newBytes, 3000);
    EXPECT_EQ(res.stats["bad_lines"], 0);
    EXPECT_NE(readFile(db), before);
    // The next dump finds nothing more to do.
    const std::string synced = readFile(db);
    ASSERT_EQ(dumpNow(tmp.str() + "/third.txt"), 0);
    EXPECT_EQ(readFile(db), synced);
}

// `brctl evict` frees a downloaded document as the service does and `brctl download` brings back
// exactly its bytes; a document changed since the last dump, or anything that is not a document
// of the iCloud Drive, is refused and left as it was.
TEST(SimEvict, FreesADownloadKeepsItsBytesOnTheServerAndRefusesLocalChanges) {
    const TempDir tmp("sim-evict");
    const std::string world = tmp.str() + "/w";
    const std::string home = world + "/home";
    ASSERT_EQ(Child::run({VARNELO_SIM, "world", "--out", world, "--seed", "7", "--items", "0"}), 0);
    const auto truth = nlohmann::json::parse(readFile(world + "/truth/world.json"));
    std::vector<std::string> downloads;
    for (const auto& t : truth["items"])
        if (t["kind"] == "doc" && !t["dead"].get<bool>() && !t["local"].is_null() &&
            !t["local"]["dataless"].get<bool>() && !t["local"]["isPackage"].get<bool>() &&
            t["size"].get<std::int64_t>() > 0)
            downloads.push_back(home + "/" + t["local"]["path"].get<std::string>());
    ASSERT_GE(downloads.size(), 2u);
    const std::string log = tmp.str() + "/brctl.log";
    const auto brctl = [&](const std::string& command, const std::string& path) {
        return Child::run({VARNELO_BRCTL, command, path}, {"HOME=" + home}, log);
    };

    const std::string doc = downloads[0];
    const std::string bytes = readFile(doc);
    struct stat before {};
    ASSERT_EQ(::lstat(doc.c_str(), &before), 0);
    ASSERT_EQ(brctl("evict", doc), 0) << readFile(log);
    struct stat freed {};
    ASSERT_EQ(::lstat(doc.c_str(), &freed), 0);
    EXPECT_EQ(freed.st_ino, before.st_ino) << "the same file, now a placeholder";
    EXPECT_EQ(freed.st_size, before.st_size);
    EXPECT_EQ(freed.st_blocks, 0);
    EXPECT_EQ(freed.st_mtim.tv_sec, before.st_mtim.tv_sec);
    const auto info = FS::lstat(doc);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->isDataless());
    EXPECT_EQ(brctl("evict", doc), 0) << "freeing a placeholder again changes nothing";

    ASSERT_EQ(brctl("download", doc), 0) << readFile(log);
    EXPECT_EQ(readFile(doc), bytes);
    EXPECT_FALSE(FS::lstat(doc)->isDataless());

    // Changed on the disk after the last dump: the server does not have these bytes.
    const std::string changed = downloads[1];
    std::ofstream(changed, std::ios::binary | std::ios::trunc) << std::string(321, 'z');
    fs::remove(log);
    EXPECT_EQ(brctl("evict", changed), 1);
    EXPECT_NE(readFile(log).find("změny, které ještě nejsou na serveru"), std::string::npos)
        << readFile(log);
    EXPECT_EQ(readFile(changed), std::string(321, 'z'));
    // Once a dump has synced the change, the server has it and the file may be freed.
    ASSERT_EQ(
        Child::run({VARNELO_BRCTL, "dump", "-v", "-o", tmp.str() + "/d.txt"}, {"HOME=" + home}), 0);
    ASSERT_EQ(brctl("evict", changed), 0) << readFile(log);
    ASSERT_EQ(brctl("download", changed), 0) << readFile(log);
    EXPECT_EQ(readFile(changed), std::string(321, 'z'));

    // Not a document of the iCloud Drive.
    EXPECT_EQ(brctl("evict", world + "/outside/mimo.txt"), 1);
    EXPECT_EQ(brctl("evict", home + "/Library/Mobile Documents"), 1);
}
