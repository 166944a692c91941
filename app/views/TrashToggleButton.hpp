#pragma once

#include "TessaryCore/NodeDTO.hpp"

#include <QRect>
#include <QString>

#include <functional>

class QPainter;

namespace tessary {

class ScanController;

// The small round delete toggle before a row's name: it adds the row to the delete list or takes
// it off. Painted by the name delegate and hit-tested there.
struct TrashToggleButton {
    bool inList = false;
    // False when the item must not be moved to the Trash; the toggle is then disabled.
    bool allowed = true;
    // The item lies inside an application's internal data: orange instead of red.
    bool warning = false;
    QString tooltip;
    std::function<void()> action;

    // The toggle of a row; `c` must outlive the returned action.
    [[nodiscard]] static TrashToggleButton forNode(ScanController& c, const NodeDTO& node);
    [[nodiscard]] const char* symbol() const { return allowed ? "trash" : "trash.slash.fill"; }
    [[nodiscard]] bool enabled() const { return inList || allowed; }
    void paint(QPainter& painter, const QRect& rect, bool hover) const;
};

} // namespace tessary
