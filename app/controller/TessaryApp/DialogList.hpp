#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>

namespace tessary {

// The list of items in the text of a dialog: one line "• TEXT" for each of the first `limit`
// items and then "… a dalších N", so that a dialog about thousands of items stays readable.
struct DialogList {
    DialogList() = delete;

    static constexpr std::size_t limit = 8;

    // The lines for `count` items, the text of item i made by `text(i)` (asked only for the
    // items shown).
    [[nodiscard]] static QStringList lines(std::size_t count,
                                           const std::function<QString(std::size_t)>& text);
};

} // namespace tessary
