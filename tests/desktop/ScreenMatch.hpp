#pragma once
// Compares what the X server shows with what the widgets paint: the same size, and no more than
// a few pixels apart (a text caret, antialiasing that differs in the last bits).

#include <QImage>
#include <QString>

#include <string>

namespace desktoptest {

class ScreenMatch {
public:
    // Pixels whose channels differ by more than this count as different.
    static constexpr int channelTolerance = 40;
    // The share of different pixels that is still the same picture.
    static constexpr double shareTolerance = 0.002;

    [[nodiscard]] static ScreenMatch compare(const QImage& shown, const QImage& painted);

    [[nodiscard]] bool same() const { return m_sizeMatches && m_share <= shareTolerance; }
    [[nodiscard]] std::string describe() const;
    // The painted picture with the differing pixels in magenta.
    [[nodiscard]] const QImage& diff() const { return m_diff; }

private:
    bool m_sizeMatches = false;
    double m_share = 1.0;
    QString m_sizes;
    QImage m_diff;
};

} // namespace desktoptest
