#include "TessaryApp/NamedThread.hpp"

#include <memory>
#include <pthread.h>

namespace tessary {

namespace {

struct Start {
    std::string name;
    std::function<void()> work;
};

void* run(void* arg) {
    std::unique_ptr<Start> start(static_cast<Start*>(arg));
#ifdef __APPLE__
    pthread_setname_np(start->name.substr(0, 63).c_str());
#else
    pthread_setname_np(pthread_self(), start->name.substr(0, 15).c_str());
#endif
    start->work();
    return nullptr;
}

} // namespace

bool NamedThread::start(const std::string& name, std::size_t stackBytes,
                        std::function<void()> work) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackBytes > 0)
        pthread_attr_setstacksize(&attr, stackBytes);
    auto* start = new Start{name, std::move(work)};
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, &run, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete start;
        return false;
    }
    return true;
}

} // namespace tessary
