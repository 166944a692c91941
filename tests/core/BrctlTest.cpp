#include "TessaryCore/Brctl.hpp"
#include "TessaryCore/ScanError.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

// Short waits so that the tests of stubborn tools take tenths of a second, not seconds.
constexpr BrctlTiming fast{.pollSeconds = 0.02, .termGraceSeconds = 0.3, .termPollSeconds = 0.01};

constexpr const char* otherInstance =
    "Jiná instance Varnelo právě načítá databázi – počkejte, až skončí.";

struct Report {
    std::string phase;
    std::int64_t done;
    std::int64_t total;
    std::string message;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// A dump the acceptance checks take: a server section, a client section, padded to `size`.
std::string dumpText(std::size_t size, bool clientSection = true) {
    std::string s = "brctl dump\n    server items\n";
    const std::string tail = clientSection ? "    client items\n" : "    nothing more\n";
    while (s.size() + tail.size() < size)
        s += "    i:<1> st{p:<0> n:\"a\" doc} sz:1 bytes\n";
    s += tail;
    if (s.size() > size) // trim the padding to hit the size exactly
        s.erase(s.size() - tail.size() - (s.size() - size), s.size() - size);
    return s;
}

bool processGone(pid_t pid) {
    return ::kill(pid, 0) == -1 && errno == ESRCH;
}

// Whether another open file description could take the dump lock now.
bool lockIsFree(const std::string& lockFile) {
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

template <class F> ScanError scanErrorOf(F&& f) {
    try {
        f();
    } catch (const ScanError& e) {
        return e;
    }
    ADD_FAILURE() << "no ScanError was thrown";
    return ScanError::message("<none>");
}

class BrctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/brctl-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root + "/tools");
        env = std::make_unique<ScanEnvironment>(m_root + "/home");
    }
    void TearDown() override {
        ::unsetenv("TESSARY_BRCTL");
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    std::string path(const std::string& name) const { return m_root + "/" + name; }

    // Writes an executable shell script and makes it the tool that Brctl runs.
    std::string useTool(const std::string& body) {
        const std::string file = path("tools/brctl-" + std::to_string(++m_tools));
        writeFile(file, "#!/bin/sh\n" + body);
        fs::permissions(file,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        ::setenv("TESSARY_BRCTL", file.c_str(), 1);
        return file;
    }

    // A tool that checks its command line, prints to both streams, copies `payload` to the
    // partial dump and exits with `code`.
    std::string usePayloadTool(const std::string& payload, int code = 0) {
        writeFile(path("payload"), payload);
        return useTool("[ \"$1 $2 $3\" = 'dump -v -o' ] || exit 64\n"
                       "echo 'tool stdout'\necho 'tool stderr' >&2\n"
                       "cat '" +
                       path("payload") + "' > \"$4\"\nexit " + std::to_string(code) + "\n");
    }

    std::string partialPath() const {
        return env->cacheDir + "/dump-v." + std::to_string(::getpid()) + ".part";
    }
    std::string logPath() const { return env->cacheDir + "/brctl-dump.log"; }

    // An earlier complete dump and its metadata, which failed runs must leave untouched.
    void writeOldDump() {
        fs::create_directories(env->cacheDir);
        writeFile(env->dumpFile, "OLD DUMP");
        writeFile(env->metaFile, R"({"keep":"me","last_dump_bytes":8})");
    }
    void expectOldDumpUntouched() {
        EXPECT_EQ(readFile(env->dumpFile), "OLD DUMP");
        EXPECT_EQ(readFile(env->metaFile), R"({"keep":"me","last_dump_bytes":8})");
        EXPECT_FALSE(fs::exists(partialPath()));
        EXPECT_TRUE(lockIsFree(env->lockFile));
    }

    std::string runDump(std::vector<Report>* reports = nullptr, const CancelCallback& cancel = {},
                        const std::optional<std::string>& out = std::nullopt) {
        return Brctl::runDump(
            out,
            [reports](std::string_view phase, std::int64_t done, std::int64_t total,
                      std::string_view message) {
                if (reports != nullptr)
                    reports->push_back({std::string(phase), done, total, std::string(message)});
            },
            cancel, *env, fast);
    }

    std::unique_ptr<ScanEnvironment> env;

private:
    std::string m_root;
    int m_tools = 0;
};

} // namespace

