#pragma once

class QApplication;

namespace tessary {

// The application's appearance: it follows the platform's palette; a dark one can be forced
// (for screenshots and for desktops that give Qt no dark palette).
struct AppPalette {
    AppPalette() = delete;

    static void applyDark(QApplication& app);
    // Whether the palette in use is a dark one (dark window background).
    [[nodiscard]] static bool isDark();
};

} // namespace tessary
