#include "TrashToggleButton.hpp"

#include "Icons.hpp"
#include "Tints.hpp"

#include "TessaryApp/ScanController.hpp"

#include <QCoreApplication>
#include <QPainter>

#include <algorithm>

namespace tessary {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("TrashToggleButton", text);
}

} // namespace

TrashToggleButton TrashToggleButton::forNode(ScanController& c, const NodeDTO& node) {
    TrashToggleButton toggle;
    const std::string id = node.id;
    const TrashVerdict verdict = c.trashVerdict(id);
    toggle.inList = verdict.listed;
    if (toggle.inList) {
        toggle.tooltip = tr("Odebrat ze seznamu ke smazání");
        toggle.action = [&c, id] { c.removeFromDeleteList(id); };
        return toggle;
    }
    toggle.allowed = verdict.allowed;
    toggle.warning = verdict.app.has_value();
    if (!toggle.allowed)
        toggle.tooltip = verdict.reason.value_or(QString());
    else if (verdict.app)
        toggle.tooltip = tr("Pozor: interní data aplikace ") + *verdict.app +
                         tr(" – smazáním můžete aplikaci poškodit. Přidat do seznamu ke smazání");
    else
        toggle.tooltip = tr("Přidat do seznamu ke smazání");
    toggle.action = [&c, id] { c.addToDeleteList(id); };
    return toggle;
}

void TrashToggleButton::paint(QPainter& painter, const QRect& rect, bool hover) const {
    const QColor tone = warning ? Tints::orange() : Tints::red();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5);
    if (inList) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(tone);
    } else {
        const bool lit = hover && allowed;
        painter.setBrush(lit ? Tints::withAlpha(tone, 0.22) : QColor(Qt::transparent));
        painter.setPen(
            QPen(lit ? Tints::withAlpha(tone, 0.5) : Tints::withAlpha(Tints::primary(), 0.15), 1));
    }
    painter.drawEllipse(circle);
    const QColor glyph =
        inList ? QColor(Qt::white)
               : (allowed ? Tints::secondary() : Tints::withAlpha(Tints::secondary(), 0.5));
    const int size = std::max(8, rect.width() - 6);
    const QPixmap pixmap =
        Icons::tinted(symbol(), glyph, size, painter.device()->devicePixelRatioF());
    const QRect at(rect.center().x() - size / 2 + 1, rect.center().y() - size / 2 + 1, size, size);
    painter.drawPixmap(at, pixmap);
    painter.restore();
}

} // namespace tessary
