#pragma once

#include <QColor>

namespace tessary {

// The few named colours of the window (the blue of cloud-only data, the orange of warnings, the
// red of deletion, the cyan of folders, the category colours, the secondary text colour), each in a
// light and a dark shade chosen by the palette in use.
struct Tints {
    Tints() = delete;

    [[nodiscard]] static QColor blue();
    [[nodiscard]] static QColor orange();
    [[nodiscard]] static QColor red();
    [[nodiscard]] static QColor cyan();
    // The system colours of the file categories.
    [[nodiscard]] static QColor purple();
    [[nodiscard]] static QColor pink();
    [[nodiscard]] static QColor green();
    [[nodiscard]] static QColor brown();
    [[nodiscard]] static QColor grey();
    // The palette's text colour at reduced opacity, for less important text and marks.
    [[nodiscard]] static QColor secondary();
    // The palette's text colour.
    [[nodiscard]] static QColor primary();
    // `color` at `opacity` (0…1).
    [[nodiscard]] static QColor withAlpha(QColor color, double opacity);
};

} // namespace tessary
