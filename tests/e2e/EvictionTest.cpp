// Freeing downloaded documents of a generated world through the real brctl stand-in, and getting
// them back by download.
#include "TessaryCore/Eviction.hpp"
#include "SimWorld.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/Trash.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace tessary;
using nlohmann::json;
using testsupport::Child;
using testsupport::readFile;
using testsupport::World;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<ScanResult> scanWorld(const World& world, bool refresh) {
    Scanner::Options o;
    o.refresh = refresh;
    return world.scan(o);
}

bool hasMark(const std::string& path) {
    char value[8];
    return ::lgetxattr(path.c_str(), "user.tessary.dataless", value, sizeof value) >= 0;
}

const Eviction::Failure* failureOf(const Eviction::Outcome& outcome, const std::string& id) {
    for (const Eviction::Failure& f : outcome.failed)
        if (f.id == id)
            return &f;
    return nullptr;
}

} // namespace

// The iCloud Drive's own folder is freed: every downloaded document becomes a placeholder of the
// same size without blocks, a rescan removes no mark, and a download brings back the same bytes.
// A file written to after the scan and a file replaced after the selection keep their bytes.
TEST(Eviction, FreesAFolderRefusesChangedFilesAndDownloadRestoresTheBytes) {
    const World world(11);
    const std::unique_ptr<ScanResult> result = scanWorld(world, true);
    const Item* drive = result->mainRoot();
    ASSERT_NE(drive, nullptr);
    const Eviction::Selection selection = Eviction::select({drive}, *result, *world.env);
    ASSERT_GE(selection.documents.size(), 10u);
    EXPECT_GT(selection.bytes, 0);

    std::vector<Eviction::Job> jobs;
    std::map<std::string, std::string> before; // path -> bytes
    std::int64_t localBytes = 0;
    for (const Item* doc : selection.documents) {
        EXPECT_EQ(Eviction::reason(*doc, *result, *world.env), std::nullopt);
        jobs.push_back(Eviction::jobFor(*doc));
        before[jobs.back().path] = readFile(jobs.back().path);
        localBytes += doc->localAlloc;
    }
    EXPECT_EQ(selection.bytes, localBytes);

    // Written to after the scan: local changes the server does not have.
    const Eviction::Job& written = jobs[0];
    std::ofstream(written.path, std::ios::app | std::ios::binary) << "edit";
    const std::string writtenBytes = readFile(written.path);
    // Replaced by another file with the same bytes and time between the dialog and the run.
    const Eviction::Job& replaced = jobs[1];
    const std::string copy = replaced.path + ".new";
    fs::copy_file(replaced.path, copy);
    struct stat old {};
    ASSERT_EQ(::stat(replaced.path.c_str(), &old), 0);
    const timespec times[2] = {old.st_atim, old.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);
    fs::rename(copy, replaced.path);

    std::set<std::string> phases;
    const Eviction::Outcome outcome =
        Eviction::run(world.home(), jobs,
                      [&](std::string_view phase, std::int64_t, std::int64_t, std::string_view) {
                          phases.insert(std::string(phase));
                      },
                      {});
    EXPECT_EQ(phases, std::set<std::string>{"evict"});
    EXPECT_EQ(outcome.done.size(), jobs.size() - 2);
    ASSERT_EQ(outcome.failed.size(), 2u);
    ASSERT_NE(failureOf(outcome, written.id), nullptr);
    EXPECT_EQ(failureOf(outcome, written.id)->reason, Eviction::localChanges);
    ASSERT_NE(failureOf(outcome, replaced.id), nullptr);
    EXPECT_EQ(failureOf(outcome, replaced.id)->reason, Trash::changed);
    EXPECT_EQ(readFile(written.path), writtenBytes);
    EXPECT_EQ(readFile(replaced.path), before[replaced.path]);

    std::vector<std::string> freed;
    for (const Eviction::Job& job : jobs) {
        if (job.id == written.id || job.id == replaced.id)
            continue;
        struct stat st {};
        ASSERT_EQ(::lstat(job.path.c_str(), &st), 0) << job.path;
        EXPECT_EQ(st.st_size, job.size) << job.path;
        EXPECT_EQ(st.st_blocks, 0) << job.path;
        EXPECT_TRUE(hasMark(job.path)) << job.path;
        freed.push_back(job.path);
    }

    // A new scan reads the placeholders without downloading them, and sees them cloud-only.
    const std::unique_ptr<ScanResult> again = scanWorld(world, false);
    for (const Eviction::Job& job : jobs) {
        if (job.id == written.id || job.id == replaced.id)
            continue;
        EXPECT_TRUE(hasMark(job.path)) << "the scan removed the mark of " << job.path;
        const Item* item = again->get(job.id);
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->dataless) << job.path;
        EXPECT_EQ(item->localAlloc, 0) << job.path;
    }
    EXPECT_LT(again->mainRoot()->aggLocal, drive->aggLocal);

    // A stop before the first batch frees nothing and says how many were left.
    const Eviction::Outcome stopped =
        Eviction::run(world.home(), {jobs[2]}, {}, [] { return true; });
    EXPECT_TRUE(stopped.done.empty());
    EXPECT_EQ(stopped.skipped, 1);

    // Several paths at once, as the run hands them over.
    std::vector<std::string> download{VARNELO_BRCTL, "download"};
    download.insert(download.end(), freed.begin(), freed.end());
    ASSERT_EQ(Child::run(download, {"HOME=" + world.home()}), 0);
    for (const std::string& path : freed) {
        EXPECT_EQ(readFile(path), before[path]) << path;
        EXPECT_FALSE(hasMark(path)) << path;
    }
}

