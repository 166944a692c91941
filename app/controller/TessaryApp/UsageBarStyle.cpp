#include "TessaryApp/UsageBarStyle.hpp"

#include "TessaryApp/Palette.hpp"

#include <algorithm>

namespace tessary {

namespace {

// How much of a segment's own colour survives the blend toward the background.
constexpr double stripColour = 0.7;
constexpr double rowColour = 0.92;
constexpr double stripRestColour = 0.25;
constexpr double restColour = 0.42;
constexpr double funnelColour = 0.2;
// A segment wholly in the cloud is half-way to white.
constexpr double cloudPaleness = 0.5;
constexpr double gap = 0.5;

double blend(double a, double b, double fraction) {
    return a * fraction + b * (1.0 - fraction);
}

double cloudShare(const UsageBarLayout::Segment& segment) {
    if (segment.qta <= 0)
        return 0.0;
    const double share = static_cast<double>(segment.cloud) / static_cast<double>(segment.qta);
    return std::clamp(share, 0.0, 1.0);
}

} // namespace

QColor UsageBarStyle::background(Appearance appearance) {
    return appearance == Appearance::light ? QColor::fromRgbF(0.95f, 0.95f, 0.955f)
                                           : QColor::fromRgbF(0.15f, 0.15f, 0.16f);
}

QColor UsageBarStyle::mix(const QColor& colour, double fraction, Appearance appearance) {
    if (fraction >= 1.0)
        return colour;
    const QColor c = colour.toRgb();
    const QColor grey = background(appearance);
    return QColor::fromRgbF(static_cast<float>(blend(c.redF(), grey.redF(), fraction)),
                            static_cast<float>(blend(c.greenF(), grey.greenF(), fraction)),
                            static_cast<float>(blend(c.blueF(), grey.blueF(), fraction)), 1.0f);
}

QColor UsageBarStyle::lighten(const QColor& colour, double fraction) {
    if (fraction <= 0.0)
        return colour;
    const QColor c = colour.toRgb();
    const double keep = 1.0 - std::min(fraction, 1.0);
    return QColor::fromRgbF(static_cast<float>(blend(c.redF(), 1.0, keep)),
                            static_cast<float>(blend(c.greenF(), 1.0, keep)),
                            static_cast<float>(blend(c.blueF(), 1.0, keep)), c.alphaF());
}

QColor UsageBarStyle::fill(const UsageBarLayout::Segment& segment, Appearance appearance,
                           const QColor& systemGrey) {
    if (segment.isRest())
        return mix(systemGrey, segment.preview ? stripRestColour : restColour, appearance);
    const QColor own = lighten(Palette::base(segment.rank), cloudPaleness * cloudShare(segment));
    if (segment.preview)
        return mix(own, stripColour, appearance);
    return segment.sub ? mix(own, rowColour, appearance) : own;
}

QColor UsageBarStyle::funnelFill(int rank, Appearance appearance) {
    return mix(Palette::base(rank), funnelColour, appearance);
}

double UsageBarStyle::cornerRadius(const UsageBarLayout::Segment& segment) {
    if (segment.preview)
        return 2;
    return segment.sub ? 3 : 4;
}

std::optional<QRectF> UsageBarStyle::fillRect(const UsageBarLayout::Segment& segment) {
    const QRectF narrowed = segment.rect.adjusted(gap, 0, -gap, 0);
    if (narrowed.width() <= gap)
        return std::nullopt;
    return narrowed;
}

} // namespace tessary
