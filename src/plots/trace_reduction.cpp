#include "plots/trace_reduction.h"

#include <algorithm>
#include <array>

#include "platform/canvas/canvas.h"

namespace ressona {

std::size_t reduceToColumns(std::span<PlotPoint> points) {
    const std::size_t count = points.size();
    std::size_t out = 0;
    std::size_t start = 0;
    while (start < count) {
        const std::int32_t x = points[start].x;
        std::size_t end = start + 1;
        std::size_t lowest = start;   // smallest y, first occurrence
        std::size_t highest = start;  // largest y, first occurrence
        while (end < count && points[end].x == x) {
            if (points[end].y < points[lowest].y) lowest = end;
            if (points[end].y > points[highest].y) highest = end;
            ++end;
        }
        if (end == count) {
            // The last column stays as it is: a polyline's last point is not
            // drawn, so its level shows only where the path left it earlier.
            for (std::size_t i = start; i < end; ++i) points[out++] = points[i];
            break;
        }
        // The deciding positions in path order; the writes below may overwrite
        // the run, so the points are taken out first.
        std::array<std::size_t, 4> order{start, lowest < highest ? lowest : highest,
                                         lowest < highest ? highest : lowest, end - 1};
        std::array<std::int32_t, 4> levels{};
        for (std::size_t k = 0; k < order.size(); ++k) levels[k] = points[order[k]].y;
        bool first = true;
        std::int32_t previous = 0;
        for (std::size_t k = 0; k < order.size(); ++k) {
            if (k > 0 && order[k] == order[k - 1]) continue;
            if (!first && levels[k] == previous) continue;
            points[out++] = PlotPoint{x, levels[k]};
            previous = levels[k];
            first = false;
        }
        start = end;
    }
    return out;
}

void polylineInBatches(Canvas& canvas, std::span<const PlotPoint> points) {
    if (points.size() <= kPolylineBatch) {
        canvas.polyline(points);
        return;
    }
    std::size_t start = 0;
    while (start + 1 < points.size()) {
        const std::size_t length = std::min(kPolylineBatch, points.size() - start);
        canvas.polyline(points.subspan(start, length));
        start += length - 1;
    }
}

}  // namespace ressona