TEST_F(BrctlTest, ToolPathFollowsTheEnvironment) {
    ::unsetenv("TESSARY_BRCTL");
    EXPECT_EQ(Brctl::toolPath(), "/usr/bin/brctl");
    ::setenv("TESSARY_BRCTL", "", 1);
    EXPECT_EQ(Brctl::toolPath(), "/usr/bin/brctl");
    ::setenv("TESSARY_BRCTL", "/opt/sim/brctl", 1);
    EXPECT_EQ(Brctl::toolPath(), "/opt/sim/brctl");
}

TEST_F(BrctlTest, SlowGoodDumpIsMovedIntoPlaceWithProgressAndMetadata) {
    const std::string dump = dumpText(3000);
    writeFile(path("p1"), dump.substr(0, 1000));
    writeFile(path("p2"), dump.substr(1000, 1000));
    writeFile(path("p3"), dump.substr(2000));
    // The descriptor checks: a descriptor this process leaks on purpose (no O_CLOEXEC) and the
    // lock file must not reach the tool; its standard input is the null device.
    useTool("echo \"$@\" > '" + path("args") + "'\n" +
            "[ -e /proc/$$/fd/77 ] && echo leaked77 >> '" + path("fds") + "'\n" +
            "ls -l /proc/$$/fd | grep -q dump.lock && echo leakedlock >> '" + path("fds") + "'\n" +
            "readlink /proc/$$/fd/0 >> '" + path("fds") + "'\n" +
            "echo 'tool stdout'\necho 'tool stderr' >&2\n" + "for p in p1 p2 p3; do cat '" +
            path("") + "'$p >> \"$4\"; sleep 0.15; done\n");
    const int leak = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leak, 0);
    ASSERT_EQ(::dup2(leak, 77), 77);
    ::close(leak);

    fs::create_directories(env->cacheDir);
    writeFile(logPath(), "OLD LOG");
    writeFile(env->metaFile, R"({"last_dump_bytes":100000,"other":[1,{"x":"y"}]})");

    std::vector<Report> reports;
    const double before =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_EQ(runDump(&reports), env->dumpFile);
    ::close(77);

    EXPECT_EQ(readFile(env->dumpFile), dump);
    EXPECT_FALSE(fs::exists(partialPath()));
    EXPECT_EQ(readFile(path("args")), "dump -v -o " + partialPath() + "\n");
    EXPECT_EQ(readFile(path("fds")), "/dev/null\n");
    EXPECT_EQ(readFile(logPath()), "tool stdout\ntool stderr\n");
    EXPECT_TRUE(lockIsFree(env->lockFile));

    // Reports: one per change of size plus the final one; the total is the previous size.
    ASSERT_GE(reports.size(), 3u);
    std::vector<std::int64_t> sizes;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].phase, "dump");
        EXPECT_EQ(reports[i].message, "Načítám databázi iCloud Drive (brctl dump)…");
        EXPECT_EQ(reports[i].total, 100000);
        // The report at the tool's exit is made even when the size did not change.
        if (i + 2 < reports.size()) {
            EXPECT_LT(reports[i].done, reports[i + 1].done) << "report " << i;
        } else if (i + 1 < reports.size()) {
            EXPECT_LE(reports[i].done, reports[i + 1].done) << "report " << i;
        }
        if (sizes.empty() || sizes.back() != reports[i].done)
            sizes.push_back(reports[i].done);
    }
    EXPECT_EQ(reports.back().done, 3000);
    EXPECT_GE(sizes.size(), 3u) << "the growth of the file was not shown";

    const nlohmann::ordered_json meta = Brctl::loadMeta(*env);
    const double after =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    ASSERT_EQ(meta.size(), 4u);
    auto key = meta.begin();
    EXPECT_EQ(key.key(), "last_dump_bytes");
    EXPECT_EQ((++key).key(), "other");
    EXPECT_EQ(meta["last_dump_bytes"], 3000);
    EXPECT_TRUE(meta["last_dump_bytes"].is_number_integer());
    EXPECT_EQ(meta["other"], nlohmann::ordered_json::parse(R"([1,{"x":"y"}])"));
    const double secs = meta["last_dump_seconds"].get<double>();
    EXPECT_GE(secs, 0.3);
    EXPECT_LT(secs, 60.0);
    EXPECT_DOUBLE_EQ(secs * 10, std::round(secs * 10));
    EXPECT_GE(meta["last_dump_time"].get<double>(), before);
    EXPECT_LE(meta["last_dump_time"].get<double>(), after);
    EXPECT_FALSE(fs::exists(env->metaFile + "." + std::to_string(::getpid()) + ".tmp"));
}

