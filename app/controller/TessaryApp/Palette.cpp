#include "TessaryApp/Palette.hpp"

#include <cmath>
#include <cstdlib>

namespace tessary {

namespace {

constexpr double goldenAngle = 137.50776405;
// Text turns black above this luma: the point where white text loses contrast.
constexpr double lightLuma = 0.62;

} // namespace

QColor Palette::base(int rank) {
    // A negative hue would make Qt's colour achromatic; ranks count from 0 anyway.
    const double r = std::abs(static_cast<double>(rank));
    const double hue = std::fmod(r * goldenAngle, 360.0) / 360.0;
    const double saturation = rank % 2 == 0 ? 0.68 : 0.54;
    static constexpr double brightness[] = {0.84, 0.70, 0.92};
    return QColor::fromHsvF(static_cast<float>(hue), static_cast<float>(saturation),
                            static_cast<float>(brightness[std::abs(rank % 3)]), 1.0f);
}

QColor Palette::textColor(const QColor& on) {
    const QColor rgb = on.toRgb();
    const double luma = 0.2126 * rgb.redF() + 0.7152 * rgb.greenF() + 0.0722 * rgb.blueF();
    if (luma > lightLuma)
        return QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.78f);
    return QColor::fromRgbF(1.0f, 1.0f, 1.0f, 1.0f);
}

} // namespace tessary
