#pragma once

#include "Badge.hpp"

#include <QFrame>

class QLabel;

namespace tessary {

// The popover of a badge: its title above its help text, 320 points wide, closed by a click
// anywhere else.
class BadgePopover : public QFrame {
    Q_OBJECT

public:
    static constexpr int fixedWidth = 320;

    explicit BadgePopover(QWidget* parent = nullptr);

    // Shows the badge's texts under `anchor` (global coordinates).
    void open(const Badge& badge, const QRect& anchor);
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString help() const;

private:
    QLabel* m_title;
    QLabel* m_help;
};

} // namespace tessary