TEST_F(BrctlTest, AnotherTargetCanBeNamed) {
    usePayloadTool(dumpText(1500));
    const std::string out = path("elsewhere.txt");
    EXPECT_EQ(runDump(nullptr, {}, out), out);
    EXPECT_EQ(readFile(out), dumpText(1500));
    EXPECT_FALSE(fs::exists(env->dumpFile));
    EXPECT_EQ(Brctl::loadMeta(*env)["last_dump_bytes"], 1500);

    // A target that cannot be written: nothing is saved, the partial dump is gone.
    writeOldDump();
    const std::string bad = path("missing-folder/dump.txt");
    const ScanError e = scanErrorOf([&] { runDump(nullptr, {}, bad); });
    EXPECT_EQ(e.kind(), ScanError::Kind::message);
    EXPECT_EQ(e.description(), "Výpis nelze uložit do " + bad + ".");
    expectOldDumpUntouched();
}

TEST_F(BrctlTest, IncompleteDumpsAreRejected) {
    writeOldDump();
    const std::string logged = "tool stdout\ntool stderr\n";

    // Status 0 without a client section.
    usePayloadTool(dumpText(5000, false));
    ScanError e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.kind(), ScanError::Kind::message);
    EXPECT_EQ(e.description(), "brctl dump selhal nebo je neúplný (kód 0). " + logged);
    expectOldDumpUntouched();

    // 999 bytes are too few even with status 0 and a client section; 1,000 are enough.
    ASSERT_EQ(dumpText(999).size(), 999u);
    ASSERT_NE(dumpText(999).find("client items"), std::string::npos);
    usePayloadTool(dumpText(999));
    e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.description(), "brctl dump selhal nebo je neúplný (kód 0). " + logged);
    expectOldDumpUntouched();

    // A complete dump with a failing status.
    usePayloadTool(dumpText(2000), 3);
    e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.description(), "brctl dump selhal nebo je neúplný (kód 3). " + logged);
    expectOldDumpUntouched();

    // A tool that writes no file and a long log: the message ends with the last 500 bytes.
    const std::string noise(600, 'x');
    useTool("echo start; printf '" + noise + "END'; exit 1\n");
    e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.description(),
              "brctl dump selhal nebo je neúplný (kód 1). " + std::string(497, 'x') + "END");
    expectOldDumpUntouched();

    // Killed by a signal: the signal's number is shown.
    usePayloadTool(dumpText(2000));
    useTool("cat '" + path("payload") + "' > \"$4\"; kill -9 $$\n");
    e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.description(), "brctl dump selhal nebo je neúplný (kód 9). ");
    expectOldDumpUntouched();

    usePayloadTool(dumpText(1000));
    EXPECT_EQ(runDump(), env->dumpFile);
    EXPECT_EQ(readFile(env->dumpFile), dumpText(1000));
    EXPECT_EQ(Brctl::loadMeta(*env)["keep"], "me");
}

TEST_F(BrctlTest, CancelStopsTheToolAndKeepsTheOldDump) {
    writeOldDump();
    const std::string forever = "echo $$ > '" + path("pid") + "'\n" +
                                "printf 'partial' > \"$4\"\n" + "while :; do sleep 0.05; done\n";
    for (const bool ignoresTerm : {false, true}) {
        SCOPED_TRACE(ignoresTerm ? "tool ignores SIGTERM" : "tool honours SIGTERM");
        useTool((ignoresTerm ? "trap '' TERM\n" : "") + forever);
        std::vector<Report> reports;
        const ScanError e = scanErrorOf([&] {
            runDump(&reports, [&] { return !reports.empty() && reports.back().done > 0; });
        });
        EXPECT_TRUE(e.isCancelled());
        EXPECT_EQ(e.description(), "Zrušeno uživatelem.");
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back().done, 7);
        EXPECT_EQ(reports.back().total, 8); // the previous dump's size from meta.json
        const pid_t pid = std::stoi(readFile(path("pid")));
        EXPECT_TRUE(processGone(pid)) << "the tool was not stopped and reaped";
        expectOldDumpUntouched();
    }

    // A progress callback that throws is a way out too: same clean-up.
    useTool(forever);
    EXPECT_THROW(Brctl::runDump(
                     std::nullopt,
                     [](std::string_view, std::int64_t done, std::int64_t, std::string_view) {
                         if (done > 0)
                             throw std::runtime_error("receiver gone");
                     },
                     {}, *env, fast),
                 std::runtime_error);
    EXPECT_TRUE(processGone(std::stoi(readFile(path("pid")))));
    expectOldDumpUntouched();
}

