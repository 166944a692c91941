#pragma once
// Posts a call to the main thread so that the thread sanitizer sees the hand-off. Qt's event queue
// (Qt is not built with the sanitizer) orders the sending thread's writes before the queued call
// with futexes the sanitizer does not know, and Qt builds the queued functor with its captures
// inside the same call that posts it. In a sanitizer build every post is therefore also counted
// on atomics the sanitizer does see: the sender publishes its post once it is queued, and the
// main thread, before it runs a posted call, waits until every post begun is published (a few
// instructions at most). In other builds `post` is a plain queued invokeMethod.

#include <QMetaObject>
#include <QObject>

#if defined(__SANITIZE_THREAD__)
#define TESSARY_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSARY_TSAN 1
#endif
#endif

#ifdef TESSARY_TSAN
#include <atomic>
#include <cstdint>
#include <thread>
#endif

#include <utility>

namespace tessary::ThreadHandoff {

#ifdef TESSARY_TSAN
inline std::atomic<std::uint64_t> begun{0};
inline std::atomic<std::uint64_t> published{0};
#endif

// On the main thread, first thing in a posted call.
inline void receive() {
#ifdef TESSARY_TSAN
    while (published.load(std::memory_order_acquire) != begun.load(std::memory_order_acquire))
        std::this_thread::yield();
#endif
}

// Runs `call` on the thread of `context`, queued, from any thread.
template <class Call> void post(QObject* context, Call call) {
#ifdef TESSARY_TSAN
    begun.fetch_add(1, std::memory_order_acq_rel);
#endif
    QMetaObject::invokeMethod(
        context,
        [call = std::move(call)]() mutable {
            receive();
            call();
        },
        Qt::QueuedConnection);
#ifdef TESSARY_TSAN
    published.fetch_add(1, std::memory_order_release);
#endif
}

} // namespace tessary::ThreadHandoff
