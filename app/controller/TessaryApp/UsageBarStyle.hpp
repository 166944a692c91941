#pragma once

#include "TessaryApp/UsageBarLayout.hpp"

#include <QColor>
#include <QRectF>

#include <optional>

namespace tessary {

// How the usage bar paints its segments and funnels: the colours and shapes as pure functions of
// a laid-out segment, so they are tested without painting.
struct UsageBarStyle {
    UsageBarStyle() = delete;

    enum class Appearance { light, dark };

    // The grey the bar's colours are blended toward.
    [[nodiscard]] static QColor background(Appearance appearance);
    // `colour` × `fraction` + background × (1 − `fraction`) per sRGB component, opaque;
    // `colour` itself when `fraction` is 1 or more.
    [[nodiscard]] static QColor mix(const QColor& colour, double fraction, Appearance appearance);
    // `colour` moved toward white by `fraction` (0…1) per sRGB component; itself at 0.
    [[nodiscard]] static QColor lighten(const QColor& colour, double fraction);
    // A segment's fill: rest segments in `systemGrey`, others in their rank's colour, paler by
    // half their cloud-only share, and faded toward the background on drill-down rows (92 %)
    // and in preview strips (70 %).
    [[nodiscard]] static QColor fill(const UsageBarLayout::Segment& segment, Appearance appearance,
                                     const QColor& systemGrey);
    [[nodiscard]] static QColor funnelFill(int rank, Appearance appearance);
    // 4 on the main bar, 3 on drill-down rows, 2 in preview strips.
    [[nodiscard]] static double cornerRadius(const UsageBarLayout::Segment& segment);
    // The segment's rectangle less half a point on the left and the right, so neighbours stay
    // apart; none when that leaves half a point or less.
    [[nodiscard]] static std::optional<QRectF> fillRect(const UsageBarLayout::Segment& segment);
};

} // namespace tessary
