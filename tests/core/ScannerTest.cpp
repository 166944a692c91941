#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

const std::string rule(12, '-');

std::string dumpText() {
    std::string text =
        "unrelated preamble\n    server items\n    " + rule + "c{1}m.a{3}e.C{7}s[1]" + rule + "\n";
    text += "  i:<d1> st{p:<root[1]> n:\"D{7}s\" dir} sm{qta:0 rcc:0 sbm:0 stm:0 cc:1}\n";
    text += "  i:<f1> st{p:<d1> n:\"r{4}t.pdf\" doc} sz:2000 bytes "
            "sm{qta:4096 rcc:1 sbm:0 stm:0 cc:0} mt:1700000000\n";
    text += "  i:<f2> st{p:<root[1]> n:\"b{3}t.mov\" doc} sz:5000000 bytes "
            "sm{qta:5000000 rcc:1 sbm:0 stm:0 cc:0} mt:1700000000\n";
    // The tool's check wants at least 1,000 bytes.
    text += std::string(1200, '#') + "\n    client items\n";
    return text;
}

struct Report {
    std::string phase;
    std::int64_t done, total;
    std::string message;
};

// A home folder with iCloud Drive's local folder and a fake brctl that copies a prepared dump
// and counts its runs.
class ScannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "scanner-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
        m_env = std::make_unique<ScanEnvironment>((m_dir / "home").string());
        fs::create_directories(fs::path(m_env->cloudDocsDir) / "Documents");
        std::ofstream(fs::path(m_env->cloudDocsDir) / "Documents" / "report.pdf")
            << std::string(2000, 'r');
        std::ofstream(m_dir / "source.dump", std::ios::binary) << dumpText();
        const fs::path tool = m_dir / "brctl";
        std::ofstream(tool) << "#!/bin/sh\n"
                            << "if [ \"$1\" = quota ]; then echo '123456 bytes of quota remaining';"
                            << " exit 0; fi\n"
                            << "echo run >> '" << (m_dir / "runs").string() << "'\n"
                            << "cp '" << (m_dir / "source.dump").string() << "' \"$4\"\n";
        fs::permissions(tool, fs::perms::owner_all);
        ::setenv("TESSARY_BRCTL", tool.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TESSARY_BRCTL");
        fs::remove_all(m_dir);
    }

    std::unique_ptr<ScanResult> scan(const Scanner::Options& options) {
        m_reports.clear();
        const ProgressCallback progress = [this](std::string_view p, std::int64_t d, std::int64_t t,
                                                 std::string_view m) {
            m_reports.push_back({std::string(p), d, t, std::string(m)});
        };
        return Scanner::scan(options, progress, {}, *m_env, TimeoutPool::shared());
    }
    int runs() const {
        std::ifstream in(m_dir / "runs");
        int n = 0;
        for (std::string line; std::getline(in, line);)
            ++n;
        return n;
    }
    bool reported(std::string_view phase) const {
        for (const Report& r : m_reports)
            if (r.phase == phase)
                return true;
        return false;
    }
    void ageDump(double hours) {
        const auto when = fs::file_time_type::clock::now() -
                          std::chrono::duration_cast<fs::file_time_type::duration>(
                              std::chrono::duration<double>(hours * 3600.0));
        fs::last_write_time(m_env->dumpFile, when);
    }

    fs::path m_dir;
    std::unique_ptr<ScanEnvironment> m_env;
    std::vector<Report> m_reports;
};

} // namespace

TEST(ScannerFreshness, AgeLimitEqualityAndFutureTimes) {
    EXPECT_TRUE(Scanner::isFresh(1000, 1000 + 5 * 3600, 6.0));
    EXPECT_FALSE(Scanner::isFresh(1000, 1000 + 7 * 3600, 6.0));
    EXPECT_FALSE(Scanner::isFresh(1000, 1000 + 6 * 3600, 6.0)); // equality is too old
    EXPECT_TRUE(Scanner::isFresh(5000, 1000, 6.0));             // written in the future
    EXPECT_FALSE(Scanner::isFresh(999, 1000, 0.0));
    EXPECT_TRUE(Scanner::isFresh(1000, 1000 + 9000 * 3600, 8760.0 * 2));
}

