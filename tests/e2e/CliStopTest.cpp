// Ctrl-C and kills of a real varnelo-cli child: a stop request always ends the run with 130,
// and the brctl tool never outlives it.
#include "support/Child.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using testsupport::Child;
using testsupport::readFile;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

bool processGone(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    return (::kill(pid, 0) != 0 && errno == ESRCH) || stat.find(") Z ") != std::string::npos;
}

// Waits up to `seconds` for `done`; whether it came true.
template <class F> bool waitFor(F&& done, double seconds = 20) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string dumpOf(int files) {
    const std::string rule(12, '-');
    std::string text = "    server items\n    " + rule + "c{1}m.a{3}e.C{7}s[1]" + rule + "\n";
    text += "  i:<d1> st{p:<root[1]> n:\"Fotky\" dir} sm{qta:0 rcc:0 sbm:0 stm:0 cc:" +
            std::to_string(files) + "}\n";
    for (int i = 0; i < files; ++i)
        text += "  i:<f" + std::to_string(i) + "> st{p:<d1> n:\"photo-" + std::to_string(i) +
                ".jpg\" doc} sz:3000 bytes sm{qta:4096 rcc:1 sbm:0 stm:0 cc:0} mt:1700000000\n";
    return text + "    client items\n";
}

class CliStopTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(m_home); }

    // A brctl stand-in: `dump` runs `dumpBody`, `quota` runs `quotaBody` (sh, $4 is the file).
    void useTool(const std::string& dumpBody, const std::string& quotaBody = "exit 1") {
        std::ofstream(m_tool) << "#!/bin/sh\nif [ \"$1\" = quota ]; then\n"
                              << quotaBody << "\nexit 0\nfi\n"
                              << dumpBody << "\n";
        fs::permissions(m_tool, fs::perms::owner_all);
    }
    std::unique_ptr<Child> start(const std::vector<std::string>& args) {
        std::vector<std::string> argv{VARNELO_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<Child>(
            argv, std::vector<std::string>{"HOME=" + m_home, "TESSARY_BRCTL=" + m_tool.string()},
            m_out.string(), true);
    }
    [[nodiscard]] std::string lastLine() const {
        std::string t = readFile(m_out);
        while (!t.empty() && t.back() == '\n')
            t.pop_back();
        return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
    }
    [[nodiscard]] std::string cacheDir() const { return m_home + "/Library/Caches/tessary"; }

    testsupport::TempDir m_tmp{"cli-stop"};
    std::string m_home = m_tmp.str() + "/home";
    fs::path m_tool = m_tmp / "brctl";
    fs::path m_out = m_tmp / "output";
    fs::path m_pid = m_tmp / "tool.pid";
};

} // namespace

TEST_F(CliStopTest, CtrlCDuringADumpStopsWith130WhateverTheToolDoes) {
    // The tool writes a part of the dump and waits; on SIGINT it would finish the dump and
    // exit 0 at once, as a tool may when a terminal's Ctrl-C reaches it too.
    std::ofstream(m_tmp / "payload") << dumpOf(50);
    useTool("echo $$ > '" + m_pid.string() + "'\ntrap 'cat \"" + (m_tmp / "payload").string() +
            "\" > \"$4\"; exit 0' INT\nprintf 'partial' > \"$4\"\nwhile :; do sleep 0.02; done");
    for (const bool wholeGroup : {true, false}) {
        SCOPED_TRACE(wholeGroup ? "Ctrl-C to the process group" : "SIGINT to the tool alone");
        fs::remove(m_pid);
        auto cli = start({"--refresh"});
        ASSERT_TRUE(waitFor([&] { return !readFile(m_pid).empty(); }));
        const pid_t tool = std::stoi(readFile(m_pid));
        if (wholeGroup)
            cli->signalGroup(SIGINT);
        else
            cli->signal(SIGINT);
        EXPECT_EQ(cli->wait(), 130) << readFile(m_out);
        EXPECT_EQ(lastLine(), "Zrušeno uživatelem.");
        EXPECT_TRUE(processGone(tool));
        EXPECT_FALSE(fs::exists(cacheDir() + "/dump-v.txt"));
        EXPECT_FALSE(fs::exists(cacheDir() + "/dump-v." + std::to_string(cli->pid()) + ".part"));
    }
}

