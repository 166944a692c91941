#pragma once

#include <QString>

#include <optional>

namespace tessary {

// What the delete toggle, the context menu and the item actions show for one row: whether the
// item may go to the Trash, why not, whether it is an app's internal data, and whether it is on
// the delete list. A plain value, made on the main thread when a listing is built, so painting
// never reads the scanned tree.
struct TrashVerdict {
    bool allowed = false;
    // Why the item must not be moved to the Trash; none when it may.
    std::optional<QString> reason;
    // The display name of the app whose internal data holds the item.
    std::optional<QString> app;
    bool listed = false;
    friend bool operator==(const TrashVerdict&, const TrashVerdict&) = default;
};

} // namespace tessary