TEST_F(BrctlTest, SecondRunIsRefusedAtOnceWhileTheFirstGoesOn) {
    // The tool holds the first run until the test has seen both refusals, so the refusals
    // cannot have waited for the first run to end.
    usePayloadTool(dumpText(2000));
    useTool("cat '" + path("payload") + "' > \"$4\"\n" + "while [ ! -e '" + path("release") +
            "' ]; do sleep 0.02; done\n");

    int go[2];
    int answer[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(answer), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(go[1]);
        ::close(answer[0]);
        char c = 0;
        if (::read(go[0], &c, 1) != 1)
            ::_exit(2);
        std::string text = "no error";
        try {
            Brctl::runDump(std::nullopt, noopProgress, {}, *env, fast);
        } catch (const ScanError& e) {
            text = e.description();
        } catch (...) {
            text = "other error";
        }
        const ssize_t n = ::write(answer[1], text.data(), text.size());
        ::_exit(n == static_cast<ssize_t>(text.size()) ? 0 : 3);
    }
    ::close(go[0]);
    ::close(answer[1]);

    std::atomic<bool> firstDone = false;
    std::string firstResult;
    std::string firstError;
    std::thread first([&] {
        bool signalled = false;
        try {
            firstResult = Brctl::runDump(
                std::nullopt,
                [&](std::string_view, std::int64_t done, std::int64_t, std::string_view) {
                    if (!signalled && done > 0) {
                        signalled = true;
                        [[maybe_unused]] const ssize_t n = ::write(go[1], "g", 1);
                    }
                },
                {}, *env, fast);
        } catch (const std::exception& e) {
            firstError = e.what();
        }
        if (!signalled) // let the child go on even when the first run failed early
            [[maybe_unused]]
            const ssize_t n = ::write(go[1], "g", 1);
        firstDone = true;
    });

    std::string fromChild;
    char buf[512];
    for (ssize_t n; (n = ::read(answer[0], buf, sizeof buf)) > 0;)
        fromChild.append(buf, static_cast<std::size_t>(n));
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(fromChild, otherInstance);

    // Another run in this process is refused the same way.
    const ScanError e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.description(), otherInstance);
    EXPECT_FALSE(firstDone) << "the first run ended before the refusals";

    writeFile(path("release"), "");
    first.join();
    ::close(go[1]);
    ::close(answer[0]);
    EXPECT_EQ(firstError, "");
    EXPECT_EQ(firstResult, env->dumpFile);
    EXPECT_EQ(readFile(env->dumpFile), dumpText(2000));
    EXPECT_TRUE(lockIsFree(env->lockFile));
}

TEST_F(BrctlTest, MissingToolAndToolThatCannotStart) {
    writeOldDump();
    ::setenv("TESSARY_BRCTL", path("tools/absent").c_str(), 1);
    ScanError e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.kind(), ScanError::Kind::message);
    EXPECT_EQ(e.description(), "Nástroj brctl nebyl nalezen (je součástí macOS).");
    expectOldDumpUntouched();

    // Exists but has no execute permission (refused even to root).
    const std::string tool = usePayloadTool(dumpText(2000));
    fs::permissions(tool, fs::perms::owner_read | fs::perms::owner_write);
    e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.description(),
              std::string("Nástroj brctl se nepodařilo spustit: ") + std::strerror(EACCES));
    expectOldDumpUntouched();
}

TEST_F(BrctlTest, CacheFolderThatCannotBeCreatedGivesTheLockMessage) {
    // The home "folder" is a file, so nothing can be created below it, not even as root.
    writeFile(path("home"), "not a folder");
    env = std::make_unique<ScanEnvironment>(path("home"));
    useTool("touch '" + path("started") + "'\n");
    const ScanError e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.kind(), ScanError::Kind::message);
    EXPECT_EQ(e.description(), "Nelze vytvořit zámek v " + env->cacheDir + ".");
    EXPECT_FALSE(fs::exists(path("started")));
    EXPECT_EQ(readFile(path("home")), "not a folder");
}