TEST_F(ScannerTest, DumpIsMadeWhenMissingReusedWhileYoungAndRemadeOnRefresh) {
    auto result = scan({});
    EXPECT_EQ(runs(), 1);
    EXPECT_TRUE(reported("dump"));
    ASSERT_FALSE(m_reports.empty());
    const Report& last = m_reports.back();
    EXPECT_EQ(last.phase, "done");
    EXPECT_EQ(last.done, 1);
    EXPECT_EQ(last.total, 1);
    EXPECT_EQ(last.message, "Hotovo");
    EXPECT_TRUE(reported("parse"));
    EXPECT_TRUE(reported("aggregate"));
    EXPECT_EQ(result->quotaRemaining, 123456);

    // The dump went through the pipeline: mapped, resolved against the disk, aggregated.
    const Item* root = result->get("root[1]");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name(), "iCloud Drive");
    const Item* report = result->get("f1");
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->resolved);
    EXPECT_EQ(root->aggQta, 4096 + 5000000);
    EXPECT_EQ(root->aggCloud, 5000000);

    ageDump(5);
    (void)scan({});
    EXPECT_EQ(runs(), 1);
    EXPECT_FALSE(reported("dump"));

    ageDump(7);
    (void)scan({});
    EXPECT_EQ(runs(), 2);

    Scanner::Options refresh;
    refresh.refresh = true;
    (void)scan(refresh);
    EXPECT_EQ(runs(), 3);
}

TEST_F(ScannerTest, FailedDumpEndsTheScanWithoutTheDoneReport) {
    std::ofstream(m_dir / "brctl") << "#!/bin/sh\nexit 3\n";
    try {
        (void)scan({});
        ADD_FAILURE() << "no error";
    } catch (const ScanError& e) {
        EXPECT_EQ(e.kind(), ScanError::Kind::message);
    }
    EXPECT_FALSE(reported("done"));
}

TEST_F(ScannerTest, TheQuotaIsAskedBesideTheScanAndEndsWithIt) {
    const std::string asked = (m_dir / "quota-asked").string();
    const std::string pidFile = (m_dir / "quota-pid").string();
    // The dump waits until the quota has been asked: asked only after the scan, it never is.
    const std::string waitForQuota = "i=0; while [ ! -e '" + asked +
                                     "' ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n"
                                     "[ -e '" +
                                     asked + "' ] || exit 3\n";
    std::ofstream(m_dir / "brctl")
        << "#!/bin/sh\n"
        << "if [ \"$1\" = quota ]; then touch '" << asked
        << "'; echo '123456 bytes of quota remaining'; exit 0; fi\n"
        << waitForQuota << "cp '" << (m_dir / "source.dump").string() << "' \"$4\"\n";
    const std::unique_ptr<ScanResult> result = scan({});
    EXPECT_EQ(result->quotaRemaining, 123456);

    // A scan that fails while the tool has not answered the quota stops that tool too.
    fs::remove(asked);
    std::ofstream(m_dir / "brctl") << "#!/bin/sh\n"
                                   << "if [ \"$1\" = quota ]; then touch '" << asked
                                   << "'; echo $$ > '" << pidFile << "'; exec sleep 1000; fi\n"
                                   << waitForQuota << "exit 3\n";
    Scanner::Options refresh;
    refresh.refresh = true;
    EXPECT_THROW((void)scan(refresh), ScanError);
    std::ifstream pidIn(pidFile);
    pid_t pid = 0;
    ASSERT_TRUE(pidIn >> pid);
    EXPECT_NE(::kill(pid, 0), 0) << "the quota's tool still runs";
}

