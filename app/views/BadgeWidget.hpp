#pragma once

#include "Badge.hpp"

#include <QWidget>

namespace tessary {

class BadgePopover;

// A badge standing alone (outside a table): highlighted under the pointer, a click opens or
// closes its popover.
class BadgeWidget : public QWidget {
    Q_OBJECT

public:
    BadgeWidget(Badge badge, QWidget* parent = nullptr);

    [[nodiscard]] const Badge& badge() const { return m_badge; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] BadgePopover& popover() { return *m_popover; }
    // What a click does: opens the popover, or closes it when open.
    void toggleInfo();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Badge m_badge;
    BadgePopover* m_popover;
    bool m_hovering = false;
};

} // namespace tessary
