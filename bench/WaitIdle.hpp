#pragma once
// Waits for the controller's background operation to end in an event loop that sleeps between
// events, as the application's own loop does: a loop of processEvents calls would spin on one
// core and take it from the scan being measured.

#include "TessaryApp/ScanController.hpp"

#include <QEventLoop>
#include <QObject>

namespace bench {

inline void waitIdle(tessary::ScanController& c) {
    QEventLoop loop;
    const QMetaObject::Connection done =
        QObject::connect(&c, &tessary::ScanController::busyChanged, &loop, [&c, &loop] {
            if (!c.busy())
                loop.quit();
        });
    if (c.busy())
        loop.exec();
    QObject::disconnect(done);
}

} // namespace bench
