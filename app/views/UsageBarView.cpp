#include "UsageBarView.hpp"

#include "AppPalette.hpp"
#include "NameCell.hpp"
#include "Tints.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/Palette.hpp"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessary {

namespace {

using Segment = UsageBarLayout::Segment;
using View = ScanController::View;

// Space between a label and its segment's edges.
constexpr double labelPadding = 5;
// A name shortened to fewer characters than this (the "…" included) is left out.
constexpr int minNameChars = 6;
// Segments narrower than this get no label at all.
constexpr double minLabelWidth = 30;
constexpr double funnelFontSize = 9.5;
constexpr double nameFontSize = 11;
constexpr double detailFontSize = 9.5;
constexpr double rowFontSize = 10;
constexpr double hoverCover = 0.2;

QString sep() {
    return QStringLiteral(" · ");
}

QString nameOf(const Segment& seg) {
    return seg.node ? QString::fromStdString(seg.node->name) : UsageBarView::tr("ostatní");
}

QString shareOf(const Segment& seg) {
    return Fmt::size(seg.qta) + sep() + Fmt::percent(seg.qta, seg.parentQta);
}

bool contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

QFont sized(QFont font, double points, bool bold = false) {
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// `text` shortened with "…" to `width`; empty when too little of it would remain.
QString fitted(const QString& text, const QFontMetricsF& metrics, double width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString elided = metrics.elidedText(text, Qt::ElideRight, width);
    return elided.size() >= minNameChars ? elided : QString();
}

// The first of `candidates` that fits `width` whole; empty when none does.
QString firstFitting(const QStringList& candidates, const QFontMetricsF& metrics, double width) {
    for (const QString& text : candidates)
        if (metrics.horizontalAdvance(text) <= width)
            return text;
    return {};
}

// Fonts and metrics shared by all labels of one paint.
struct LabelFonts {
    explicit LabelFonts(const QFont& base)
        : name(sized(base, nameFontSize, true)), detail(sized(base, detailFontSize)),
          row(sized(base, rowFontSize)), funnel(sized(base, funnelFontSize)), nameMetrics(name),
          detailMetrics(detail), rowMetrics(row), funnelMetrics(funnel) {}

    QFont name;
    QFont detail;
    QFont row;
    QFont funnel;
    QFontMetricsF nameMetrics;
    QFontMetricsF detailMetrics;
    QFontMetricsF rowMetrics;
    QFontMetricsF funnelMetrics;
};

// Name over size and share on the main bar: each line drawn only when it fits.
void paintMainLabel(QPainter& painter, const Segment& seg, const QRectF& rect,
                    const LabelFonts& fonts) {
    const double width = rect.width() - 2 * labelPadding;
    const QString name = fitted(nameOf(seg), fonts.nameMetrics, width);
    const QString size = Fmt::size(seg.qta);
    const QString detail =
        firstFitting({seg.isRest() ? Fmt::plural(seg.count, "items") + sep() + size
                                   : size + sep() + Fmt::percent(seg.qta, seg.parentQta),
                      size},
                     fonts.detailMetrics, width);
    const QRectF inner = rect.adjusted(labelPadding, 0, -labelPadding, 0);
    const double mid = rect.center().y();
    if (!name.isEmpty()) {
        painter.setFont(fonts.name);
        painter.drawText(QRectF(inner.left(), rect.top() + 3, inner.width(), mid - rect.top() - 2),
                         Qt::AlignLeft | Qt::AlignBottom, name);
    }
    if (!detail.isEmpty()) {
        painter.setFont(fonts.detail);
        painter.drawText(QRectF(inner.left(), mid + 1, inner.width(), rect.bottom() - mid - 3),
                         Qt::AlignLeft | Qt::AlignTop, detail);
    }
}

// One line on a drill-down row: name with size and share as far as they fit.
void paintRowLabel(QPainter& painter, const Segment& seg, const QRectF& rect,
                   const LabelFonts& fonts) {
    const double width = rect.width() - 2 * labelPadding;
    const QString name = nameOf(seg);
    const QString size = Fmt::size(seg.qta);
    QString text = firstFitting(
        {name + sep() + size + sep() + Fmt::percent(seg.qta, seg.parentQta), name + sep() + size},
        fonts.rowMetrics, width);
    if (text.isEmpty())
        text = fitted(name, fonts.rowMetrics, width);
    if (text.isEmpty())
        return;
    painter.setFont(fonts.row);
    painter.drawText(rect.adjusted(labelPadding, 0, -labelPadding, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, text);
}

void paintFunnel(QPainter& painter, const UsageBarLayout::Funnel& funnel,
                 const UsageBarView::PaintState& state, const LabelFonts& fonts) {
    QPainterPath shape;
    shape.moveTo(funnel.topFrom, funnel.y0);
    shape.lineTo(funnel.topTo, funnel.y0);
    shape.lineTo(funnel.width, funnel.y1);
    shape.lineTo(0, funnel.y1);
    shape.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(UsageBarStyle::funnelFill(funnel.rank, state.appearance));
    painter.drawPath(shape);
    const QRectF band(0, funnel.y0, funnel.width, funnel.y1 - funnel.y0);
    const QString label = fitted(funnel.label, fonts.funnelMetrics, band.width() - 8);
    if (label.isEmpty())
        return;
    painter.setPen(state.secondary);
    painter.setFont(fonts.funnel);
    painter.drawText(band, Qt::AlignCenter, label);
}

void paintSegment(QPainter& painter, const Segment& seg, const UsageBarView::PaintState& state,
                  const LabelFonts& fonts) {
    const std::optional<QRectF> rect = UsageBarStyle::fillRect(seg);
    if (!rect)
        return;
    const double radius = UsageBarStyle::cornerRadius(seg);
    const QColor fill = UsageBarStyle::fill(seg, state.appearance, state.grey);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(*rect, radius, radius);

    const bool hovered = state.hoverSeg == seg.id || (seg.node && state.hoveredID == seg.node->id);
    const bool selected = seg.node && state.selectedID == seg.node->id;
    const bool expanded = !seg.isRest() && contains(state.expanded, seg.id);
    if (hovered) {
        painter.setBrush(Tints::withAlpha(Qt::white, hoverCover));
        painter.drawRoundedRect(*rect, radius, radius);
    }
    if (hovered || selected || expanded) {
        QPen outline(Tints::withAlpha(state.primary, selected || expanded ? 0.95 : 0.6));
        outline.setWidthF(selected ? 2.5 : 1.5);
        painter.setPen(outline);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(rect->adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
    }
    // Strips have no room for text; neither has a segment too narrow for a few letters.
    if (seg.preview || rect->width() < minLabelWidth)
        return;
    painter.setPen(Palette::textColor(fill));
    if (seg.sub)
        paintRowLabel(painter, seg, *rect, fonts);
    else
        paintMainLabel(painter, seg, *rect, fonts);
}

const Segment* findSegment(const UsageBarLayout& layout, const std::string& id) {
    for (const Segment& seg : layout.segments)
        if (seg.id == id)
            return &seg;
    return nullptr;
}

} // namespace

QString UsageBarView::listingName(const ScanController& c) {
    switch (c.view()) {
    case View::tree: {
        const auto current = c.current();
        return current ? NameCell::displayName(*current, c.summary()) : QString();
    }
    case View::top:
        return tr("největších souborů");
    case View::bigDirs:
        return tr("největších složek");
    case View::search:
        return tr("výsledků hledání");
    case View::deleteList:
        return tr("seznamu ke smazání");
    case View::changes:
        return tr("největších změn");
    }
    return {};
}

QString UsageBarView::hoverText(const Segment& seg) {
    if (seg.isRest())
        return tr("ostatní: ") + Fmt::plural(seg.count, "items") + tr(" menších") + sep() +
               shareOf(seg);
    QString text = QStringLiteral("„") + nameOf(seg) + QStringLiteral("“ ") + shareOf(seg);
    if (seg.cloud > 0)
        text += tr(" · jen v cloudu ") + Fmt::size(seg.cloud);
    if (seg.node->isDir())
        text += tr(" · klik rozbalí, dvojklik otevře");
    return text;
}

QString UsageBarView::hintText(std::int64_t total) {
    return tr("bledší = jen v cloudu · celkem ") + Fmt::size(total) +
           tr(" · klik na složku ji rozbalí, dvojklik otevře");
}

QString UsageBarView::emptyText(bool busy) {
    return busy ? tr("Probíhá sken…") : tr("Nic k zobrazení");
}

void UsageBarView::paintBar(QPainter& painter, const UsageBarLayout& layout,
                            const PaintState& state) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const LabelFonts fonts(state.font);
    for (const UsageBarLayout::Funnel& funnel : layout.funnels)
        paintFunnel(painter, funnel, state, fonts);
    for (const Segment& seg : layout.segments)
        paintSegment(painter, seg, state, fonts);
    painter.restore();
}

UsageBarView::UsageBarView(ScanController& c, QWidget* parent)
    : QWidget(parent), m_c(c), m_collapse(new QToolButton(this)) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_collapse->setText(tr("Sbalit"));
    m_collapse->setToolTip(tr("Zavřít rozbalené úrovně"));
    m_collapse->setAutoRaise(true);
    m_collapse->hide();
    // Closing the first level closes every level below it.
    connect(m_collapse, &QToolButton::clicked, this, [this] {
        const ScanController::BarPath path = m_c.barPath();
        if (!path.empty())
            m_c.toggleBarFocus(path.front().id, 0, path.front().rank);
    });
    for (auto signal : {&ScanController::viewChanged, &ScanController::childrenChanged,
                        &ScanController::topFilesChanged, &ScanController::bigDirsChanged,
                        &ScanController::searchResultsChanged, &ScanController::deleteRowsChanged,
                        &ScanController::barPathChanged, &ScanController::colorRankChanged,
                        &ScanController::currentChanged, &ScanController::summaryChanged,
                        &ScanController::busyChanged, &ScanController::resultChanged})
        connect(&c, signal, this, &UsageBarView::invalidate);
    for (auto signal : {&ScanController::hoveredIDChanged, &ScanController::selectedIDChanged})
        connect(&c, signal, this, qOverload<>(&QWidget::update));
    relayout();
}

const UsageBarLayout& UsageBarView::barLayout() {
    if (m_dirty)
        relayout();
    return m_layout;
}

std::optional<QPoint> UsageBarView::segmentCenter(const std::string& id) {
    const Segment* seg = findSegment(barLayout(), id);
    if (!seg)
        return std::nullopt;
    return (seg->rect.center() + QPointF(barOrigin())).toPoint();
}

QString UsageBarView::headerText() {
    if (m_dirty)
        relayout();
    return tr("Rozdělení ") + m_listingName + QStringLiteral("  ") + infoText();
}

QString UsageBarView::infoText() {
    if (const Segment* hovered = hoveredSegment())
        return hoverText(*hovered);
    // Before there is anything to draw, no hint about a bar that is not there.
    return m_hasRows ? hintText(m_total) : QString();
}

void UsageBarView::invalidate() {
    m_dirty = true;
    update();
    if (m_relayoutPosted)
        return;
    // Many properties change together (a navigation sets the rows, ranks and path): one
    // layout after all of them.
    m_relayoutPosted = true;
    QTimer::singleShot(0, this, [this] {
        m_relayoutPosted = false;
        if (m_dirty)
            relayout();
    });
}

void UsageBarView::relayout() {
    m_dirty = false;
    UsageBarLayout::Input input;
    for (NodeDTO& row : m_c.mapRows())
        if (row.qta > 0)
            input.rows.push_back(std::move(row));
    input.total = UsageBarLayout::barTotal(input.rows);
    m_width = width() - 2 * sideMargin;
    input.width = m_width;
    const QString name = listingName(m_c);
    input.listingName = name.toStdString();
    input.barPath = m_c.barPath();
    input.ranks = m_c.colorRank();
    input.breakdown = [this](const std::string& id) { return m_c.breakdown(id); };
    m_layout = UsageBarLayout::layout(input);
    m_total = input.total;
    m_hasRows = !input.rows.empty();
    m_listingName = m_c.view() == View::tree && !name.isEmpty()
                        ? QStringLiteral("„") + name + QStringLiteral("“")
                        : name;
    if (m_hoverSeg && !findSegment(m_layout, *m_hoverSeg))
        m_hoverSeg.reset();
    m_collapse->setVisible(!input.barPath.empty());
    const double barHeight = m_layout.height > 0 ? m_layout.height : emptyHeight;
    setFixedHeight(headerHeight + static_cast<int>(std::ceil(barHeight)) + bottomMargin);
    update();
}

void UsageBarView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize button = m_collapse->sizeHint();
    m_collapse->setGeometry(width() - sideMargin - button.width(),
                            (headerHeight - button.height()) / 2, button.width(), button.height());
    if (width() - 2 * sideMargin != m_width)
        invalidate();
}

