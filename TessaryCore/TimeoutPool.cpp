#include "TessaryCore/TimeoutPool.hpp"

#include "TessaryCore/IOPolicy.hpp"

#include <fmt/format.h>

#include <pthread.h>

#include <algorithm>
#include <cmath>

namespace tessary {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double waitSlice = 2.0;
constexpr std::size_t workerStack = 1024 * 1024;

// Clamped to what the clock can hold: NaN or less than 0 is 0, more than 30 years is 30 years.
Clock::duration toDuration(double seconds) {
    seconds = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, 1e9);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

TimeoutPool& TimeoutPool::shared() {
    // Never destroyed: workers may still be blocked in the file system when the process ends.
    static TimeoutPool* const pool = new TimeoutPool(60.0);
    return *pool;
}

TimeoutPool::TimeoutPool(double idleTimeout) : m_state(std::make_shared<State>(idleTimeout)) {}

std::int64_t TimeoutPool::threads() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->threads;
}

std::int64_t TimeoutPool::idle() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->idle;
}

std::string TimeoutPool::timeoutText(double seconds) {
    std::string text = fmt::format("{}", seconds);
    if (text.find_first_of(".eninf") == std::string::npos)
        text += ".0";
    return text + " s";
}

void TimeoutPool::submit(const std::shared_ptr<Job>& job) {
    bool startWorker = false;
    {
        const std::lock_guard lock(m_state->mutex);
        if (static_cast<std::int64_t>(m_state->queue.size()) >= m_state->idle) {
            ++m_state->threads;
            startWorker = true;
        }
        job->started = Clock::now();
        m_state->queue.push_back(job);
    }
    m_state->cond.notify_one();
    if (!startWorker)
        return;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, workerStack);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    auto* weak = new std::weak_ptr<State>(m_state);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, &TimeoutPool::threadMain, weak);
    pthread_attr_destroy(&attr);
    if (rc == 0)
        return;
    delete weak;
    // No thread for this job. If no other worker has taken it, nobody ever will: take it back
    // rather than let the caller wait for nothing (forever, without a timeout).
    const std::lock_guard lock(m_state->mutex);
    --m_state->threads;
    const auto it = std::find(m_state->queue.begin(), m_state->queue.end(), job);
    if (it != m_state->queue.end()) {
        m_state->queue.erase(it);
        throw ScanError::message("Nepodařilo se spustit vlákno pro práci s diskem.");
    }
}

void* TimeoutPool::threadMain(void* arg) {
    pthread_setname_np(pthread_self(), "icloud-fs");
    std::shared_ptr<State> state;
    {
        const std::unique_ptr<std::weak_ptr<State>> weak(static_cast<std::weak_ptr<State>*>(arg));
        state = weak->lock();
    }
    if (state)
        worker(*state);
    return nullptr;
}

void TimeoutPool::worker(State& state) {
    std::unique_lock lock(state.mutex);
    ++state.idle;
    for (;;) {
        const Clock::time_point deadline = Clock::now() + toDuration(state.idleTimeout);
        if (!state.cond.wait_until(lock, deadline, [&state] { return !state.queue.empty(); })) {
            --state.idle;
            --state.threads;
            return;
        }
        const std::shared_ptr<Job> job = std::move(state.queue.front());
        state.queue.pop_front();
        --state.idle;
        const bool abandoned = job->abandoned.load();
        lock.unlock();

        // An abandoned job is dropped unseen: nobody waits for it.
        if (!abandoned) {
            if (job->materialize)
                IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOn);
            try {
                job->fn();
            } catch (...) {
                job->error = std::current_exception();
            }
            if (job->materialize)
                IOPolicy::setMaterialize(IOPolicy::scopeThread, IOPolicy::materializeOff);
        }

        // Counted as idle again before the caller learns the result: a caller that submits its
        // next job at once finds this worker instead of starting another thread. The pool's lock
        // is let go before the caller is woken, so that its next submit does not find it held.
        lock.lock();
        ++state.idle;
        lock.unlock();
        if (!abandoned) {
            {
                const std::lock_guard doneLock(job->doneMutex);
                job->finished = Clock::now();
                job->done = true;
            }
            job->doneCond.notify_all();
        }
        lock.lock();
    }
}

void TimeoutPool::await(const std::shared_ptr<Job>& job, std::optional<double> timeout,
                        const std::function<void(double)>& waiting,
                        const std::function<bool()>& cancel) {
    const Clock::time_point start = job->started;
    // Absolute deadlines, so the last slice ends exactly at the timeout and no sliver of time
    // is left for an extra slice.
    const std::optional<Clock::time_point> end =
        timeout ? std::optional(start + toDuration(*timeout)) : std::nullopt;
    for (;;) {
        const Clock::time_point now = Clock::now();
        bool done = false;
        if (end && now >= *end) {
            // A body begun ahead may have finished in time before anyone looked: that is no
            // timeout. One that finished late is, as if the caller had been waiting all along.
            {
                const std::lock_guard doneLock(job->doneMutex);
                done = job->done && job->finished <= *end;
            }
            if (!done) {
                job->abandoned = true;
                throw ScanError::timeout(timeoutText(*timeout));
            }
        } else {
            Clock::time_point sliceEnd = now + toDuration(waitSlice);
            if (end)
                sliceEnd = std::min(sliceEnd, *end);
            std::unique_lock doneLock(job->doneMutex);
            done = job->doneCond.wait_until(doneLock, sliceEnd, [&job] { return job->done; });
        }
        if (done) {
            if (job->error)
                std::rethrow_exception(job->error);
            return;
        }
        if (waiting)
            waiting(secondsSince(start));
        if (cancel && cancel())
            throw ScanError::cancelled();
    }
}

} // namespace tessary