TEST_F(BrctlTest, BadMetadataDegradesToAnEmptyObject) {
    const std::string dump = dumpText(1200);
    usePayloadTool(dump);
    const std::vector<std::string> variants = {"",
                                               "not json {",
                                               "[1,2,3]",
                                               "\"text\"",
                                               "42",
                                               "null",
                                               R"({"last_dump_bytes":"12345678","keep":true})",
                                               R"({"last_dump_bytes":1e300})",
                                               R"({"last_dump_bytes":12345678.5})",
                                               R"({"last_dump_bytes":[12345678]})"};
    for (const std::string& text : variants) {
        SCOPED_TRACE(text);
        fs::create_directories(env->cacheDir);
        writeFile(env->metaFile, text);
        const nlohmann::ordered_json loaded = Brctl::loadMeta(*env);
        EXPECT_TRUE(loaded.is_object());
        if (text.empty() || text.front() != '{') {
            EXPECT_TRUE(loaded.empty());
        }

        std::vector<Report> reports;
        EXPECT_EQ(runDump(&reports), env->dumpFile);
        // No usable previous size: the total is the dump's own current size.
        for (const Report& r : reports)
            EXPECT_EQ(r.total, r.done);
        const nlohmann::ordered_json meta = Brctl::loadMeta(*env);
        EXPECT_EQ(meta["last_dump_bytes"], 1200);
        if (text.find("keep") != std::string::npos) {
            EXPECT_EQ(meta.begin().key(), "last_dump_bytes");
            EXPECT_EQ(meta["keep"], true);
        }
    }

    // A missing file and a folder in its place read as empty; the folder cannot be replaced,
    // yet the dump itself succeeds.
    fs::remove(env->metaFile);
    EXPECT_TRUE(Brctl::loadMeta(*env).empty());
    fs::create_directories(env->metaFile);
    EXPECT_TRUE(Brctl::loadMeta(*env).empty());
    EXPECT_EQ(runDump(), env->dumpFile);
    EXPECT_TRUE(fs::is_directory(env->metaFile));
    EXPECT_EQ(fs::directory_iterator(env->cacheDir) == fs::directory_iterator(), false);
    for (const auto& entry : fs::directory_iterator(env->cacheDir))
        EXPECT_EQ(entry.path().extension() == ".tmp", false) << entry.path();
}

