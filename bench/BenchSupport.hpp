#pragma once
// Small helpers the benchmark programs share: a wall clock, resident memory from /proc, and
// running a peer program to time it.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

// xorshift64*: the same data on every machine and run, whatever the standard library.
struct Rng {
    std::uint64_t s = 0x9E3779B97F4A7C15ULL;
    std::uint64_t next() {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 2685821657736338717ULL;
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

inline double seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Resident memory in bytes: the peak ("VmHWM:") or the current ("VmRSS:") value.
inline std::int64_t rss(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atoll(line.c_str() + std::strlen(key) + 1) * 1024;
    return 0;
}

// Lets the next VmHWM reading start from the current resident size (Linux clear_refs "5").
inline void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Wall-clock seconds of a shell command, or a negative number when it failed.
inline double timeCommand(const std::string& command) {
    const double t = seconds();
    const int status = std::system(command.c_str());
    const double elapsed = seconds() - t;
    return status == 0 ? elapsed : -1.0;
}

} // namespace bench
