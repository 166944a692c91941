#pragma once

#include <QColor>

namespace tessary {

// The colours of listing rows: each row's colour rank gives one colour, shared by the table's
// colour marks and the usage bar, and a text colour that stays readable on it.
struct Palette {
    Palette() = delete;

    // The colour of `rank` (0 for the biggest row): hues a golden angle apart, so neighbouring
    // ranks differ strongly, with saturation and brightness alternating as well. Ranks are
    // never negative; a negative one is treated as its absolute value.
    [[nodiscard]] static QColor base(int rank);
    // Black at 78 % opacity on light colours, white on dark ones (by the colour's sRGB luma).
    [[nodiscard]] static QColor textColor(const QColor& on);
};

} // namespace tessary
