#include "TessaryApp/UsageBarLayout.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryCore/Saturating.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tessary {

namespace {

using Segment = UsageBarLayout::Segment;

// Below this width the bar has no room for anything.
constexpr double minBarWidth = 10;
// Narrowest segment drawn on its own on a row and in a preview strip.
constexpr double minRowSegment = 3;
constexpr double minStripSegment = 2;
// A row's rest segment needs at least this much width; a strip's rest takes whatever remains
// beyond rounding noise.
constexpr double minRowRest = 1;
constexpr double minStripRest = 1e-6;

// How one row of segments is placed: its extent, the size rules and what every segment of it
// shares.
struct RowPlan {
    double x = 0;
    double width = 0;
    double y = 0;
    double height = 0;
    double minSegment = minRowSegment;
    double minRest = minRowRest;
    std::string restID;
    // Colour ranks by id (main bar only); other rows rank their items by position.
    const ColorRanks* ranks = nullptr;
    Segment shared;
};

int rankOf(const RowPlan& plan, const NodeDTO& item, int position) {
    if (plan.ranks) {
        const auto found = plan.ranks->find(item.id);
        if (found != plan.ranks->end())
            return found->second;
    }
    return position;
}

// Walks `items` in order, each as wide as its share of `total`, until one is narrower than
// the minimum; everything not drawn (of `allCount` items and `total` bytes) becomes one rest
// segment over the remaining width. `total` must be positive.
void placeRow(const std::vector<NodeDTO>& items, std::int64_t total, std::int64_t allCount,
              const RowPlan& plan, std::vector<Segment>& out) {
    const double end = plan.x + plan.width;
    double x = plan.x;
    std::int64_t placed = 0;
    std::int64_t placedQta = 0;
    int position = 0;
    for (const NodeDTO& item : items) {
        if (item.qta <= 0)
            continue;
        const double w = std::min(
            static_cast<double>(item.qta) / static_cast<double>(total) * plan.width, end - x);
        if (w < plan.minSegment)
            break;
        Segment& seg = out.emplace_back(plan.shared);
        seg.id = item.id;
        seg.node = item;
        seg.qta = item.qta;
        seg.cloud = item.cloud;
        seg.rank = rankOf(plan, item, position++);
        seg.rect = QRectF(x, plan.y, w, plan.height);
        x += w;
        ++placed;
        placedQta = Saturating::add(placedQta, item.qta);
    }
    if (end - x < plan.minRest)
        return;
    Segment& rest = out.emplace_back(plan.shared);
    rest.id = plan.restID;
    rest.qta = std::max<std::int64_t>(0, total - placedQta);
    rest.cloud = 0;
    rest.count = std::max<std::int64_t>(0, allCount - placed);
    rest.rank = -1;
    rest.rect = QRectF(x, plan.y, end - x, plan.height);
}

std::int64_t positiveCount(const std::vector<NodeDTO>& rows) {
    return std::count_if(rows.begin(), rows.end(), [](const NodeDTO& r) { return r.qta > 0; });
}

bool isFolderSegment(const Segment& seg) {
    return seg.node && seg.node->isDir();
}

// The preview strips under the segments [begin, end) of `out`: each folder's breakdown laid
// out inside the folder segment's own extent.
void placeStrips(std::size_t begin, std::size_t end, double y, double height,
                 const UsageBarLayout::BreakdownSource& breakdown, std::vector<Segment>& out) {
    for (std::size_t i = begin; i < end; ++i) {
        if (!isFolderSegment(out[i]))
            continue;
        const Breakdown* parts = breakdown(out[i].id);
        // A folder whose children hold no bytes has nothing to divide its extent by.
        if (!parts || parts->total <= 0)
            continue;
        const Segment& holder = out[i];
        Segment shared;
        shared.level = holder.level;
        shared.sub = true;
        shared.preview = true;
        shared.parentName = holder.node->name;
        shared.parentQta = holder.qta;
        shared.holder = holder.id;
        shared.holderRank = holder.rank;
        // `holder` is not used past this point: placing the strip grows `out`.
        const RowPlan plan{.x = holder.rect.x(),
                           .width = holder.rect.width(),
                           .y = y,
                           .height = height,
                           .minSegment = minStripSegment,
                           .minRest = minStripRest,
                           .restID = std::string(UsageBarLayout::restPrefix) + "in:" + holder.id,
                           .shared = std::move(shared)};
        placeRow(parts->items, parts->total, parts->count, plan, out);
    }
}

const Segment* findOnRow(const std::vector<Segment>& segments, std::size_t begin, std::size_t end,
                         const std::string& id) {
    for (std::size_t i = begin; i < end; ++i)
        if (segments[i].id == id && !segments[i].isRest())
            return &segments[i];
    return nullptr;
}

} // namespace

