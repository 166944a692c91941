#pragma once
// Tells the thread sanitizer about a hand-off it cannot see. A background operation gives its
// result to the main thread through Qt's event queue, which Qt (built without the sanitizer)
// guards with futexes the sanitizer does not know; without these marks every value a thread
// posts would be reported as a race when the main thread reads it. In other builds they are
// empty.

#if defined(__SANITIZE_THREAD__)
#define TESSARY_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSARY_TSAN 1
#endif
#endif

#ifdef TESSARY_TSAN
extern "C" {
void __tsan_acquire(void* addr);
void __tsan_release(void* addr);
}
#endif

namespace tessary::ThreadHandoff {

#ifdef TESSARY_TSAN
// The one object every hand-off synchronises on.
inline char token;
#endif

// Called by the sending thread right before it posts to the main thread.
inline void send() {
#ifdef TESSARY_TSAN
    __tsan_release(&token);
#endif
}

// Called on the main thread first thing when the posted call runs.
inline void receive() {
#ifdef TESSARY_TSAN
    __tsan_acquire(&token);
#endif
}

} // namespace tessary::ThreadHandoff