TEST_F(CliStopTest, CtrlCIsHeardInEveryStageOfADiskOnlyScan) {
    // The free quota is asked for after the walk; the tool answers slowly.
    const fs::path asked = m_tmp / "asked";
    useTool("exit 1", "touch '" + asked.string() + "'\nsleep 60");
    fs::create_directories(m_tmp / "disk" / "a");
    std::ofstream(m_tmp / "disk" / "a" / "f") << "x";
    const auto started = Clock::now();
    auto cli = start({"--fs", "Disk=" + (m_tmp / "disk").string()});
    ASSERT_TRUE(waitFor([&] { return fs::exists(asked); }));
    cli->signalGroup(SIGINT);
    EXPECT_EQ(cli->wait(), 130) << readFile(m_out);
    EXPECT_EQ(lastLine(), "Zrušeno uživatelem.");
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(25)) << "the quota's wait was not cut";
}

TEST_F(CliStopTest, CtrlCWhileTheOutputIsWrittenStopsWith130) {
    // A JSON export far larger than a pipe; the reader waits until the writer is blocked on
    // the full pipe, then presses Ctrl-C and drains it.
    const fs::path dump = m_tmp / "big.dump";
    std::ofstream(dump) << dumpOf(3000);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execl(VARNELO_CLI, VARNELO_CLI, "--dump", dump.c_str(), "-q", "--json", "-",
                "--json-files", "100000", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    ::close(pipeFds[1]);
    const int capacity = ::fcntl(pipeFds[0], F_GETPIPE_SZ);
    ASSERT_TRUE(waitFor([&] {
        int queued = 0;
        return ::ioctl(pipeFds[0], FIONREAD, &queued) == 0 && queued >= capacity;
    }));
    ::kill(-pid, SIGINT);
    std::string got;
    char buf[65536];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_GT(got.size(), static_cast<std::size_t>(capacity));
    EXPECT_EQ(got.find("photo-2999"), std::string::npos) << "the whole export was written";
}

TEST_F(CliStopTest, AKilledCliTakesItsToolAlongAndItsPartialDumpIsCleanedLater) {
    useTool("echo $$ > '" + m_pid.string() + "'\nprintf 'partial' > \"$4\"\n" +
            "while :; do sleep 0.02; done");
    auto cli = start({"--refresh", "-q"});
    ASSERT_TRUE(waitFor([&] { return !readFile(m_pid).empty(); }));
    const pid_t tool = std::stoi(readFile(m_pid));
    const std::string partial = cacheDir() + "/dump-v." + std::to_string(cli->pid()) + ".part";
    ASSERT_TRUE(waitFor([&] { return fs::exists(partial); }));
    cli->signal(SIGKILL);
    EXPECT_EQ(cli->wait(), 128 + SIGKILL);
    EXPECT_TRUE(waitFor([&] { return processGone(tool); }, 10)) << "brctl outlived the CLI";
    EXPECT_TRUE(fs::exists(partial));

    // The next dump, under the lock, removes the partial dump nobody writes any more.
    std::ofstream(m_tmp / "payload") << dumpOf(50);
    useTool("cat '" + (m_tmp / "payload").string() + "' > \"$4\"");
    EXPECT_EQ(start({"--refresh", "-q"})->wait(), 0) << readFile(m_out);
    EXPECT_FALSE(fs::exists(partial));
}

TEST_F(CliStopTest, ADumpThatIsNoRegularFileIsRefusedBeforeItIsOpened) {
    const fs::path fifo = m_tmp / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto cli = start({"--dump", fifo.string()});
    // Without a writer, opening the FIFO would block for good.
    const bool ended = waitFor([&] { return !cli->running(); }, 10);
    EXPECT_TRUE(ended);
    if (!ended)
        return; // the destructor kills it
    EXPECT_EQ(cli->wait(), 1);
    EXPECT_EQ(lastLine(),
              "Výpis databáze nelze otevřít: " + fifo.string() + " (není to obyčejný soubor)");
}
