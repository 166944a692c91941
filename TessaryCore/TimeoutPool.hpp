#pragma once

#include "TessaryCore/ScanError.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace tessary {

// Runs possibly blocking file calls (listings, package sizes) on worker threads of its own, so
// the caller can give up after a deadline: the call is then left behind on its thread, which
// returns to the pool when the system call finally comes back.
//
// Workers ("icloud-fs", 1 MiB stacks) are started on demand, one per job that finds no idle
// worker, with no upper bound; each ends after `idleTimeout` seconds without work. Workers hold
// the pool's state, not the TimeoutPool object: destroying the object while calls are blocked is
// safe, the workers end on their own.
class TimeoutPool {
public:
    // The process-wide pool (idle timeout 60 s), created on first use, never destroyed.
    [[nodiscard]] static TimeoutPool& shared();

    // A separate pool with no threads yet.
    explicit TimeoutPool(double idleTimeout = 60.0);
    TimeoutPool(const TimeoutPool&) = delete;
    TimeoutPool& operator=(const TimeoutPool&) = delete;

    // Runs `body` on a worker and waits for it, in slices of at most 2 s. After each slice that
    // ends without a result, `waiting` (if set) gets the seconds since the call began, then
    // `cancel` (if set) is asked whether to stop. Both are called on the caller's thread.
    // Returns the body's value or rethrows its exception unchanged; throws ScanError::timeout
    // ("15.0 s" for 15 seconds) once `timeout` seconds have passed, ScanError::cancelled when
    // `cancel` said so. With `materialize`, the worker thread downloads cloud-only items while
    // the body runs (IOPolicy thread scope on, then off again).
    //
    // The body may outlive the call (after a timeout or a cancel it runs on unseen), so it
    // must own what it uses: capture by value, never references to the caller's locals.
    template <typename Body>
    std::invoke_result_t<std::decay_t<Body>&>
    run(std::optional<double> timeout, const std::function<void(double)>& waiting,
        const std::function<bool()>& cancel, bool materialize, Body&& body);

    // Workers alive / waiting for work (for tests and diagnostics).
    [[nodiscard]] std::int64_t threads() const;
    [[nodiscard]] std::int64_t idle() const;

    // The text of a timeout: shortest decimal form with at least one decimal place, then " s".
    [[nodiscard]] static std::string timeoutText(double seconds);

private:
    struct Job {
        std::function<void()> fn;
        bool materialize = false;
        // Set once by the worker after fn finished, under doneMutex.
        std::mutex doneMutex;
        std::condition_variable doneCond;
        bool done = false;
        // Written by the worker before `done`, read by the caller after it.
        std::exception_ptr error;
        // The caller gave up; guarded by the pool's mutex.
        bool abandoned = false;
    };

    struct State {
        explicit State(double idleTimeout) : idleTimeout(idleTimeout) {}
        std::mutex mutex;
        std::condition_variable cond;
        std::deque<std::shared_ptr<Job>> queue;
        std::int64_t idle = 0;
        std::int64_t threads = 0;
        const double idleTimeout;
    };

    // Queues the job, starting a worker when no idle one is left over for it.
    void submit(const std::shared_ptr<Job>& job);
    // Waits for the job as `run` describes; returns when it is done, throws otherwise.
    void await(const std::shared_ptr<Job>& job, std::optional<double> timeout,
               const std::function<void(double)>& waiting, const std::function<bool()>& cancel);
    static void* threadMain(void* arg);
    static void worker(State& state);

    std::shared_ptr<State> m_state;
};

template <typename Body>
std::invoke_result_t<std::decay_t<Body>&>
TimeoutPool::run(std::optional<double> timeout, const std::function<void(double)>& waiting,
                 const std::function<bool()>& cancel, bool materialize, Body&& body) {
    using T = std::invoke_result_t<std::decay_t<Body>&>;
    auto job = std::make_shared<Job>();
    job->materialize = materialize;
    if constexpr (std::is_void_v<T>) {
        job->fn = [body = std::forward<Body>(body)]() mutable { body(); };
        submit(job);
        await(job, timeout, waiting, cancel);
    } else {
        // The result's box is shared with the job, so an abandoned job still has somewhere
        // to put its value.
        auto box = std::make_shared<std::optional<T>>();
        job->fn = [box, body = std::forward<Body>(body)]() mutable { box->emplace(body()); };
        submit(job);
        await(job, timeout, waiting, cancel);
        return std::move(**box);
    }
}

} // namespace tessary
