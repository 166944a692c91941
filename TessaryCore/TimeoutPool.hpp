#pragma once

#include "TessaryCore/ScanError.hpp"

#include <atomic>
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
    struct Job;

public:
    // A body handed to the pool by `start` whose value is still to be collected by `wait`. A
    // ticket dropped uncollected abandons its body: a body not yet begun is never run.
    template <typename T> class Ticket {
    public:
        Ticket() = default;
        Ticket(Ticket&&) noexcept = default;
        Ticket& operator=(Ticket&& other) noexcept {
            abandon();
            m_job = std::move(other.m_job);
            m_box = std::move(other.m_box);
            return *this;
        }
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;
        ~Ticket() { abandon(); }

        [[nodiscard]] bool valid() const { return m_job != nullptr; }

    private:
        friend class TimeoutPool;
        void abandon() {
            if (m_job)
                m_job->abandoned = true;
            m_job.reset();
        }
        std::shared_ptr<Job> m_job;
        std::shared_ptr<std::optional<T>> m_box;
    };

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

    // Starts `body` on a worker at once and returns without waiting: the caller may do other work
    // before it collects the value with `wait`.
    template <typename Body>
    [[nodiscard]] Ticket<std::invoke_result_t<std::decay_t<Body>&>> start(bool materialize,
                                                                          Body&& body);
    // Collects the value of a started body as `run` does, the timeout counted from `start`.
    // The ticket is spent afterwards, whatever the outcome.
    template <typename T>
    T wait(Ticket<T>& ticket, std::optional<double> timeout,
           const std::function<void(double)>& waiting, const std::function<bool()>& cancel);

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
        // When the body finished; set with `done`.
        std::chrono::steady_clock::time_point finished;
        // Written by the worker before `done`, read by the caller after it.
        std::exception_ptr error;
        // When the job was handed to the pool: its timeout counts from here.
        std::chrono::steady_clock::time_point started;
        // The caller gave up.
        std::atomic<bool> abandoned{false};
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
    // Waits for the job as `run` describes; returns when it is done, throws otherwise (and
    // then marks the job abandoned).
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
    if constexpr (std::is_void_v<T>) {
        auto job = std::make_shared<Job>();
        job->materialize = materialize;
        job->fn = [body = std::forward<Body>(body)]() mutable { body(); };
        submit(job);
        await(job, timeout, waiting, cancel);
    } else {
        Ticket<T> ticket = start(materialize, std::forward<Body>(body));
        return wait(ticket, timeout, waiting, cancel);
    }
}

template <typename Body>
TimeoutPool::Ticket<std::invoke_result_t<std::decay_t<Body>&>> TimeoutPool::start(bool materialize,
                                                                                  Body&& body) {
    using T = std::invoke_result_t<std::decay_t<Body>&>;
    Ticket<T> ticket;
    ticket.m_job = std::make_shared<Job>();
    ticket.m_job->materialize = materialize;
    // The result's box is shared with the job, so an abandoned job still has somewhere to put
    // its value.
    ticket.m_box = std::make_shared<std::optional<T>>();
    ticket.m_job->fn = [box = ticket.m_box, body = std::forward<Body>(body)]() mutable {
        box->emplace(body());
    };
    submit(ticket.m_job);
    return ticket;
}

template <typename T>
T TimeoutPool::wait(Ticket<T>& ticket, std::optional<double> timeout,
                    const std::function<void(double)>& waiting,
                    const std::function<bool()>& cancel) {
    const std::shared_ptr<Job> job = std::move(ticket.m_job);
    const std::shared_ptr<std::optional<T>> box = std::move(ticket.m_box);
    await(job, timeout, waiting, cancel);
    return std::move(**box);
}

} // namespace tessary
