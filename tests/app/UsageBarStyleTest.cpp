#include "TessaryApp/UsageBarStyle.hpp"

#include "TessaryApp/Palette.hpp"

#include "QtPrinters.hpp"

#include <gtest/gtest.h>

#include <QColor>

namespace tessary {
namespace {

using Segment = UsageBarLayout::Segment;
using Appearance = UsageBarStyle::Appearance;

// Qt keeps colour components as 16-bit integers.
constexpr double eps = 1e-4;

void expectRgb(const QColor& actual, double r, double g, double b, double a = 1.0) {
    const QColor c = actual.toRgb();
    EXPECT_NEAR(c.redF(), r, eps);
    EXPECT_NEAR(c.greenF(), g, eps);
    EXPECT_NEAR(c.blueF(), b, eps);
    EXPECT_NEAR(c.alphaF(), a, eps);
}

Segment folder(int rank, std::int64_t qta, std::int64_t cloud) {
    Segment seg;
    seg.id = "f";
    seg.node = NodeDTO();
    seg.node->kind = ItemKind::dir;
    seg.qta = qta;
    seg.cloud = cloud;
    seg.rank = rank;
    return seg;
}

Segment inStrip(Segment seg) {
    seg.sub = true;
    seg.preview = true;
    return seg;
}

Segment onDrillRow(Segment seg) {
    seg.sub = true;
    seg.level = 2;
    return seg;
}

Segment rest() {
    Segment seg;
    seg.id = "__rest__row0";
    return seg;
}

const QColor systemGrey = QColor::fromRgbF(0.56f, 0.56f, 0.58f);

TEST(UsageBarStyleTest, MixBlendsTowardTheAppearancesGrey) {
    const QColor red = QColor::fromRgbF(1, 0, 0);
    expectRgb(UsageBarStyle::mix(red, 0.5, Appearance::light), 0.975, 0.475, 0.4775);
    expectRgb(UsageBarStyle::mix(red, 0.5, Appearance::dark), 0.575, 0.075, 0.08);
    expectRgb(UsageBarStyle::mix(red, 0, Appearance::light), 0.95, 0.95, 0.955);
    // Full strength keeps the colour as it is, opacity included.
    const QColor faint = QColor::fromRgbF(0.2f, 0.4f, 0.6f, 0.5f);
    EXPECT_EQ(UsageBarStyle::mix(faint, 1, Appearance::dark), faint);
    EXPECT_EQ(UsageBarStyle::mix(faint, 3, Appearance::dark), faint);
    expectRgb(UsageBarStyle::mix(faint, 0.5, Appearance::light), 0.575, 0.675, 0.7775, 1);
}

TEST(UsageBarStyleTest, MainBarShowsTheRankColourPaledByTheCloudShare) {
    const QColor base = Palette::base(4).toRgb();
    EXPECT_EQ(UsageBarStyle::fill(folder(4, 1000, 0), Appearance::light, systemGrey),
              Palette::base(4));
    const auto half = [](double c) { return (c + 1) / 2; };
    expectRgb(UsageBarStyle::fill(folder(4, 1000, 1000), Appearance::light, systemGrey),
              half(base.redF()), half(base.greenF()), half(base.blueF()));
    const auto quarter = [](double c) { return c * 0.75 + 0.25; };
    expectRgb(UsageBarStyle::fill(folder(4, 1000, 500), Appearance::dark, systemGrey),
              quarter(base.redF()), quarter(base.greenF()), quarter(base.blueF()));
    // More cloud bytes than bytes, or no bytes at all, stay within the two ends.
    EXPECT_EQ(UsageBarStyle::fill(folder(4, 1000, 5000), Appearance::light, systemGrey),
              UsageBarStyle::fill(folder(4, 1000, 1000), Appearance::light, systemGrey));
    EXPECT_EQ(UsageBarStyle::fill(folder(4, 0, 50), Appearance::light, systemGrey),
              Palette::base(4));
}

TEST(UsageBarStyleTest, StripsAndDrillDownRowsFadeTowardTheBackground) {
    const QColor base = Palette::base(1).toRgb();
    const auto strip = [](double c, double grey) { return c * 0.7 + grey * 0.3; };
    expectRgb(UsageBarStyle::fill(inStrip(folder(1, 10, 0)), Appearance::light, systemGrey),
              strip(base.redF(), 0.95), strip(base.greenF(), 0.95), strip(base.blueF(), 0.955));
    const auto row = [](double c, double grey) { return c * 0.92 + grey * 0.08; };
    expectRgb(UsageBarStyle::fill(onDrillRow(folder(1, 10, 0)), Appearance::dark, systemGrey),
              row(base.redF(), 0.15), row(base.greenF(), 0.15), row(base.blueF(), 0.16));
    // The cloud paleness comes first, the fade after it.
    const double paleRed = (base.redF() + 1) / 2;
    EXPECT_NEAR(UsageBarStyle::fill(inStrip(folder(1, 10, 10)), Appearance::light, systemGrey)
                    .toRgb()
                    .redF(),
                strip(paleRed, 0.95), eps);
}

TEST(UsageBarStyleTest, RestSegmentsAreGrey) {
    const auto main = [](double c, double grey) { return c * 0.42 + grey * 0.58; };
    expectRgb(UsageBarStyle::fill(rest(), Appearance::light, systemGrey), main(0.56, 0.95),
              main(0.56, 0.95), main(0.58, 0.955));
    const auto strip = [](double c, double grey) { return c * 0.25 + grey * 0.75; };
    Segment stripRest = rest();
    stripRest.sub = true;
    stripRest.preview = true;
    expectRgb(UsageBarStyle::fill(stripRest, Appearance::dark, systemGrey), strip(0.56, 0.15),
              strip(0.56, 0.15), strip(0.58, 0.16));
}

TEST(UsageBarStyleTest, FunnelIsAFaintRankColour) {
    const QColor base = Palette::base(2).toRgb();
    const auto faint = [](double c, double grey) { return c * 0.2 + grey * 0.8; };
    expectRgb(UsageBarStyle::funnelFill(2, Appearance::light), faint(base.redF(), 0.95),
              faint(base.greenF(), 0.95), faint(base.blueF(), 0.955));
}

TEST(UsageBarStyleTest, ShapesNarrowAndRoundBySegmentKind) {
    EXPECT_EQ(UsageBarStyle::cornerRadius(folder(0, 1, 0)), 4);
    EXPECT_EQ(UsageBarStyle::cornerRadius(onDrillRow(folder(0, 1, 0))), 3);
    EXPECT_EQ(UsageBarStyle::cornerRadius(inStrip(folder(0, 1, 0))), 2);

    Segment seg = folder(0, 1, 0);
    seg.rect = QRectF(10, 0, 2, 44);
    EXPECT_EQ(UsageBarStyle::fillRect(seg), QRectF(10.5, 0, 1, 44));
    seg.rect = QRectF(10, 0, 1.5, 44); // half a point left after narrowing
    EXPECT_FALSE(UsageBarStyle::fillRect(seg));
}

} // namespace
} // namespace tessary
