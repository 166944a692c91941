#include "TessaryCore/TimeoutPool.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/IOPolicy.hpp"
#include "TessaryCore/ScanError.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A temporary folder removed afterwards; slow (busy) folders give real blocking bodies.
class TimeoutPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/varnelo-pool-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    std::string slowFolder(const std::string& name, double seconds) {
        const std::string dir = m_root + "/" + name;
        fs::create_directories(dir);
        std::ofstream(dir + "/inside.txt") << "x";
        FS::markBusy(dir, seconds);
        return dir;
    }
    std::string m_root;
};

// Polls `condition` for up to `seconds`; the pool's bookkeeping settles on its worker threads.
template <typename F> bool eventually(F condition, double seconds = 10.0) {
    const Clock::time_point start = Clock::now();
    while (!condition()) {
        if (secondsSince(start) > seconds)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

template <typename F> ScanError scanErrorOf(F&& f) {
    try {
        f();
    } catch (const ScanError& e) {
        return e;
    }
    ADD_FAILURE() << "no ScanError thrown";
    return ScanError::message("");
}

std::string threadName() {
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

} // namespace

TEST(TimeoutPoolTextTest, TimeoutTextHasOneDecimalPlaceAtLeast) {
    EXPECT_EQ(TimeoutPool::timeoutText(15), "15.0 s");
    EXPECT_EQ(TimeoutPool::timeoutText(600), "600.0 s");
    EXPECT_EQ(TimeoutPool::timeoutText(3), "3.0 s");
    EXPECT_EQ(TimeoutPool::timeoutText(2.5), "2.5 s");
    EXPECT_EQ(TimeoutPool::timeoutText(0.1), "0.1 s");
    EXPECT_EQ(TimeoutPool::timeoutText(0), "0.0 s");
}

TEST_F(TimeoutPoolTest, QuickBodyReturnsItsValueOnANamedWorker) {
    TimeoutPool pool(5.0);
    int waits = 0;
    const auto onWait = [&waits](double) { ++waits; };
    EXPECT_EQ(pool.run(15.0, onWait, nullptr, false, [] { return 42; }), 42);
    // Results of any type, also move-only ones; no deadline at all.
    const std::unique_ptr<std::string> box = pool.run(
        std::nullopt, onWait, nullptr, false, [] { return std::make_unique<std::string>("ok"); });
    EXPECT_EQ(*box, "ok");
    const std::string dir = m_root;
    std::ofstream(dir + "/a") << "1";
    EXPECT_EQ(pool.run(15.0, onWait, nullptr, false, [dir] { return FS::listNames(dir); }),
              std::vector<std::string>{"a"});
    EXPECT_EQ(waits, 0);

    // The worker's name and stack, and the caller is not the worker.
    const auto [name, stack] = pool.run(15.0, nullptr, nullptr, false, [] {
        pthread_attr_t attr;
        std::size_t size = 0;
        pthread_getattr_np(pthread_self(), &attr);
        pthread_attr_getstacksize(&attr, &size);
        pthread_attr_destroy(&attr);
        return std::pair(threadName(), size);
    });
    EXPECT_EQ(name, "icloud-fs");
    EXPECT_EQ(stack, 1024u * 1024u);
    EXPECT_NE(threadName(), "icloud-fs");
}

TEST_F(TimeoutPoolTest, BlockedBodyTimesOutAndIsLeftBehind) {
    TimeoutPool pool(30.0);
    const std::string slow = slowFolder("syncing", 5.0);
    std::vector<double> waits;
    const Clock::time_point start = Clock::now();
    const ScanError error = scanErrorOf([&] {
        (void)pool.run(
            3.0, [&waits](double s) { waits.push_back(s); }, nullptr, false,
            [slow] { return FS::listNames(slow); });
    });
    const double took = secondsSince(start);
    EXPECT_TRUE(error.isTimeout());
    EXPECT_EQ(error.payload(), "3.0 s");
    EXPECT_EQ(error.description(), "Časový limit vypršel: 3.0 s");
    // One report after the 2-second slice, one after the remaining second.
    ASSERT_EQ(waits.size(), 2u);
    EXPECT_GE(waits[0], 1.9);
    EXPECT_GE(waits[1], 2.9);
    EXPECT_GE(took, 2.9);
    // The caller did not wait for the body: it still sleeps in its listing.
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(pool.threads(), 1);
    EXPECT_EQ(pool.idle(), 0);

    // The blocked worker is not available: the next job gets a thread of its own.
    const pthread_t caller = pthread_self();
    const bool otherThread = pool.run(3.0, nullptr, nullptr, false, [caller] {
        return !pthread_equal(caller, pthread_self()) && threadName() == "icloud-fs";
    });
    EXPECT_TRUE(otherThread);
    EXPECT_EQ(pool.threads(), 2);

    // When the listing finally returns, its result is dropped and its worker waits for work.
    EXPECT_TRUE(eventually([&pool] { return pool.idle() == 2; }));
    EXPECT_EQ(pool.threads(), 2);
}

TEST_F(TimeoutPoolTest, StartedBodyKeepsItsLimitFromTheStart) {
    TimeoutPool pool;
    // Finished in time, collected only after its limit passed: the value, not a timeout.
    auto quick = pool.start(false, [] { return 7; });
    ASSERT_TRUE(eventually([&] { return pool.idle() == pool.threads(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(pool.wait(quick, 0.2, {}, {}), 7);
    EXPECT_FALSE(quick.valid());

    // The limit counts from the start, not from the wait: counted from the wait, this body
    // (1.5 s) would end within its second.
    const std::string dir = slowFolder("slow", 1.5);
    auto slow = pool.start(false, [dir] { return FS::listNames(dir).size(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_TRUE(scanErrorOf([&] { (void)pool.wait(slow, 1.0, {}, {}); }).isTimeout());

    // Finished after its limit, collected later still: a timeout, as for a caller who waited.
    const std::string late = slowFolder("late", 0.6);
    auto lateTicket = pool.start(false, [late] { return FS::listNames(late).size(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_TRUE(scanErrorOf([&] { (void)pool.wait(lateTicket, 0.3, {}, {}); }).isTimeout());
}

TEST_F(TimeoutPoolTest, ZeroTimeoutGivesUpAtOnce) {
    TimeoutPool pool(5.0);
    const std::string slow = slowFolder("syncing", 1.0);
    const ScanError error = scanErrorOf([&] {
        (void)pool.run(0.0, nullptr, nullptr, false, [slow] { return FS::listNames(slow); });
    });
    EXPECT_EQ(error, ScanError::timeout("0.0 s"));
}

TEST_F(TimeoutPoolTest, CancelIsNoticedAfterASlice) {
    TimeoutPool pool(5.0);
    const std::string slow = slowFolder("syncing", 2.5);
    int waits = 0;
    int asked = 0;
    const Clock::time_point start = Clock::now();
    const ScanError error = scanErrorOf([&] {
        (void)pool.run(
            std::nullopt, [&waits](double) { ++waits; },
            [&asked] {
                ++asked;
                return true;
            },
            false, [slow] { return FS::listNames(slow); });
    });
    EXPECT_TRUE(error.isCancelled());
    EXPECT_EQ(error.description(), "Zrušeno uživatelem.");
    // Reported once, asked once: the stop came at the end of the first 2-second slice.
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(asked, 1);
    EXPECT_GE(secondsSince(start), 1.9);

    // A cancel that stays false never stops a body that finishes.
    asked = 0;
    const auto names = pool.run(
        std::nullopt, nullptr,
        [&asked] {
            ++asked;
            return false;
        },
        false, [slow] { return FS::listNames(slow); });
    EXPECT_EQ(names, std::vector<std::string>{"inside.txt"});
    EXPECT_GE(asked, 1);
}

TEST_F(TimeoutPoolTest, BodyErrorsPassThroughUnchanged) {
    TimeoutPool pool(5.0);
    const std::string missing = m_root + "/missing";
    try {
        (void)pool.run(15.0, nullptr, nullptr, false, [missing] { return FS::listNames(missing); });
        ADD_FAILURE() << "no error";
    } catch (const FSError& e) {
        EXPECT_EQ(e, FSError(ENOENT, missing));
    }
    EXPECT_EQ(scanErrorOf([&] {
                  pool.run(15.0, nullptr, nullptr, false,
                           [] { throw ScanError::message("Chyba těla."); });
              }),
              ScanError::message("Chyba těla."));
    // The worker survives its body's errors.
    EXPECT_EQ(pool.run(15.0, nullptr, nullptr, false, [] { return 7; }), 7);
    EXPECT_EQ(pool.threads(), 1);
}

TEST_F(TimeoutPoolTest, MaterializeOnlyOnTheWorkerDuringTheJob) {
    TimeoutPool pool(5.0);
    const std::string cloud = m_root + "/never-opened";
    fs::create_directories(cloud);
    std::ofstream(cloud + "/photo.jpg") << "x";
    FS::markDataless(cloud);

    struct Seen {
        std::int32_t policy = -7;
        bool listed = false;
        bool refused = false;
    };
    const auto probe = [cloud] {
        Seen seen;
        seen.policy = IOPolicy::currentMaterialize(IOPolicy::scopeThread);
        try {
            seen.listed = FS::listNames(cloud).size() == 1;
        } catch (const FSError& e) {
            seen.refused = e.isCloudOnly();
        }
        return seen;
    };

    // Without the flag the folder stays cloud-only.
    Seen plain = pool.run(15.0, nullptr, nullptr, false, probe);
    EXPECT_TRUE(plain.refused);
    EXPECT_FALSE(plain.listed);

    Seen hydrating = pool.run(15.0, nullptr, nullptr, true, probe);
    EXPECT_EQ(hydrating.policy, IOPolicy::materializeOn);
    EXPECT_TRUE(hydrating.listed);
    EXPECT_FALSE(FS::lstat(cloud)->isDataless());

    // The same worker afterwards: its policy is off again.
    ASSERT_EQ(pool.threads(), 1);
    FS::markDataless(cloud);
    Seen after = pool.run(15.0, nullptr, nullptr, false, probe);
    EXPECT_EQ(after.policy, IOPolicy::materializeOff);
    EXPECT_TRUE(after.refused);
    // The caller's own thread was never switched.
    EXPECT_EQ(IOPolicy::currentMaterialize(IOPolicy::scopeThread), 0);
}

TEST_F(TimeoutPoolTest, IdleWorkersAreReusedAndEndAfterTheIdleTimeout) {
    TimeoutPool pool(0.3);
    EXPECT_EQ(pool.threads(), 0);
    EXPECT_EQ(pool.idle(), 0);
    const auto self = [] { return pthread_self(); };
    const pthread_t first = pool.run(15.0, nullptr, nullptr, false, self);
    // Back among the idle before its caller had the result.
    EXPECT_EQ(pool.idle(), 1);
    const pthread_t second = pool.run(15.0, nullptr, nullptr, false, self);
    EXPECT_TRUE(pthread_equal(first, second));
    EXPECT_EQ(pool.threads(), 1);

    // Left without work, the worker ends: threads and idle both drop by one.
    EXPECT_TRUE(eventually([&pool] { return pool.threads() == 0; }));
    EXPECT_EQ(pool.idle(), 0);
    // And a new one is started for the next job.
    EXPECT_EQ(pool.run(15.0, nullptr, nullptr, false, [] { return threadName(); }), "icloud-fs");
    EXPECT_EQ(pool.threads(), 1);
}

TEST_F(TimeoutPoolTest, PoolObjectMayGoWhileACallIsBlocked) {
    const std::string slow = slowFolder("syncing", 1.0);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    {
        TimeoutPool pool(0.2);
        EXPECT_TRUE(scanErrorOf([&] {
                        (void)pool.run(0.2, nullptr, nullptr, false, [slow, finished] {
                            auto names = FS::listNames(slow);
                            *finished = true;
                            return names;
                        });
                    }).isTimeout());
    }
    // The left-behind call still completes on its worker after the pool object is gone.
    EXPECT_TRUE(eventually([&] { return finished->load(); }));
}

TEST(TimeoutPoolSharedTest, OneProcessWidePool) {
    TimeoutPool& a = TimeoutPool::shared();
    TimeoutPool* b = nullptr;
    std::thread([&b] { b = &TimeoutPool::shared(); }).join();
    EXPECT_EQ(&a, b);
    EXPECT_EQ(a.run(15.0, nullptr, nullptr, false, [] { return 1; }), 1);
}