TEST_F(BrctlTest, SaveMetaReplacesTheFileAndKeepsUnknownKeys) {
    nlohmann::ordered_json meta = nlohmann::ordered_json::object();
    meta["z"] = 1;
    meta["a"] = "/path/with/slashes";
    Brctl::saveMeta(meta, *env); // creates the cache folder
    EXPECT_EQ(readFile(env->metaFile), R"({"z":1,"a":"/path/with/slashes"})");
    EXPECT_EQ(Brctl::loadMeta(*env), meta);

    // Not serialisable (invalid UTF-8): nothing is written, the old file stays.
    nlohmann::ordered_json bad = meta;
    bad["bad"] = std::string("\xff\xfe");
    Brctl::saveMeta(bad, *env);
    EXPECT_EQ(readFile(env->metaFile), R"({"z":1,"a":"/path/with/slashes"})");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(env->cacheDir))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(BrctlTest, DumpCompleteFindsTheMarkerAcrossBlockBoundaries) {
    constexpr std::size_t block = 8 * 1024 * 1024;
    const std::string file = path("big");
    EXPECT_FALSE(Brctl::dumpComplete(path("absent")));
    EXPECT_FALSE(Brctl::dumpComplete(path("tools"))); // a folder cannot be read

    const std::size_t size = 2 * block + 100;
    writeFile(file, std::string(size, '.'));
    EXPECT_FALSE(Brctl::dumpComplete(file));
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    // Puts `text` at `at` in the file, checks, then restores the dots.
    auto completeWith = [&](std::size_t at, const std::string& text) {
        EXPECT_EQ(::pwrite(fd, text.data(), text.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(text.size()));
        const bool found = Brctl::dumpComplete(file);
        const std::string dots(text.size(), '.');
        EXPECT_EQ(::pwrite(fd, dots.data(), dots.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(dots.size()));
        return found;
    };
    const std::string marker = "client items";
    // Wholly in the first block, split at several positions, wholly in the second, across the
    // second boundary, at the end.
    for (const std::size_t at : {std::size_t{0}, block - marker.size(), block - 11, block - 6,
                                 block - 1, block, 2 * block - 5, size - marker.size()}) {
        SCOPED_TRACE(at);
        EXPECT_TRUE(completeWith(at, marker));
    }
    // Almost the marker across the boundary is not the marker.
    EXPECT_FALSE(completeWith(block - 6, "client item"));
    ::close(fd);
    // A file of exactly one block with the marker at its end.
    writeFile(file, std::string(block - marker.size(), '-') + marker);
    EXPECT_TRUE(Brctl::dumpComplete(file));
}

TEST_F(BrctlTest, RunCaptureReadsAllOutputWithoutAShell) {
    // Far more than a pipe holds, so the tool would block if nobody read while we wait.
    const std::string tool = useTool("echo \"$1|$2\"\necho 'to stderr' >&2\n"
                                     "head -c 3000000 /dev/zero | tr '\\0' 'a'\n"
                                     "printf 'x\\377y'\n");
    const std::string out = Brctl::runCapture({tool, "a b", "$HOME; echo no"}, 30.0, fast);
    const std::string echoed = "a b|$HOME; echo no\n";
    ASSERT_EQ(out.size(), echoed.size() + 3000000 + 3 + 2);
    EXPECT_EQ(out.substr(0, echoed.size() + 3), echoed + "aaa");
    EXPECT_EQ(out.substr(out.size() - 5), "x\xEF\xBF\xBDy"); // invalid byte replaced
    EXPECT_EQ(out.find("stderr"), std::string::npos);

    EXPECT_THROW((void)Brctl::runCapture({}, 1.0), std::invalid_argument);
    try {
        (void)Brctl::runCapture({path("tools/absent")}, 1.0);
        ADD_FAILURE() << "no launch error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOENT);
    }
}

TEST_F(BrctlTest, RunCaptureStopsAToolThatRunsTooLong) {
    for (const bool ignoresTerm : {false, true}) {
        SCOPED_TRACE(ignoresTerm ? "tool ignores SIGTERM" : "tool honours SIGTERM");
        const std::string tool =
            useTool(std::string(ignoresTerm ? "trap '' TERM\n" : "") + "echo $$ > '" + path("pid") +
                    "'\necho early\n" + "while :; do sleep 0.05; done\n");
        EXPECT_EQ(Brctl::runCapture({tool}, 0.2, fast), "early\n");
        EXPECT_TRUE(processGone(std::stoi(readFile(path("pid")))));
    }
    // The tool exits but a process it left behind keeps the pipe open: the caller still
    // returns at the time limit with what was written.
    const std::string tool = useTool("echo quick\nsleep 2 &\n");
    EXPECT_EQ(Brctl::runCapture({tool}, 0.3, fast), "quick\n");
}

TEST_F(BrctlTest, QuotaReadsTheFreeBytes) {
    useTool("[ \"$1\" = quota ] || exit 64\necho 'Quota info'\n"
            "echo '123456789 bytes of quota remaining'\n");
    EXPECT_EQ(Brctl::quota(30.0, fast), 123456789);

    useTool("echo 'no quota here'\n");
    EXPECT_EQ(Brctl::quota(30.0, fast), std::nullopt);
    useTool(
        "[ \"$1\" = quota ] || exit 64\necho '99999999999999999999 bytes of quota remaining'\n");
    EXPECT_EQ(Brctl::quota(30.0, fast), std::nullopt);
    useTool("while :; do sleep 0.05; done\n");
    EXPECT_EQ(Brctl::quota(0.2, fast), std::nullopt);
    ::setenv("TESSARY_BRCTL", path("tools/absent").c_str(), 1);
    EXPECT_EQ(Brctl::quota(30.0, fast), std::nullopt);

    EXPECT_EQ(Brctl::parseQuota("x 0 bytes of quota remaining"), 0);
    EXPECT_EQ(Brctl::parseQuota("free:42 bytes of quota remaining, 7 bytes of quota remaining"),
              42);
    EXPECT_EQ(Brctl::parseQuota("9223372036854775807 bytes of quota remaining"),
              9223372036854775807);
    EXPECT_EQ(Brctl::parseQuota("9223372036854775808 bytes of quota remaining"), std::nullopt);
    EXPECT_EQ(Brctl::parseQuota("12 bytes of quota"), std::nullopt);
    EXPECT_EQ(Brctl::parseQuota("\xD9\xA3 bytes of quota remaining"), std::nullopt); // Arabic 3
    EXPECT_EQ(Brctl::parseQuota("\xff 5 bytes of quota remaining"), 5);
}

TEST_F(BrctlTest, OutputThatIsNoDumpNeverReplacesTheCache) {
    writeOldDump();
    // Exit 0, big enough and "client items" in it, but no server section before it.
    usePayloadTool(std::string(2000, 'g') + "\n    client items\n");
    const std::string notADump =
        "Výstup nástroje brctl není výpis databáze (chybí v něm sekce 'server items' před "
        "sekcí 'client items'). Uložený výpis zůstal beze změny.";
    ScanError e = scanErrorOf([&] { runDump(); });
    EXPECT_EQ(e.kind(), ScanError::Kind::message);
    EXPECT_EQ(e.description(), notADump);
    expectOldDumpUntouched();

    // A server header after the client marker, or one that is only part of a longer word,
    // does not make a dump either.
    usePayloadTool("    client items\n" + std::string(2000, 'g') + "\n    server items\n");
    EXPECT_EQ(scanErrorOf([&] { runDump(); }).description(), notADump);
    usePayloadTool("    server itemsX\n" + std::string(2000, 'g') + "\n    client items\n");
    EXPECT_EQ(scanErrorOf([&] { runDump(); }).description(), notADump);
    expectOldDumpUntouched();

    EXPECT_EQ(Brctl::dumpShape(path("absent")), DumpShape::incomplete);
    writeFile(path("crlf"), "x\r\n    server items\r\n" + std::string(100, 'y') + "client items");
    EXPECT_EQ(Brctl::dumpShape(path("crlf")), DumpShape::complete);
    // A header line longer than a block's worth of prefix, and one cut by the file's end.
    writeFile(path("long"), "    server items " + std::string(100, 'z') + "\n    client items\n");
    EXPECT_EQ(Brctl::dumpShape(path("long")), DumpShape::complete);
    writeFile(path("end"), "client items\n    server items");
    EXPECT_EQ(Brctl::dumpShape(path("end")), DumpShape::notADump);
}

TEST_F(BrctlTest, AStopAskedForWinsOverTheToolsExitStatus) {
    writeOldDump();
    // The tool writes a complete dump and exits with 0 while the stop request is made, as a
    // terminal's Ctrl-C reaches both at once.
    usePayloadTool(dumpText(2000));
    useTool("echo $$ > '" + path("pid") + "'\ncat '" + path("payload") + "' > \"$4\"\n");
    bool stop = false;
    const auto exited = [&] {
        const std::string text = readFile(path("pid"));
        if (text.empty())
            return false;
        const std::string stat = readFile("/proc/" + std::to_string(std::stoi(text)) + "/stat");
        return stat.empty() || stat.find(") Z ") != std::string::npos;
    };
    const ScanError e = scanErrorOf([&] {
        Brctl::runDump(
            std::nullopt,
            [&](std::string_view, std::int64_t, std::int64_t, std::string_view) {
                stop = stop || exited();
            },
            [&] { return stop; }, *env, fast);
    });
    EXPECT_TRUE(e.isCancelled()) << e.description();
    expectOldDumpUntouched();
}

TEST_F(BrctlTest, TheToolsWholeProcessGroupStopsAndAbandonedPartialsGo) {
    writeOldDump();
    // A partial dump of a process that no longer exists, and one of a process that does.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string abandoned = env->cacheDir + "/dump-v." + std::to_string(gone) + ".part";
    const std::string alive = env->cacheDir + "/dump-v." + std::to_string(::getppid()) + ".part";
    writeFile(abandoned, "left behind");
    writeFile(alive, "still written");

    // A script whose own child keeps running; stopping the tool must stop that child too.
    useTool("sleep 300 &\necho $! > '" + path("grandchild") + "'\nprintf x > \"$4\"\n" +
            "while :; do sleep 0.05; done\n");
    const ScanError e = scanErrorOf(
        [&] { runDump(nullptr, [&] { return !readFile(path("grandchild")).empty(); }); });
    EXPECT_TRUE(e.isCancelled());
    const pid_t grandchild = std::stoi(readFile(path("grandchild")));
    for (int i = 0; i < 200 && !processGone(grandchild); ++i) // reaped by init meanwhile
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(processGone(grandchild)) << "the script's child still runs";
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_TRUE(fs::exists(alive));
    expectOldDumpUntouched();
}
