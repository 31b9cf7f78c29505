#pragma once
// Traces hold far more points than the picture has pixel columns. A path whose
// x never decreases can be cut down, column by column, to the points that
// decide its pixels: where it enters the column, its lowest and highest points
// there, and where it leaves. The outline of a polyline and the outline and
// alternate filling of a polygon are the same before and after.

#include <cstddef>
#include <span>

#include "state/sample_types.h"

namespace ressona {

class Canvas;

// Reduces points[0..size) in place to at most four points per run of equal x
// (entry, lowest, highest, exit, in their order along the path, repeated levels
// dropped), except the last run, which is kept whole; returns the new count.
// The x values must not decrease. Exact for a drawing layer that draws each
// segment from its start pixel up to but not including its end pixel.
std::size_t reduceToColumns(std::span<PlotPoint> points);

// The most points handed to the drawing layer in one polyline call.
inline constexpr std::size_t kPolylineBatch = 8192;

// Draws one connected polyline in calls of at most kPolylineBatch points, each
// call after the first starting with the last point of the call before.
void polylineInBatches(Canvas& canvas, std::span<const PlotPoint> points);

}  // namespace ressona
