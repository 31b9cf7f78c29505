#include "plots/trace_reduction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "platform/canvas/recording_canvas.h"

namespace ressona {
namespace {

std::vector<PlotPoint> reduced(std::vector<PlotPoint> points) {
    points.resize(reduceToColumns(points));
    return points;
}

// For each column: the y-span the path's vertical moves cover there, and the
// level it enters and leaves with.
struct ColumnShape {
    std::int32_t low, high, entry, exit;
    friend bool operator==(const ColumnShape&, const ColumnShape&) = default;
};
std::map<std::int32_t, ColumnShape> shapeOf(const std::vector<PlotPoint>& points) {
    std::map<std::int32_t, ColumnShape> shape;
    for (const PlotPoint& p : points) {
        auto [it, added] = shape.try_emplace(p.x, ColumnShape{p.y, p.y, p.y, p.y});
        if (!added) {
            it->second.low = std::min(it->second.low, p.y);
            it->second.high = std::max(it->second.high, p.y);
            it->second.exit = p.y;
        }
    }
    return shape;
}

TEST(TraceReduction, KeepsEntryExtremesAndExitOfEachColumnInPathOrder) {
    const std::vector<PlotPoint> path{{0, 5}, {1, 5}, {1, 9}, {1, 2}, {1, 7}, {1, 3}, {2, 4}};
    EXPECT_EQ(reduced(path).size(), 6u);
    const std::vector<PlotPoint> out = reduced(path);
    const std::vector<std::pair<int, int>> expected{{0, 5}, {1, 5}, {1, 9}, {1, 2}, {1, 3}, {2, 4}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(out[i].x, expected[i].first);
        EXPECT_EQ(out[i].y, expected[i].second);
    }
    // Repeated levels in a column collapse to one point; a lone point stays.
    EXPECT_EQ(reduced({{3, 4}, {3, 4}, {3, 4}, {4, 1}}).size(), 2u);
    EXPECT_EQ(reduced({{3, 4}}).size(), 1u);
    EXPECT_TRUE(reduced({}).empty());
    // The last column is kept whole.
    EXPECT_EQ(reduced({{0, 1}, {5, 4}, {5, 2}, {5, 3}, {5, 2}, {5, 2}}).size(), 6u);
}

TEST(TraceReduction, NoisyTraceKeepsItsColumnShapesWithAtMostFourPointsEach) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> level(0, 399);
    std::vector<PlotPoint> path;
    for (int i = 0; i < 16384; ++i) path.push_back({i * 1000 / 16384, level(random)});
    const std::vector<PlotPoint> out = reduced(path);
    EXPECT_LE(out.size(), 4u * 999u + 17u);  // the last column keeps its ~16 points
    EXPECT_EQ(shapeOf(out), shapeOf(path));
    EXPECT_TRUE(
        std::is_sorted(out.begin(), out.end(), [](PlotPoint a, PlotPoint b) { return a.x < b.x; }));
}

TEST(TraceReduction, LongPolylinesGoOutInOverlappingBatches) {
    std::vector<PlotPoint> path(20000);
    for (int i = 0; i < 20000; ++i) path[static_cast<std::size_t>(i)] = {i, i % 7};
    RecordingCanvas canvas(10, 10);
    polylineInBatches(canvas, path);
    const auto calls = canvas.callsOf(CanvasCallKind::Polyline);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].points.size(), kPolylineBatch);
    EXPECT_EQ(calls[1].points.front().x, calls[0].points.back().x);
    EXPECT_EQ(calls[2].points.front().x, calls[1].points.back().x);
    EXPECT_EQ(calls[2].points.back().x, 19999);
    std::size_t total = 0;
    for (const auto& call : calls) total += call.points.size();
    EXPECT_EQ(total, 20000u + 2u);

    RecordingCanvas small(10, 10);
    polylineInBatches(small, std::span<const PlotPoint>(path).first(kPolylineBatch));
    EXPECT_EQ(small.callsOf(CanvasCallKind::Polyline).size(), 1u);
}

}  // namespace
}  // namespace ressona
