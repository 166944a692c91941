#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <vector>

#include <string_view>

namespace tessary {

// The window's icons by the symbol names the design uses ("house", "icloud", "trash", …), each
// mapped to a freedesktop icon-theme name. Where the platform has no icon theme (a fresh
// machine, the offscreen platform) the Breeze theme is used, so every icon shows.
struct Icons {
    Icons() = delete;

    // Chooses "breeze" (or "breeze-dark" on a dark palette) when the platform's theme cannot
    // give the icons; call once after the palette is set.
    static void useThemeWithFallback();
    // After a palette change: swaps the fallback theme for its light or dark variant.
    static void followPalette();
    // The freedesktop name for a symbol name; empty for an unknown symbol.
    [[nodiscard]] static QString themeName(std::string_view symbol);
    [[nodiscard]] static QIcon icon(std::string_view symbol);
    // The icon's shape filled with `color`, `size` logical pixels square; cached.
    [[nodiscard]] static QPixmap tinted(std::string_view symbol, const QColor& color, int size,
                                        qreal devicePixelRatio);
    // Every symbol name the window uses.
    [[nodiscard]] static std::vector<std::string_view> symbols();
};

} // namespace tessary
