// Usage bar layouts per second for a folder listing of 1,500 rows with four drill-down levels
// open, beside the main bar alone: the widget lays the bar out again on every resize and every
// click, so this bounds how smoothly it follows the window. With the widgets built, also one
// layout plus one paint of the same bar (with a hovered and a selected segment) into an image,
// on the offscreen platform unless another is chosen.
#include "TessaryApp/UsageBarLayout.hpp"

#ifdef BENCH_PAINT
#include "Tints.hpp"
#include "UsageBarView.hpp"

#include <QApplication>
#include <QImage>
#include <QPainter>
#endif

#include "BenchSupport.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

using tessary::ItemKind;
using tessary::NodeDTO;
using tessary::ScanController;
using tessary::UsageBarLayout;

namespace {

constexpr int rowCount = 1500;
constexpr int childCount = 80;

// Sizes fall off like real folder listings: a few big rows, a long tail of small ones.
std::vector<NodeDTO> children(const std::string& prefix, int count, bench::Rng& rng) {
    std::vector<NodeDTO> rows;
    for (int i = 0; i < count; ++i) {
        NodeDTO n;
        n.id = prefix + "/" + std::to_string(i);
        n.name = "item " + std::to_string(i);
        n.kind = i % 3 == 0 ? ItemKind::dir : ItemKind::doc;
        n.qta = static_cast<std::int64_t>(4e9 / std::pow(i + 1, 1.2)) +
                static_cast<std::int64_t>(rng.below(1000));
        n.cloud = n.qta / static_cast<std::int64_t>(1 + rng.below(4));
        rows.push_back(std::move(n));
    }
    return rows;
}

struct World {
    UsageBarLayout::Input input;
    std::map<std::string, ScanController::Breakdown> breakdowns;
};

// Every folder of the listing and of the open levels has 80 children in its breakdown; the
// path opens the first folder of each level.
World makeWorld() {
    World world;
    bench::Rng rng;
    world.input.rows = children("root", rowCount, rng);
    world.input.total = UsageBarLayout::barTotal(world.input.rows);
    for (int i = 0; i < rowCount; ++i)
        world.input.ranks[world.input.rows[static_cast<std::size_t>(i)].id] = i;
    std::vector<std::string> folders;
    for (const NodeDTO& row : world.input.rows)
        if (row.isDir())
            folders.push_back(row.id);
    std::string focus = "root/0";
    for (int level = 0; level < 4; ++level) {
        world.input.barPath.push_back({focus, 0});
        focus += "/0";
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string id = folders[i];
        ScanController::Breakdown parts;
        parts.items = children(id, childCount, rng);
        parts.total = UsageBarLayout::barTotal(parts.items) + 5000;
        parts.count = childCount + 20;
        const bool onPath = std::any_of(world.input.barPath.begin(), world.input.barPath.end(),
                                        [&](const auto& f) { return f.id == id; });
        for (const NodeDTO& child : parts.items)
            if (onPath && child.isDir())
                folders.push_back(child.id);
        world.breakdowns[id] = std::move(parts);
    }
    world.input.width = 1200;
    world.input.listingName = "Documents";
    return world;
}

const World& world() {
    static const World w = makeWorld();
    return w;
}

// The breakdowns as the controller hands them out: from its cache, without copying.
UsageBarLayout::BreakdownSource cachedBreakdowns() {
    const auto& table = world().breakdowns;
    return [&table](const std::string& id) -> const ScanController::Breakdown* {
        const auto found = table.find(id);
        return found == table.end() ? nullptr : &found->second;
    };
}

void run(benchmark::State& state, bool open) {
    UsageBarLayout::Input input = world().input;
    if (!open)
        input.barPath.clear();
    input.breakdown = cachedBreakdowns();
    std::size_t segments = 0;
    std::size_t funnels = 0;
    for (auto _ : state) {
        const UsageBarLayout layout = UsageBarLayout::layout(input);
        segments = layout.segments.size();
        funnels = layout.funnels.size();
        benchmark::DoNotOptimize(layout.segments.data());
    }
    state.counters["layouts/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["segments"] = static_cast<double>(segments);
    state.counters["levels"] = static_cast<double>(funnels);
}

void BM_usageBar_fourLevels(benchmark::State& state) {
    run(state, true);
}
void BM_usageBar_mainOnly(benchmark::State& state) {
    run(state, false);
}

#ifdef BENCH_PAINT
void BM_usageBar_layoutAndPaintFourLevels(benchmark::State& state) {
    UsageBarLayout::Input input = world().input;
    input.breakdown = cachedBreakdowns();
    tessary::UsageBarView::PaintState paint;
    paint.hoverSeg = "root/1";
    paint.selectedID = "root/0/0";
    for (const auto& focus : input.barPath)
        paint.expanded.push_back(focus.id);
    paint.primary = tessary::Tints::primary();
    paint.secondary = tessary::Tints::secondary();
    paint.grey = tessary::Tints::grey();
    paint.font = QApplication::font();
    QImage image(static_cast<int>(input.width), 400, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        const UsageBarLayout layout = UsageBarLayout::layout(input);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        tessary::UsageBarView::paintBar(painter, layout, paint);
    }
    state.counters["paints/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
#endif

} // namespace

BENCHMARK(BM_usageBar_fourLevels)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_usageBar_mainOnly)->Unit(benchmark::kMicrosecond);

#ifdef BENCH_PAINT
BENCHMARK(BM_usageBar_layoutAndPaintFourLevels)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
#else
BENCHMARK_MAIN();
#endif