UsageBarView::PaintState UsageBarView::paintState() const {
    PaintState state;
    state.appearance =
        AppPalette::isDark() ? UsageBarStyle::Appearance::dark : UsageBarStyle::Appearance::light;
    state.hoverSeg = m_hoverSeg;
    state.hoveredID = m_c.hoveredID();
    state.selectedID = m_c.selectedID();
    for (const ScanController::BarFocus& focus : m_c.barPath())
        state.expanded.push_back(focus.id);
    state.primary = Tints::primary();
    state.secondary = Tints::secondary();
    state.grey = Tints::grey();
    state.font = font();
    return state;
}

void UsageBarView::paintHeader(QPainter& painter) {
    const double right = m_collapse->isVisible() ? m_collapse->x() - 8 : width() - sideMargin;
    const QRectF line(sideMargin, 0, right - sideMargin, headerHeight);
    const QString title = tr("Rozdělení ") + m_listingName;
    QFont bold = font();
    bold.setBold(true);
    const QFontMetricsF boldMetrics(bold);
    const QString shownTitle = fitted(title, boldMetrics, line.width());
    painter.setFont(bold);
    painter.setPen(Tints::primary());
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, shownTitle);
    const double used = boldMetrics.horizontalAdvance(shownTitle) + 12;
    const QString info = infoText();
    const QFontMetricsF metrics(font());
    const QRectF rest = line.adjusted(used, 0, 0, 0);
    painter.setFont(font());
    painter.setPen(Tints::secondary());
    painter.drawText(rest, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(info, Qt::ElideRight, rest.width()));
}

