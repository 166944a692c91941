#pragma once
// Runs a program of the project as a child process with extra environment variables, for the
// tests that drive the real tools.

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace testsupport {

class Child {
public:
    // Starts `args[0]` with `args`, the current environment plus `env` (NAME=VALUE), standard
    // output and error to `output` (appended) or to /dev/null when empty.
    // With `ownGroup`, the child leads a process group of its own, as a shell's foreground job
    // does, so that `signalGroup` reaches it and everything it started in that group.
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& output = "", bool ownGroup = false) {
        m_pid = ::fork();
        if (m_pid == 0) {
            if (ownGroup)
                ::setpgid(0, 0);
            for (const std::string& e : env)
                ::putenv(const_cast<char*>(e.c_str()));
            const std::string sink = output.empty() ? "/dev/null" : output;
            if (std::freopen(sink.c_str(), "a", stdout) == nullptr ||
                std::freopen(sink.c_str(), "a", stderr) == nullptr)
                ::_exit(126);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        if (ownGroup && m_pid > 0) // also here, so the group exists before it is signalled
            ::setpgid(m_pid, m_pid);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            (void)wait();
        }
    }

    [[nodiscard]] bool running() {
        if (m_done)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_done = true;
            m_status = decode(status);
        }
        return !m_done;
    }
    void signal(int sig) const { ::kill(m_pid, sig); }
    // To the child's process group (started with `ownGroup`), as a terminal sends Ctrl-C.
    void signalGroup(int sig) const { ::kill(-m_pid, sig); }
    [[nodiscard]] pid_t pid() const { return m_pid; }
    // The exit status, or 128 + the signal that ended it.
    int wait() {
        if (!m_done) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_done = true;
            m_status = decode(status);
        }
        return m_status;
    }

    // Runs to the end and returns the exit status.
    static int run(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                   const std::string& output = "") {
        Child c(args, env, output);
        return c.wait();
    }

private:
    static int decode(int status) {
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }

    pid_t m_pid = -1;
    bool m_done = false;
    int m_status = -1;
};

} // namespace testsupport
