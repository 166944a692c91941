#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace tessary {

// Progress report of a long-running stage: phase ("dump", "parse", "resolve", "fs",
// "aggregate", "done", ...), done and total in the unit the stage states (total 0 when
// unknown), and a Czech message shown as it is. Called on the worker thread running the stage;
// the receiver moves the report to its own thread.
using ProgressCallback = std::function<void(std::string_view phase, std::int64_t done,
                                            std::int64_t total, std::string_view message)>;

// Asked at a stage's polling points; true means the user asked to stop. An empty function
// means the operation cannot be stopped. Must be cheap and safe to call from any thread.
using CancelCallback = std::function<bool()>;

// A progress callback that ignores every report.
void noopProgress(std::string_view phase, std::int64_t done, std::int64_t total,
                  std::string_view message);

// True when `cancel` is set and says stop.
[[nodiscard]] inline bool cancelRequested(const CancelCallback& cancel) {
    return cancel && cancel();
}

} // namespace tessary