// What may be freed, from what the scan saw: a placeholder, a link, a folder with nothing
// downloaded and anything of a disk-only scan are refused with their reasons.
TEST(Eviction, RulesSayWhyAnItemCannotBeFreed) {
    const World world(12);
    const std::unique_ptr<ScanResult> result = scanWorld(world, true);
    std::set<std::string> reasons;
    for (const Item* item : result->itemOrder())
        if (const auto why = Eviction::reason(*item, *result, *world.env))
            reasons.insert(*why);
    EXPECT_TRUE(reasons.count(Eviction::onlyInCloud));
    EXPECT_TRUE(reasons.count(Eviction::link));
    EXPECT_TRUE(reasons.count(Eviction::nothingDownloaded));
    EXPECT_TRUE(reasons.count(Eviction::deleted));

    // A placeholder chosen on its own is refused; inside a chosen folder it is passed over.
    for (const Item* item : result->itemOrder()) {
        if (item->kind() != ItemKind::doc || !item->dataless || item->dead)
            continue;
        const Eviction::Selection alone = Eviction::select({item}, *result, *world.env);
        EXPECT_TRUE(alone.documents.empty());
        ASSERT_EQ(alone.refused.size(), 1u);
        EXPECT_EQ(alone.refused[0].reason, Eviction::onlyInCloud);
        break;
    }

    // A folder and a document inside it count that document once.
    const Item* drive = result->mainRoot();
    const Eviction::Selection whole = Eviction::select({drive}, *result, *world.env);
    ASSERT_FALSE(whole.documents.empty());
    const Eviction::Selection both =
        Eviction::select({whole.documents.front(), drive}, *result, *world.env);
    EXPECT_EQ(both.documents.size(), whole.documents.size());
    EXPECT_EQ(both.bytes, whole.bytes);

    // The same folder scanned from the disk alone is not the iCloud Drive's to free.
    Scanner::Options o;
    o.mode = ScanMode::fs;
    o.fsRoots =
        std::vector<std::pair<std::string, std::string>>{{"Dokumenty", world.env->cloudDocsDir}};
    const std::unique_ptr<ScanResult> disk = world.scan(o);
    const Eviction::Selection fromDisk = Eviction::select({disk->mainRoot()}, *disk, *world.env);
    EXPECT_TRUE(fromDisk.documents.empty());
    ASSERT_EQ(fromDisk.refused.size(), 1u);
    EXPECT_EQ(fromDisk.refused[0].reason, Eviction::notOnICloudDrive);
}

