#include "Tints.hpp"

#include "AppPalette.hpp"

#include <QApplication>
#include <QPalette>

namespace tessary {

namespace {

QColor pick(QRgb light, QRgb dark) {
    return QColor::fromRgb(AppPalette::isDark() ? dark : light);
}

} // namespace

QColor Tints::blue() {
    return pick(0x007aff, 0x0a84ff);
}

QColor Tints::orange() {
    return pick(0xff9500, 0xff9f0a);
}

QColor Tints::red() {
    return pick(0xff3b30, 0xff453a);
}

QColor Tints::cyan() {
    return pick(0x32ade6, 0x64d2ff);
}

QColor Tints::purple() {
    return pick(0xaf52de, 0xbf5af2);
}

QColor Tints::pink() {
    return pick(0xff2d55, 0xff375f);
}

QColor Tints::green() {
    return pick(0x34c759, 0x30d158);
}

QColor Tints::brown() {
    return pick(0xa2845e, 0xac8e68);
}

QColor Tints::grey() {
    return pick(0x8e8e93, 0x8e8e93);
}

QColor Tints::secondary() {
    return withAlpha(primary(), 0.55);
}

QColor Tints::primary() {
    return QApplication::palette().color(QPalette::WindowText);
}

QColor Tints::withAlpha(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

} // namespace tessary