void UsageBarView::paintEvent(QPaintEvent*) {
    if (m_dirty)
        relayout();
    QPainter painter(this);
    paintHeader(painter);
    painter.translate(barOrigin());
    if (!m_hasRows) {
        painter.setPen(Tints::secondary());
        painter.drawText(QRectF(0, 0, width() - 2 * sideMargin, emptyHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, emptyText(m_c.busy()));
        return;
    }
    paintBar(painter, m_layout, paintState());
}

const Segment* UsageBarView::segmentAt(QPointF point) {
    return barLayout().segmentAt(point - QPointF(barOrigin()));
}

const Segment* UsageBarView::hoveredSegment() {
    if (m_hoverSeg)
        return findSegment(m_layout, *m_hoverSeg);
    // A row hovered in the table is described like a hovered segment.
    if (const auto id = m_c.hoveredID())
        for (const Segment& seg : m_layout.segments)
            if (seg.node && seg.node->id == *id)
                return &seg;
    return nullptr;
}

void UsageBarView::setHover(const Segment* segment) {
    std::optional<std::string> id;
    if (segment)
        id = segment->id;
    if (id != m_hoverSeg) {
        m_hoverSeg = std::move(id);
        update();
    }
    m_c.setHoveredID(segment && segment->node ? std::optional(segment->node->id) : std::nullopt);
}

void UsageBarView::mouseMoveEvent(QMouseEvent* event) {
    setHover(segmentAt(event->position()));
}

void UsageBarView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHover(nullptr);
}

