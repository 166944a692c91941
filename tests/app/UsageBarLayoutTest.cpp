#include "TessaryApp/UsageBarLayout.hpp"

#include "TessaryApp/Fmt.hpp"

#include "QtPrinters.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace tessary {
namespace {

using Segment = UsageBarLayout::Segment;

NodeDTO node(const std::string& id, ItemKind kind, std::int64_t qta, std::int64_t cloud = 0) {
    NodeDTO n;
    n.id = id;
    n.name = "name of " + id;
    n.kind = kind;
    n.qta = qta;
    n.cloud = cloud;
    return n;
}

NodeDTO dir(const std::string& id, std::int64_t qta) {
    return node(id, ItemKind::dir, qta);
}

NodeDTO file(const std::string& id, std::int64_t qta) {
    return node(id, ItemKind::doc, qta);
}

// The controller's breakdowns, by folder id.
UsageBarLayout::BreakdownSource breakdowns(std::map<std::string, Breakdown> table) {
    return [table = std::move(table)](const std::string& id) -> const Breakdown* {
        const auto found = table.find(id);
        return found == table.end() ? nullptr : &found->second;
    };
}

UsageBarLayout::Input bar(std::vector<NodeDTO> rows, double width) {
    UsageBarLayout::Input input;
    input.total = UsageBarLayout::barTotal(rows);
    input.rows = std::move(rows);
    input.width = width;
    input.listingName = "Documents";
    input.breakdown = breakdowns({});
    return input;
}

const Segment* find(const UsageBarLayout& layout, const std::string& id, bool preview = false) {
    for (const Segment& seg : layout.segments)
        if (seg.id == id && seg.preview == preview)
            return &seg;
    return nullptr;
}

std::vector<const Segment*> onRow(const UsageBarLayout& layout, int level, bool preview) {
    std::vector<const Segment*> out;
    for (const Segment& seg : layout.segments)
        if (seg.level == level && seg.preview == preview)
            out.push_back(&seg);
    return out;
}

void expectRect(const Segment& seg, double x, double y, double w, double h) {
    SCOPED_TRACE(seg.id);
    EXPECT_NEAR(seg.rect.x(), x, 1e-9);
    EXPECT_NEAR(seg.rect.y(), y, 1e-9);
    EXPECT_NEAR(seg.rect.width(), w, 1e-9);
    EXPECT_NEAR(seg.rect.height(), h, 1e-9);
}

TEST(UsageBarLayoutTest, OneRowFillsTheBar) {
    UsageBarLayout::Input input = bar({dir("a", 100)}, 200);
    input.ranks = {{"a", 0}};
    const UsageBarLayout layout = UsageBarLayout::layout(input);
    ASSERT_EQ(layout.segments.size(), 1u);
    const Segment& a = layout.segments[0];
    EXPECT_EQ(a.id, "a");
    EXPECT_EQ(a.node->id, "a");
    EXPECT_EQ(a.qta, 100);
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(a.rank, 0);
    EXPECT_EQ(a.level, 0);
    EXPECT_FALSE(a.sub);
    EXPECT_FALSE(a.preview);
    EXPECT_EQ(a.parentName, "Documents");
    EXPECT_EQ(a.parentQta, 100);
    expectRect(a, 0, 0, 200, 44);
    EXPECT_TRUE(layout.funnels.empty());
    EXPECT_EQ(layout.height, 65);
}

TEST(UsageBarLayoutTest, RowsAllUnderThreePointsBecomeOneRest) {
    std::vector<NodeDTO> rows;
    for (int i = 0; i < 40; ++i)
        rows.push_back(file("f" + std::to_string(i), 1)); // 2.5 points each
    const UsageBarLayout layout = UsageBarLayout::layout(bar(rows, 100));
    ASSERT_EQ(layout.segments.size(), 1u);
    const Segment& rest = layout.segments[0];
    EXPECT_TRUE(rest.isRest());
    EXPECT_TRUE(rest.id.starts_with(UsageBarLayout::restPrefix));
    EXPECT_EQ(rest.qta, 40);
    EXPECT_EQ(rest.cloud, 0);
    EXPECT_EQ(rest.count, 40);
    EXPECT_EQ(rest.level, 0);
    expectRect(rest, 0, 0, 100, 44);
    EXPECT_FALSE(UsageBarLayout::clickFocus(rest));
}

TEST(UsageBarLayoutTest, NoRoomNoTotalNothingLaidOut) {
    EXPECT_TRUE(UsageBarLayout::layout(bar({dir("a", 5)}, 10)).segments.empty());
    EXPECT_EQ(UsageBarLayout::layout(bar({dir("a", 5)}, 10)).height, 0);
    EXPECT_TRUE(UsageBarLayout::layout(bar({dir("a", 5)}, 0)).segments.empty());
    EXPECT_TRUE(UsageBarLayout::layout(bar({dir("a", 5)}, -50)).segments.empty());
    EXPECT_TRUE(UsageBarLayout::layout(bar({dir("a", 5)}, std::numeric_limits<double>::quiet_NaN()))
                    .segments.empty());
    EXPECT_TRUE(UsageBarLayout::layout(bar({dir("a", 5)}, std::numeric_limits<double>::infinity()))
                    .segments.empty());
    // Rows of no bytes: the total is 0 and nothing is divided by it.
    EXPECT_TRUE(UsageBarLayout::layout(bar({dir("a", 0), file("b", 0)}, 300)).segments.empty());
    EXPECT_TRUE(UsageBarLayout::layout(bar({}, 300)).segments.empty());

    const UsageBarLayout eleven = UsageBarLayout::layout(bar({dir("a", 5)}, 11));
    ASSERT_EQ(eleven.segments.size(), 1u);
    expectRect(eleven.segments[0], 0, 0, 11, 44);
}

TEST(UsageBarLayoutTest, RestGathersWhatIsTooSmallToDraw) {
    UsageBarLayout::Input input =
        bar({dir("a", 600), file("b", 300), file("c", 40), file("zero", 0), file("d", 25),
             file("e", 20), file("f", 15)},
            100);
    ASSERT_EQ(input.total, 1000);
    input.ranks = {{"a", 5}, {"b", 7}};
    const UsageBarLayout layout = UsageBarLayout::layout(input);
    ASSERT_EQ(layout.segments.size(), 4u);
    expectRect(*find(layout, "a"), 0, 0, 60, 44);
    expectRect(*find(layout, "b"), 60, 0, 30, 44);
    expectRect(*find(layout, "c"), 90, 0, 4, 44);
    EXPECT_EQ(find(layout, "a")->rank, 5);
    EXPECT_EQ(find(layout, "b")->rank, 7);
    EXPECT_EQ(find(layout, "c")->rank, 2); // no rank given: its position
    const Segment& rest = layout.segments[3];
    EXPECT_TRUE(rest.isRest());
    expectRect(rest, 94, 0, 6, 44);
    EXPECT_EQ(rest.qta, 60);
    EXPECT_EQ(rest.count, 3); // d, e and f; the empty row is not in the bar at all

    // Less than a point left: no rest segment.
    const UsageBarLayout tight = UsageBarLayout::layout(bar({file("a", 995), file("b", 5)}, 100));
    ASSERT_EQ(tight.segments.size(), 1u);
    expectRect(tight.segments[0], 0, 0, 99.5, 44);
}

// a (folder, 80 points) and b (file, 20 points) on a 100-point bar; a's children fill its strip.
UsageBarLayout::Input folderAndFile() {
    UsageBarLayout::Input input = bar({dir("a", 800), file("b", 200)}, 100);
    input.ranks = {{"a", 0}, {"b", 1}};
    input.breakdown = breakdowns({
        {"a", Breakdown{.items = {dir("a1", 500), file("a2", 290), file("a3", 5), file("a4", 5)},
                        .total = 800,
                        .count = 6}},
        {"a1", Breakdown{.items = {file("a1x", 500)}, .total = 500, .count = 1}},
    });
    return input;
}

TEST(UsageBarLayoutTest, PreviewStripShowsEachFoldersChildren) {
    const UsageBarLayout layout = UsageBarLayout::layout(folderAndFile());
    const std::vector<const Segment*> strip = onRow(layout, 0, true);
    ASSERT_EQ(strip.size(), 3u);
    expectRect(*strip[0], 0, 47, 50, 18);
    expectRect(*strip[1], 50, 47, 29, 18);
    // a3 would be half a point wide: it and a4, and the two empty children, make the rest.
    const Segment& rest = *strip[2];
    EXPECT_TRUE(rest.isRest());
    expectRect(rest, 79, 47, 1, 18);
    EXPECT_EQ(rest.qta, 10);
    EXPECT_EQ(rest.count, 4);
    for (const Segment* seg : strip) {
        EXPECT_TRUE(seg->sub);
        EXPECT_EQ(seg->level, 0);
        EXPECT_EQ(seg->holder, "a");
        EXPECT_EQ(seg->parentName, "name of a");
        EXPECT_EQ(seg->parentQta, 800);
    }
    EXPECT_EQ(strip[0]->rank, 0);
    EXPECT_EQ(strip[1]->rank, 1);
    EXPECT_NE(strip[0]->id, find(layout, "a")->id);
    EXPECT_EQ(layout.height, 65);
}

TEST(UsageBarLayoutTest, ClickInAStripOpensTheFolderThatHoldsIt) {
    UsageBarLayout::Input input = folderAndFile();
    const UsageBarLayout closed = UsageBarLayout::layout(input);
    EXPECT_EQ(closed.segmentAt({10, 20})->id, "a");
    EXPECT_EQ(closed.segmentAt({10, 50})->id, "a1");
    EXPECT_EQ(closed.segmentAt({90, 50}), nullptr); // under the file b there is no strip
    EXPECT_EQ(closed.segmentAt({150, 20}), nullptr);

    using Focus = UsageBarLayout::Focus;
    EXPECT_EQ(UsageBarLayout::clickFocus(*find(closed, "a")), (Focus{"a", 0, 0}));
    EXPECT_FALSE(UsageBarLayout::clickFocus(*find(closed, "b")));
    const std::optional<Focus> fromStrip = UsageBarLayout::clickFocus(*closed.segmentAt({10, 50}));
    ASSERT_TRUE(fromStrip);
    EXPECT_EQ(*fromStrip, (Focus{"a", 0, 0}));
    EXPECT_EQ(UsageBarLayout::clickFocus(*find(closed, "a2", true)), (Focus{"a", 0, 0}));

    // The strip's own id would lead nowhere: the next layout cannot find it on the row.
    input.barPath = {{.id = "a1", .rank = 0}};
    EXPECT_TRUE(UsageBarLayout::layout(input).funnels.empty());
    input.barPath = {{.id = fromStrip->id, .rank = fromStrip->rank}};
    const UsageBarLayout open = UsageBarLayout::layout(input);
    ASSERT_EQ(open.funnels.size(), 1u);
    EXPECT_NE(find(open, "a1"), nullptr);
}

// Funnel labels carry sizes in the locale's notation.
struct CzechLocale {
    CzechLocale() { Fmt::setOverride(QLocale(QStringLiteral("cs_CZ")), QStringLiteral("cs")); }
    ~CzechLocale() { Fmt::setOverride(std::nullopt, std::nullopt); }
    CzechLocale(const CzechLocale&) = delete;
    CzechLocale& operator=(const CzechLocale&) = delete;
};

// f0 ⊃ f1 ⊃ f2 ⊃ f3, each drilled into, on a 200-point bar.
UsageBarLayout::Input fourLevels() {
    UsageBarLayout::Input input = bar({dir("f0", 1000)}, 200);
    input.ranks = {{"f0", 3}};
    input.barPath = {{"f0", 3}, {"f1", 0}, {"f2", 0}, {"f3", 0}};
    input.breakdown = breakdowns({
        {"f0", Breakdown{.items = {dir("f1", 600), file("x", 400)}, .total = 1000, .count = 2}},
        {"f1", Breakdown{.items = {dir("f2", 600)}, .total = 600, .count = 1}},
        {"f2", Breakdown{.items = {dir("f3", 300), file("y", 300)}, .total = 600, .count = 2}},
        // Five children, two of them among the items: the rest stands for all other four.
        {"f3", Breakdown{.items = {file("z", 100), file("w", 1)}, .total = 101, .count = 5}},
    });
    return input;
}

TEST(UsageBarLayoutTest, FourDrillDownLevelsStackUnderTheBar) {
    const CzechLocale czech;
    const UsageBarLayout layout = UsageBarLayout::layout(fourLevels());
    ASSERT_EQ(layout.funnels.size(), 4u);
    EXPECT_EQ(layout.height, 309);

    // Level 1: f0's children on a full-width row 16 under the main strip.
    expectRect(*find(layout, "f1"), 0, 81, 120, 26);
    expectRect(*find(layout, "x"), 120, 81, 80, 26);
    expectRect(*find(layout, "f2", true), 0, 110, 120, 16);
    // Level 2 and 3.
    expectRect(*find(layout, "f2"), 0, 142, 200, 26);
    expectRect(*find(layout, "f3", true), 0, 171, 100, 16);
    expectRect(*find(layout, "f3"), 0, 203, 100, 26);
    expectRect(*find(layout, "y"), 100, 203, 100, 26);
    // Level 4: z takes 100/101 of the row; w would be under 3 points.
    const Segment& z = *find(layout, "z");
    expectRect(z, 0, 264, 200.0 * 100 / 101, 26);
    EXPECT_EQ(z.level, 4);
    EXPECT_TRUE(z.sub);
    EXPECT_FALSE(z.preview);
    EXPECT_EQ(z.parentName, "name of f3");
    EXPECT_EQ(z.parentQta, 300);
    const std::vector<const Segment*> row4 = onRow(layout, 4, false);
    ASSERT_EQ(row4.size(), 2u);
    const Segment& rest = *row4[1];
    EXPECT_TRUE(rest.isRest());
    expectRect(rest, 200.0 * 100 / 101, 264, 200.0 / 101, 26);
    EXPECT_EQ(rest.qta, 1);
    EXPECT_EQ(rest.count, 4);
    EXPECT_TRUE(onRow(layout, 4, true).empty()); // files only: no strip

    const double tops[] = {65, 126, 187, 248};
    const double from[] = {0, 0, 0, 0};
    const double to[] = {200, 120, 200, 100};
    const int ranks[] = {3, 0, 0, 0};
    const char* labels[] = {"name of f0 · 1,00 kB", "name of f1 · 600 B", "name of f2 · 600 B",
                            "name of f3 · 300 B"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const UsageBarLayout::Funnel& f = layout.funnels[static_cast<std::size_t>(i)];
        EXPECT_EQ(f.y0, tops[i]);
        EXPECT_EQ(f.y1, tops[i] + 16);
        EXPECT_EQ(f.topFrom, from[i]);
        EXPECT_EQ(f.topTo, to[i]);
        EXPECT_EQ(f.rank, ranks[i]);
        EXPECT_EQ(f.width, 200);
        EXPECT_EQ(f.label, QString::fromUtf8(labels[i]));
    }
}

TEST(UsageBarLayoutTest, DrillDownStopsWhereThePathLeadsNowhere) {
    UsageBarLayout::Input input = fourLevels();
    // f1 is not on the row f0 opened: nothing below f0's row.
    input.barPath = {{"f0", 3}, {"x", 0}, {"f2", 0}};
    UsageBarLayout layout = UsageBarLayout::layout(input);
    EXPECT_EQ(layout.funnels.size(), 1u);
    EXPECT_EQ(layout.height, 126);
    EXPECT_EQ(find(layout, "f2"), nullptr);

    input.barPath = {{"missing", 0}, {"f1", 0}};
    layout = UsageBarLayout::layout(input);
    EXPECT_TRUE(layout.funnels.empty());
    EXPECT_EQ(layout.height, 65);

    // A folder the controller has no breakdown for.
    input.barPath = {{"f0", 3}, {"f1", 0}};
    input.breakdown = breakdowns({
        {"f0", Breakdown{.items = {dir("f1", 600), file("x", 400)}, .total = 1000, .count = 2}},
    });
    layout = UsageBarLayout::layout(input);
    EXPECT_EQ(layout.funnels.size(), 1u);
}

TEST(UsageBarLayoutTest, FocusedFolderWithoutContentsGetsAnEmptyLevel) {
    UsageBarLayout::Input input = bar({dir("a", 500), dir("empty", 500), dir("neg", 100)}, 200);
    input.breakdown = breakdowns({
        {"empty", Breakdown{.items = {}, .total = 0, .count = 3}},
        // Inconsistent figures must not give infinite or negative widths.
        {"neg", Breakdown{.items = {file("n1", 5)}, .total = -5, .count = 1}},
    });
    input.barPath = {{"empty", 1}};
    const CzechLocale czech;
    const UsageBarLayout layout = UsageBarLayout::layout(input);
    ASSERT_EQ(layout.funnels.size(), 1u);
    EXPECT_EQ(layout.funnels[0].label, QString::fromUtf8("name of empty · 500 B"));
    EXPECT_EQ(layout.height, 126);
    for (const Segment& seg : layout.segments) {
        EXPECT_FALSE(seg.sub) << seg.id;
        EXPECT_TRUE(std::isfinite(seg.rect.width()) && seg.rect.width() > 0) << seg.id;
    }

    input.barPath = {{"neg", 2}};
    const UsageBarLayout negative = UsageBarLayout::layout(input);
    EXPECT_EQ(negative.funnels.size(), 1u);
    EXPECT_TRUE(onRow(negative, 1, false).empty());
}

TEST(UsageBarLayoutTest, FocusOnAFileOpensNothing) {
    UsageBarLayout::Input input = folderAndFile();
    input.barPath = {{"b", 1}};
    const UsageBarLayout layout = UsageBarLayout::layout(input);
    EXPECT_TRUE(layout.funnels.empty());
    EXPECT_EQ(layout.height, 65);
}

TEST(UsageBarLayoutTest, BarTotalSkipsEmptyRowsAndNeverWraps) {
    EXPECT_EQ(UsageBarLayout::barTotal({file("a", 5), file("b", 0), file("c", -7)}), 5);
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(UsageBarLayout::barTotal({file("a", max), file("b", max)}), max);
}

} // namespace
} // namespace tessary
