#pragma once

#include <QString>

namespace tessary {

class ScanController;

// The self-test report: after the first successful scan, a text that walks the controller
// through its listings (summary, report, folder rows, a search for "koleda", the largest files,
// one drill-down) so the whole pipeline can be checked from a terminal.
struct SelfTest {
    SelfTest() = delete;

    // Builds the report, leaving the controller's view and query as they were. Changes the
    // current folder (the report ends inside the first opened subfolder, if any).
    [[nodiscard]] static QString report(ScanController& c);
};

} // namespace tessary
