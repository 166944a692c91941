#include "ScreenMatch.hpp"

#include <algorithm>
#include <cstdlib>

namespace desktoptest {

namespace {

int distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

ScreenMatch ScreenMatch::compare(const QImage& shown, const QImage& painted) {
    ScreenMatch match;
    match.m_sizes = QStringLiteral("%1×%2 shown, %3×%4 painted")
                        .arg(shown.width())
                        .arg(shown.height())
                        .arg(painted.width())
                        .arg(painted.height());
    match.m_sizeMatches = !shown.isNull() && shown.size() == painted.size();
    if (!match.m_sizeMatches)
        return match;
    const QImage a = shown.convertToFormat(QImage::Format_RGB32);
    const QImage b = painted.convertToFormat(QImage::Format_RGB32);
    match.m_diff = b;
    qint64 different = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* lineA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lineB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(match.m_diff.scanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (distance(lineA[x], lineB[x]) > channelTolerance) {
                ++different;
                out[x] = qRgb(255, 0, 255);
            }
    }
    match.m_share = double(different) / double(qint64(a.width()) * a.height());
    return match;
}

std::string ScreenMatch::describe() const {
    if (!m_sizeMatches)
        return m_sizes.toStdString();
    return QStringLiteral("%1 % of the pixels differ")
        .arg(m_share * 100.0, 0, 'f', 2)
        .toStdString();
}

} // namespace desktoptest