// varnelo-cli --evict: the dry run lists every document it would free and what stays with its
// reason, the run frees them; both exit 1 because a changed file had to stay.
TEST(Eviction, CommandLineFreesAFolderAndSaysWhatStays) {
    const World world(13);
    // A folder of the iCloud Drive holding at least three downloaded documents of its own.
    std::map<std::string, std::vector<std::string>> downloads; // folder id -> paths
    for (const json& t : world.truth["items"])
        if (t["kind"] == "doc" && t["expect"] == "resolved" && !t["dead"].get<bool>() &&
            !t["local"]["dataless"].get<bool>() && !t["local"]["isPackage"].get<bool>() &&
            t["container"] == 1)
            downloads[t["parent"].get<std::string>()].push_back(world.local(t));
    auto folder = downloads.begin();
    while (folder != downloads.end() &&
           (folder->second.size() < 3 || folder->first.starts_with("root[")))
        ++folder;
    ASSERT_NE(folder, downloads.end());
    const std::vector<std::string>& paths = folder->second;

    const std::string log = world.home() + "/../cli.log";
    const auto cli = [&](std::vector<std::string> args) {
        fs::remove(log);
        args.insert(args.begin(), {VARNELO_CLI, "--quiet"});
        return Child::run(args, {"HOME=" + world.home(), "TESSARY_BRCTL=" VARNELO_BRCTL}, log);
    };
    ASSERT_EQ(cli({"--refresh", "--top-dirs", "1"}), 0) << readFile(log);
    std::ofstream(paths[0], std::ios::app | std::ios::binary) << "edit";

    EXPECT_EQ(cli({"--evict", folder->first, "--dry-run"}), 1);
    const std::string plan = readFile(log);
    for (std::size_t i = 1; i < paths.size(); ++i)
        EXPECT_NE(plan.find(paths[i] + "\n"), std::string::npos) << plan;
    EXPECT_NE(plan.find("Zůstane: " + paths[0] + " – " + Eviction::localChanges), std::string::npos)
        << plan;
    EXPECT_NE(plan.find("v iCloudu zůstane vše."), std::string::npos) << plan;
    for (const std::string& path : paths)
        EXPECT_FALSE(hasMark(path)) << "a dry run changed " << path;

    EXPECT_EQ(cli({"--evict", folder->first}), 1) << readFile(log);
    EXPECT_NE(readFile(log).find("Uvolněno z tohoto Macu: "), std::string::npos) << readFile(log);
    EXPECT_FALSE(hasMark(paths[0]));
    for (std::size_t i = 1; i < paths.size(); ++i)
        EXPECT_TRUE(hasMark(paths[i])) << paths[i];

    // An id the database does not hold.
    EXPECT_EQ(cli({"--evict", "no-such-id", "--dry-run"}), 1);
    EXPECT_NE(readFile(log).find("Položka no-such-id v databázi není."), std::string::npos);
}

// A folder swapped for a link to itself after the scan: every path through it still leads to the
// same files, with the same sizes and times, but the run reaches them only through the link, and
// frees none of them.
TEST(Eviction, NothingIsFreedThroughAFolderSwappedForALink) {
    const World world(14);
    const std::unique_ptr<ScanResult> result = scanWorld(world, true);
    const Eviction::Selection selection =
        Eviction::select({result->mainRoot()}, *result, *world.env);
    // A document one folder below the iCloud Drive's own folder.
    const Item* inside = nullptr;
    for (const Item* doc : selection.documents) {
        const fs::path parent = fs::path(*doc->path()).parent_path();
        if (parent.parent_path() == fs::path(world.env->cloudDocsDir)) {
            inside = doc;
            break;
        }
    }
    ASSERT_NE(inside, nullptr);
    const Eviction::Job job = Eviction::jobFor(*inside);
    const fs::path folder = fs::path(job.path).parent_path();
    const fs::path moved = folder.parent_path() / "moved-away";
    fs::rename(folder, moved);
    fs::create_directory_symlink(moved, folder);
    const std::string bytes = readFile(job.path);

    const Eviction::Outcome outcome = Eviction::run(world.home(), {job}, {}, {});
    EXPECT_TRUE(outcome.done.empty());
    ASSERT_EQ(outcome.failed.size(), 1u);
    EXPECT_FALSE(outcome.failed[0].reason.empty());
    const std::string real = (moved / fs::path(job.path).filename()).string();
    EXPECT_FALSE(hasMark(real));
    EXPECT_EQ(readFile(real), bytes);
}
