#pragma once

#include <cstdint>

namespace tessary {

// The switch that decides whether touching a cloud-only file downloads it. There is one
// process-wide policy and, per thread, an optional override that wins over it.
//
// On macOS these are the setiopolicy_np/getiopolicy_np calls. Elsewhere the same policy is
// kept in memory (same constants, the calls always succeed for valid arguments), and the file
// layer consults it: listing a folder marked dataless is refused with EDEADLK unless the calling
// thread's effective policy is materializeOn.
struct IOPolicy {
    IOPolicy() = delete;

    static constexpr std::int32_t typeMaterializeDatalessFiles = 3;
    static constexpr std::int32_t scopeProcess = 0;
    static constexpr std::int32_t scopeThread = 1;
    static constexpr std::int32_t materializeOff = 1;
    static constexpr std::int32_t materializeOn = 2;

    // Switches materialization off for the whole process; true on success.
    static bool disableMaterialization();
    // Sets the policy of `scope` to `value`; true on success (false for an unknown scope or
    // value).
    static bool setMaterialize(std::int32_t scope, std::int32_t value);
    // The policy of `scope`: 0 while it was never set (the system default), -1 for an unknown
    // scope. The thread scope answers for the calling thread only.
    [[nodiscard]] static std::int32_t currentMaterialize(std::int32_t scope);
    // True when the calling thread may download cloud-only items: its own policy if set, else
    // the process policy. Here only materializeOn downloads; on macOS the unset system default
    // downloads too.
    [[nodiscard]] static bool materializesOnThisThread();
};

} // namespace tessary