UsageBarLayout UsageBarLayout::layout(const Input& input) {
    UsageBarLayout result;
    if (!(input.width > minBarWidth) || !std::isfinite(input.width) || input.total <= 0)
        return result;
    std::vector<Segment>& segs = result.segments;

    Segment mainShared;
    mainShared.parentName = input.listingName;
    mainShared.parentQta = input.total;
    const RowPlan main{.width = input.width,
                       .height = barHeight,
                       .restID = std::string(restPrefix) + "row0",
                       .ranks = &input.ranks,
                       .shared = std::move(mainShared)};
    placeRow(input.rows, input.total, positiveCount(input.rows), main, segs);
    std::size_t rowBegin = 0;
    std::size_t rowEnd = segs.size();
    if (input.breakdown)
        placeStrips(rowBegin, rowEnd, mainStripTop, mainStripHeight, input.breakdown, segs);
    double bottom = mainStripTop + mainStripHeight;

    for (std::size_t i = 0; i < input.barPath.size() && input.breakdown; ++i) {
        const int level = static_cast<int>(i) + 1;
        const Segment* focused = findOnRow(segs, rowBegin, rowEnd, input.barPath[i].id);
        if (!focused || !isFolderSegment(*focused))
            break;
        const Breakdown* parts = input.breakdown(focused->id);
        if (!parts)
            break;
        const double top = bottom + funnelHeight;
        const NodeDTO folder = *focused->node;
        result.funnels.push_back(Funnel{
            .topFrom = focused->rect.left(),
            .topTo = focused->rect.right(),
            .y0 = bottom,
            .y1 = top,
            .rank = focused->rank,
            .width = input.width,
            .label =
                QString::fromStdString(folder.name) + QStringLiteral(" · ") + Fmt::size(folder.qta),
        });
        // `focused` points into `segs`, which grows from here on.
        rowBegin = segs.size();
        if (parts->total > 0) {
            Segment shared;
            shared.level = level;
            shared.sub = true;
            shared.parentName = folder.name;
            shared.parentQta = folder.qta;
            const RowPlan row{.width = input.width,
                              .y = top,
                              .height = rowHeight,
                              .restID = std::string(restPrefix) + "row" + std::to_string(level),
                              .shared = std::move(shared)};
            placeRow(parts->items, parts->total, parts->count, row, segs);
        }
        rowEnd = segs.size();
        const double stripTop = top + rowHeight + stripGap;
        placeStrips(rowBegin, rowEnd, stripTop, stripHeight, input.breakdown, segs);
        bottom = stripTop + stripHeight;
    }
    result.height = bottom;
    return result;
}

std::int64_t UsageBarLayout::barTotal(const std::vector<NodeDTO>& rows) {
    std::int64_t total = 0;
    for (const NodeDTO& row : rows)
        if (row.qta > 0)
            total = Saturating::add(total, row.qta);
    return total;
}

const UsageBarLayout::Segment* UsageBarLayout::segmentAt(QPointF point) const {
    for (const Segment& seg : segments)
        if (seg.rect.contains(point))
            return &seg;
    return nullptr;
}

std::optional<UsageBarLayout::Focus> UsageBarLayout::clickFocus(const Segment& segment) {
    if (segment.isRest())
        return std::nullopt;
    if (segment.holder)
        return Focus{.id = *segment.holder, .level = segment.level, .rank = segment.holderRank};
    if (!segment.node->isDir())
        return std::nullopt;
    return Focus{.id = segment.id, .level = segment.level, .rank = segment.rank};
}

} // namespace tessary
