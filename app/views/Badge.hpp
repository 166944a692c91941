#pragma once

#include "TessaryCore/NodeDTO.hpp"

#include <QFont>
#include <QRect>
#include <QString>

#include <vector>

class QPainter;
class QWidget;

namespace tessary {

// A small capsule with a short text after a row's name; a click on it opens a popover with its
// title and a longer help text. Badges are painted by the table's name delegate (not one widget
// each) and hit-tested there.
struct Badge {
    enum class Style { neutral, warning, cloud, danger };

    QString text;
    Style style = Style::neutral;
    QString help;
    QString title;

    // The badges of a row, in display order; `inDeleteList` tells whether its id is on the
    // delete list.
    [[nodiscard]] static std::vector<Badge> forNode(const NodeDTO& node, bool inDeleteList);
    // The badge of a name that is still masked (also used by the breadcrumb bar).
    [[nodiscard]] static Badge masked();

    // The font badges are drawn in.
    [[nodiscard]] static QFont font(const QFont& base);
    // The capsule's natural size in `font`.
    [[nodiscard]] QSize size(const QFont& font) const;
    void paint(QPainter& painter, const QRect& rect, const QFont& font, bool hovering) const;
    // The colour of the style.
    [[nodiscard]] QColor color() const;

    friend bool operator==(const Badge&, const Badge&) = default;
};

} // namespace tessary
