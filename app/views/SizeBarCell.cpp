#include "SizeBarCell.hpp"

#include "NodeTableModel.hpp"
#include "RowHover.hpp"
#include "Tints.hpp"

#include "TessaryApp/Fmt.hpp"

#include <QPainter>

#include <algorithm>

namespace tessary {

namespace {

qreal share(std::int64_t part, std::int64_t max) {
    if (max < 1 || part <= 0)
        return 0;
    return std::min(static_cast<qreal>(part) / static_cast<qreal>(max), 1.0);
}

} // namespace

SizeBarCell::Geometry SizeBarCell::geometry(const QRectF& cell, std::int64_t value,
                                            std::int64_t cloud, std::int64_t max) {
    Geometry g;
    g.total = QRectF(cell.left(), cell.top(), cell.width() * share(value, max), cell.height());
    g.cloud = QRectF(cell.left(), cell.top(), cell.width() * share(cloud, max), cell.height());
    g.text = cell.adjusted(textPadding, 0, -textPadding, 0);
    return g;
}

void SizeBarCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    RowHover::paintBackground(*painter, option, index);
    const auto number = [&index](NodeTableModel::Role role) {
        return index.data(static_cast<int>(role)).toLongLong();
    };
    const std::int64_t value = number(NodeTableModel::Role::qta);
    const QRectF cell = QRectF(option.rect).adjusted(2, 3, -2, -3);
    const Geometry g = geometry(cell, value, number(NodeTableModel::Role::cloud),
                                number(NodeTableModel::Role::maxQta));
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    if (g.total.width() > 0) {
        painter->setBrush(Tints::withAlpha(Tints::secondary(), 0.18));
        painter->drawRoundedRect(g.total, radius, radius);
    }
    if (g.cloud.width() > 0) {
        painter->setBrush(Tints::withAlpha(Tints::blue(), 0.28));
        painter->drawRoundedRect(g.cloud, radius, radius);
    }
    QFont digits = option.font;
    digits.setFamily(QStringLiteral("monospace"));
    digits.setStyleHint(QFont::Monospace);
    painter->setFont(digits);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(g.text, Qt::AlignRight | Qt::AlignVCenter, Fmt::size(value));
    painter->restore();
}

} // namespace tessary
