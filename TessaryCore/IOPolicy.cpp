#include "TessaryCore/IOPolicy.hpp"

#ifdef __APPLE__
#include <sys/resource.h>
#else
#include <atomic>
#endif

namespace tessary {

namespace {

bool validValue(std::int32_t value) {
    return value == 0 || value == IOPolicy::materializeOff || value == IOPolicy::materializeOn;
}

#ifndef __APPLE__
// 0 means "not set": the thread falls back to the process policy, the process to the default
// (which does not download here: nothing on this system materializes by accident).
std::atomic<std::int32_t> processPolicy{0};
thread_local std::int32_t threadPolicy = 0;
#endif

} // namespace

bool IOPolicy::disableMaterialization() {
    return setMaterialize(scopeProcess, materializeOff);
}

#ifdef __APPLE__

bool IOPolicy::setMaterialize(std::int32_t scope, std::int32_t value) {
    if (!validValue(value))
        return false;
    return setiopolicy_np(typeMaterializeDatalessFiles, scope, value) == 0;
}

std::int32_t IOPolicy::currentMaterialize(std::int32_t scope) {
    return getiopolicy_np(typeMaterializeDatalessFiles, scope);
}

bool IOPolicy::materializesOnThisThread() {
    const std::int32_t thread = currentMaterialize(scopeThread);
    if (thread > 0)
        return thread == materializeOn;
    return currentMaterialize(scopeProcess) != materializeOff;
}

#else

bool IOPolicy::setMaterialize(std::int32_t scope, std::int32_t value) {
    if (!validValue(value))
        return false;
    if (scope == scopeProcess) {
        processPolicy.store(value, std::memory_order_relaxed);
        return true;
    }
    if (scope == scopeThread) {
        threadPolicy = value;
        return true;
    }
    return false;
}

std::int32_t IOPolicy::currentMaterialize(std::int32_t scope) {
    if (scope == scopeProcess)
        return processPolicy.load(std::memory_order_relaxed);
    if (scope == scopeThread)
        return threadPolicy;
    return -1;
}

bool IOPolicy::materializesOnThisThread() {
    const std::int32_t effective =
        threadPolicy != 0 ? threadPolicy : processPolicy.load(std::memory_order_relaxed);
    return effective == materializeOn;
}

#endif

} // namespace tessary
