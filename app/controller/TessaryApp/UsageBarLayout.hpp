#pragma once

#include "TessaryApp/UsageBarData.hpp"
#include "TessaryCore/NodeDTO.hpp"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Where the usage bar draws what: the rows of a listing as one horizontal bar of segments sized
// by their quota bytes, a thin preview strip under it with each folder's own children, and
// for every drilled-into folder of the bar path a further row joined to its segment by a
// funnel. A pure function of its inputs, so the widget only paints and hit-tests the result.
struct UsageBarLayout {
    // One drawn segment. Its identity is `id`.
    struct Segment {
        // The item's id, or an id starting with `restPrefix` for the segment that stands for
        // everything too small to draw on its own.
        std::string id;
        // The row; absent for a rest segment.
        std::optional<NodeDTO> node;
        std::int64_t qta = 0;
        // Cloud-only bytes; 0 for a rest segment.
        std::int64_t cloud = 0;
        // The number of items the segment stands for: 1, or what a rest segment gathers.
        std::int64_t count = 1;
        // Colour rank (Palette::base); -1 for a rest segment.
        int rank = 0;
        // 0 for the main bar and its preview strip, 1… for drill-down rows and their strips.
        int level = 0;
        // True on drill-down rows and preview strips, false on the main bar.
        bool sub = false;
        // True in a preview strip.
        bool preview = false;
        QRectF rect;
        // The name and bytes of what the segment is a part of (its share is shown of this).
        std::string parentName;
        std::int64_t parentQta = 0;
        // In a preview strip: the folder segment whose strip this is, and its colour rank. A
        // click in the strip opens that folder (the strip's own items are not on its row).
        std::optional<std::string> holder;
        int holderRank = 0;

        [[nodiscard]] bool isRest() const { return !node.has_value(); }
    };

    // The connector from a focused segment down to the row that shows its contents.
    struct Funnel {
        // The focused segment's horizontal extent at the top.
        double topFrom = 0;
        double topTo = 0;
        double y0 = 0;
        double y1 = 0;
        // Colour rank of the focused segment.
        int rank = 0;
        // Width of the bar, the funnel's extent at the bottom.
        double width = 0;
        // The focused folder's name and size.
        QString label;
    };

    // What a click on a segment opens or closes: the arguments of
    // ScanController::toggleBarFocus.
    struct Focus {
        std::string id;
        int level = 0;
        int rank = 0;
        friend bool operator==(const Focus&, const Focus&) = default;
    };

    // A folder's breakdown, or null; the record must stay valid for the layout call.
    using BreakdownSource = std::function<const Breakdown*(const std::string& id)>;

    struct Input {
        // The listing's rows in their order; rows of 0 bytes or less are left out.
        std::vector<NodeDTO> rows;
        // Sum of the rows' qta (see barTotal).
        std::int64_t total = 0;
        double width = 0;
        // Name of the listing, the parent of the main bar's segments.
        std::string listingName;
        BarPath barPath;
        // Colour rank of each row; a row without one takes its position.
        ColorRanks ranks;
        // A folder's children (ScanController::breakdown); none for files and unknown ids.
        BreakdownSource breakdown;
    };

    static constexpr std::string_view restPrefix = "__rest__";

    // Vertical arrangement, in points.
    static constexpr double barHeight = 44;
    static constexpr double mainStripTop = 47;
    static constexpr double mainStripHeight = 18;
    static constexpr double funnelHeight = 16;
    static constexpr double rowHeight = 26;
    static constexpr double stripGap = 3;
    static constexpr double stripHeight = 16;

    // Segments in drawing order: main bar, its strip, then per level the row and its strip.
    std::vector<Segment> segments;
    std::vector<Funnel> funnels;
    // Bottom of the last row or strip; 0 when nothing is laid out.
    double height = 0;

    // Nothing when the width is 10 points or less or the total is not positive. Calls
    // `input.breakdown` once per folder segment on the rows (for its strip) and once per bar
    // path entry.
    [[nodiscard]] static UsageBarLayout layout(const Input& input);
    // The sum of the rows' positive qta, never wrapping around.
    [[nodiscard]] static std::int64_t barTotal(const std::vector<NodeDTO>& rows);

    // The segment under `point`, or null.
    [[nodiscard]] const Segment* segmentAt(QPointF point) const;
    // What a single click on `segment` toggles: a folder segment of a row itself, a segment of
    // a preview strip the folder that holds the strip; none for files and rest segments.
    [[nodiscard]] static std::optional<Focus> clickFocus(const Segment& segment);
};

} // namespace tessary
