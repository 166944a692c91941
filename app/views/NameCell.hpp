#pragma once

#include "Badge.hpp"

#include "TessaryCore/NodeDTO.hpp"
#include "TessaryCore/SummaryDTO.hpp"

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

#include <vector>

class QAbstractItemView;

namespace tessary {

class ScanController;

// The name column of the listings: colour mark, delete toggle, icon, name (with the display path
// below it when `showPath` is set) and badges, painted for thousands of rows without a widget
// each. A click on the toggle runs its action; a click on a badge announces it (the table opens
// its popover).
class NameCell : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Where the parts of a cell go. `mark` is empty for a row without a colour rank.
    struct Layout {
        QRect mark;
        QRect toggle;
        QRect icon;
        QRect name;
        QRect path;
        std::vector<QRect> badges;
    };
    // The icon of a row: a symbol name and the colour it is drawn in.
    struct Icon {
        const char* symbol;
        QColor color;
    };
    // The part of a cell under a point.
    struct Part {
        int badge = -1;
        bool toggle = false;
        friend bool operator==(const Part&, const Part&) = default;
    };

    static constexpr int toggleSize = 18;
    static constexpr int iconSize = 16;

    // Lays the parts out in `cell`: the name takes `nameWidth` at most and gives way to the
    // badges. A pure function of its arguments.
    [[nodiscard]] static Layout layout(const QRect& cell, bool hasMark, int nameWidth,
                                       const std::vector<QSize>& badgeSizes, bool showPath,
                                       int lineHeight);
    [[nodiscard]] static Icon icon(const NodeDTO& node);
    // The name a row shows: a container root ("root[…" id) shows its container's display name.
    [[nodiscard]] static QString displayName(const NodeDTO& node,
                                             const std::optional<SummaryDTO>& summary);

    NameCell(ScanController& c, QAbstractItemView* view, bool showPath);

    [[nodiscard]] bool showPath() const { return m_showPath; }
    // The layout of the cell at `index` drawn in `rect`.
    [[nodiscard]] Layout layoutFor(const QModelIndex& index, const QRect& rect) const;
    [[nodiscard]] Part partAt(const QModelIndex& index, const QRect& rect,
                              const QPoint& point) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

signals:
    // A badge was clicked; `anchor` is its rectangle in global coordinates.
    void badgeClicked(const tessary::Badge& badge, const QRect& anchor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] std::vector<Badge> badgesOf(const QModelIndex& index) const;
    [[nodiscard]] QFont nameFont() const;

    ScanController& m_c;
    QAbstractItemView* m_view;
    bool m_showPath;
    QPersistentModelIndex m_hoverIndex;
    Part m_hoverPart;
};

} // namespace tessary
