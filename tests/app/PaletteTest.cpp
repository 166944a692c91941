#include "TessaryApp/Palette.hpp"

#include "QtPrinters.hpp"

#include <gtest/gtest.h>

#include <QColor>

namespace tessary {
namespace {

// Qt keeps colour components as 16-bit integers.
constexpr double eps = 1e-4;

void expectHsv(int rank, double hueDegrees, double saturation, double brightness) {
    SCOPED_TRACE(rank);
    const QColor c = Palette::base(rank);
    EXPECT_NEAR(c.hsvHueF(), hueDegrees / 360.0, eps);
    EXPECT_NEAR(c.hsvSaturationF(), saturation, eps);
    EXPECT_NEAR(c.valueF(), brightness, eps);
    EXPECT_EQ(c.alphaF(), 1.0f);
}

TEST(PaletteTest, RanksStepByTheGoldenAngle) {
    expectHsv(0, 0.0, 0.68, 0.84);
    expectHsv(1, 137.50776405, 0.54, 0.70);
    expectHsv(2, 275.0155281, 0.68, 0.92);
    expectHsv(3, 52.52329215, 0.54, 0.84);
    expectHsv(5, 327.53882025, 0.54, 0.92);
    expectHsv(1000, 347.76405, 0.68, 0.70);
    // Ranks are never negative; one that is must still give a colour, not Qt's achromatic hue.
    EXPECT_EQ(Palette::base(-3), Palette::base(3));
}

TEST(PaletteTest, RankZeroIsAMutedRed) {
    const QColor c = Palette::base(0).toRgb();
    EXPECT_NEAR(c.redF(), 0.84, eps);
    EXPECT_NEAR(c.greenF(), 0.84 * (1 - 0.68), eps);
    EXPECT_NEAR(c.blueF(), 0.84 * (1 - 0.68), eps);
}

TEST(PaletteTest, TextIsBlackOnLightAndWhiteOnDarkColours) {
    const QColor black = QColor::fromRgbF(0, 0, 0, 0.78f);
    const QColor white = QColor::fromRgbF(1, 1, 1, 1);
    EXPECT_EQ(Palette::textColor(Qt::white), black);
    EXPECT_EQ(Palette::textColor(Qt::black), white);
    EXPECT_EQ(Palette::textColor(QColor::fromRgbF(0.64f, 0.64f, 0.64f)), black);
    EXPECT_EQ(Palette::textColor(QColor::fromRgbF(0.60f, 0.60f, 0.60f)), white);
    // Green weighs most, blue least.
    EXPECT_EQ(Palette::textColor(Qt::green), black);
    EXPECT_EQ(Palette::textColor(Qt::yellow), black);
    EXPECT_EQ(Palette::textColor(Qt::red), white);
    EXPECT_EQ(Palette::textColor(Qt::blue), white);
    // Colours given in other models are judged by their sRGB components.
    EXPECT_EQ(Palette::textColor(Palette::base(0)), white);
    EXPECT_EQ(Palette::textColor(QColor::fromHsvF(0.0f, 0.0f, 0.95f)), black);
}

} // namespace
} // namespace tessary