TEST_F(ScannerTest, StopDuringTheParseStopsTheDiskListingToo) {
    // A chain of folders that takes twenty seconds to list, one second a folder.
    std::string chain = m_env->cloudDocsDir;
    for (int i = 0; i < 20; ++i) {
        chain += "/c" + std::to_string(i);
        fs::create_directories(chain);
        FS::markBusy(chain, 1);
    }
    // The dump takes a moment, so that the listing is deep in the chain when the parse begins.
    std::ofstream(m_dir / "brctl")
        << "#!/bin/sh\n"
        << "if [ \"$1\" = quota ]; then echo '1 bytes of quota "
           "remaining'; exit 0; fi\n"
        << "sleep 2.5; cp '" << (m_dir / "source.dump").string() << "' \"$4\"\n";
    // Asked from the quota's thread too.
    std::atomic<bool> parsing{false};
    const ProgressCallback progress = [&](std::string_view phase, std::int64_t, std::int64_t,
                                          std::string_view) {
        if (phase == "parse")
            parsing = true;
    };
    TimeoutPool pool;
    try {
        (void)Scanner::scan(
            {}, progress, [&] { return parsing.load(); }, *m_env, pool);
        ADD_FAILURE() << "not stopped";
    } catch (const ScanError& e) {
        EXPECT_TRUE(e.isCancelled());
    }
    // The lister ends after the folder it was in; had it gone on, it would list for longer.
    for (int i = 0; i < 100 && pool.idle() < pool.threads(); ++i)
        ::usleep(100'000);
    EXPECT_EQ(pool.idle(), pool.threads());
}

TEST_F(ScannerTest, DiskOnlyScanDefaultsToICloudDrive) {
    Scanner::Options options;
    options.mode = ScanMode::fs;
    auto result = scan(options);
    EXPECT_EQ(runs(), 0);
    EXPECT_EQ(result->mode, ScanMode::fs);
    ASSERT_EQ(result->containers.size(), 1u);
    const Container& c = result->containers.begin()->second;
    EXPECT_EQ(c.display, "iCloud Drive");
    EXPECT_EQ(c.localPath, m_env->cloudDocsDir);
    EXPECT_EQ(m_reports.back().phase, "done");
}

TEST_F(ScannerTest, HydrationRefusesRootsUnknownIdsAndDocuments) {
    auto result = scan({});
    const auto refusal = [&](std::string_view id) {
        try {
            (void)Scanner::hydrate(*result, id, 1, noopProgress, {}, *m_env, TimeoutPool::shared());
        } catch (const ScanError& e) {
            return e.description();
        }
        return std::string("no error");
    };
    EXPECT_EQ(refusal("root[1]"), "Kořen nelze načítat najednou – vyberte konkrétní složku.");
    // The id is named, and whether it is unknown or not a folder.
    EXPECT_EQ(refusal("nope"), "Položka „nope“ ve výsledku skenu není.");
    EXPECT_EQ(refusal("f1"), "Položka „f1“ není složka.");
}

TEST_F(ScannerTest, HydrationListsANeverOpenedFolder) {
    const fs::path folder = fs::path(m_env->cloudDocsDir) / "Documents";
    std::ofstream(folder / "late.txt") << "x";
    FS::markDataless(folder.string());
    auto result = scan({});
    Item* documents = result->get("d1");
    ASSERT_NE(documents, nullptr);
    ASSERT_TRUE(documents->hasPath());
    EXPECT_FALSE(documents->enumerated);
    EXPECT_FALSE(result->get("f1")->resolved);

    EXPECT_EQ(Scanner::hydrate(*result, "d1", 0, noopProgress, {}, *m_env, TimeoutPool::shared()),
              1);
    EXPECT_TRUE(documents->enumerated);
    EXPECT_TRUE(result->get("f1")->resolved);
    EXPECT_EQ(result->get("root[1]")->aggCloud, 5000000);
    // Listed once: a second hydration finds nothing left to list.
    EXPECT_EQ(Scanner::hydrate(*result, "d1", 7, noopProgress, {}, *m_env, TimeoutPool::shared()),
              0);
}
