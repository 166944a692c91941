#pragma once

#include <QRectF>
#include <QStyledItemDelegate>

#include <cstdint>

namespace tessary {

// The size column of the folder table: the size as text over two bars, a grey one for the
// row's share of the largest row and a blue one for the part of it that lies only in the cloud.
class SizeBarCell : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Where the parts of a cell go; both bars start at the cell's leading edge.
    struct Geometry {
        QRectF total;
        QRectF cloud;
        QRectF text;
    };

    static constexpr qreal radius = 3;
    static constexpr qreal textPadding = 4;

    // The bars are `value / max` and `cloud / max` of the cell's width (at most all of it);
    // both are empty when `max` is below 1. A pure function of its arguments.
    [[nodiscard]] static Geometry geometry(const QRectF& cell, std::int64_t value,
                                           std::int64_t cloud, std::int64_t max);

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

} // namespace tessary
