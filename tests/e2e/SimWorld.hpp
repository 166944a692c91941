#pragma once
// A generated world of the simulated iCloud Drive on disk, with its truth, for tests that scan it
// with the real brctl stand-in.
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"
#include "support/Child.hpp"
#include "support/TempDir.hpp"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace testsupport {

using nlohmann::json;
using tessary::CancelCallback;
using tessary::ProgressCallback;
using tessary::ScanEnvironment;
using tessary::Scanner;
using tessary::ScanResult;
using tessary::TimeoutPool;

struct Phases {
    std::set<std::string> seen;
    ProgressCallback callback() {
        return [this](std::string_view phase, std::int64_t, std::int64_t, std::string_view) {
            seen.insert(std::string(phase));
        };
    }
};

// A world on disk with its truth; every scan runs the stand-in under the world's home folder.
class World {
public:
    explicit World(int seed, int items = 0) : m_tmp("e2e-world") {
        ::chmod(m_tmp.str().c_str(), 0755); // readable by the unprivileged child of one test
        m_dir = m_tmp.str() + "/w";
        if (Child::run({VARNELO_SIM, "world", "--out", m_dir, "--seed", std::to_string(seed),
                        "--items", std::to_string(items)}) != 0)
            throw std::runtime_error("the world could not be generated");
        truth = json::parse(readFile(m_dir + "/truth/world.json"));
        // The stand-in finds its world through HOME, as the demo runs it.
        ::setenv("TESSARY_BRCTL", VARNELO_BRCTL, 1);
        ::setenv("HOME", home().c_str(), 1);
        env = std::make_unique<ScanEnvironment>(home());
    }

    // Ages the world (varnelo-sim age), reads its truth again and returns the list of changes.
    json age(int seed, int days) {
        if (Child::run({VARNELO_SIM, "age", "--out", m_dir, "--seed", std::to_string(seed),
                        "--days", std::to_string(days)}) != 0)
            throw std::runtime_error("the world could not be aged");
        truth = json::parse(readFile(m_dir + "/truth/world.json"));
        return json::parse(readFile(m_dir + "/truth/changes.json"));
    }

    [[nodiscard]] std::string home() const { return m_dir + "/home"; }
    [[nodiscard]] std::string local(const json& item) const {
        return home() + "/" + item["local"]["path"].get<std::string>();
    }
    std::unique_ptr<ScanResult> scan(const Scanner::Options& options, Phases* phases = nullptr,
                                     const CancelCallback& cancel = {}) const {
        Phases ignored;
        return Scanner::scan(options, (phases ? phases : &ignored)->callback(), cancel, *env,
                             TimeoutPool::shared());
    }
    [[nodiscard]] const json* find(const std::string& name, const std::string& path) const {
        for (const json& it : truth["items"])
            if (it["name"] == name && !it["local"].is_null() &&
                it["local"]["path"].get<std::string>().ends_with(path))
                return &it;
        return nullptr;
    }

    json truth;
    std::unique_ptr<ScanEnvironment> env;

private:
    TempDir m_tmp;
    std::string m_dir;
};

} // namespace testsupport