void UsageBarView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // The second press of a double click belongs to the first: the double click that follows
    // decides.
    const bool secondPress = m_lastPress.isValid() &&
                             m_lastPress.elapsed() < QApplication::doubleClickInterval() &&
                             (event->globalPosition() - m_lastPressAt).manhattanLength() <
                                 QApplication::startDragDistance();
    m_lastPress.start();
    m_lastPressAt = event->globalPosition();
    if (secondPress)
        return;
    const Segment* seg = segmentAt(event->position());
    m_pressedFolder.reset();
    if (!seg || seg->isRest())
        return;
    const Segment clicked = *seg;
    if (clicked.node && clicked.node->isDir())
        m_pressedFolder = clicked.id;
    m_c.setSelectedID(clicked.id);
    const std::optional<UsageBarLayout::Focus> focus = UsageBarLayout::clickFocus(clicked);
    if (!focus)
        return;
    // A click in a preview strip opens the folder holding the strip; it never closes it.
    const ScanController::BarPath path = m_c.barPath();
    const auto at = static_cast<std::size_t>(focus->level);
    if (clicked.preview && at < path.size() && path[at].id == focus->id)
        return;
    m_c.toggleBarFocus(focus->id, focus->level, focus->rank);
}

void UsageBarView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A third click starts anew.
    m_lastPress.invalidate();
    if (event->button() != Qt::LeftButton || m_c.busy())
        return;
    // The double click belongs to the segment its first click landed on: that click may have
    // opened a drill-down row, which grows the bar upwards and moves the segment away from
    // under the pointer.
    std::optional<std::string> folder = std::exchange(m_pressedFolder, std::nullopt);
    if (!folder) // a double click that came without its first press
        if (const Segment* seg = segmentAt(event->position());
            seg && seg->node && seg->node->isDir())
            folder = seg->id;
    if (folder)
        m_c.navigate(*folder, true);
}

} // namespace tessary
