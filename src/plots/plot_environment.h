#pragma once
// What a plot window works with besides its own state record: the shared
// measurement state and arrays it draws from, the message queue it lives in,
// its window surface, and (for the waterfall) the transform and smoothing it
// borrows from the analysis.

#include <functional>
#include <span>

#include "signals/one_based.h"
#include "state/sample_types.h"

namespace ressona {

struct MeasurementState;
struct SampleArrays;
class MessageQueue;
class WindowSurface;

// The analysis operations the waterfall runs once per slice.
struct SpectrumTools {
    // Transforms the N values of `data` (positions 1..N) in place with direction
    // -1: X(k) = (1/N) sum x(n) e^(+2 pi i nk/N), output in natural order.
    std::function<void(OneBasedSpan<ComplexValue> data)> transform;
    // Optional, as transform but for callers that need only the lower values:
    // writes X(0..leading.size()-1) to leading and leaves data in the
    // transform's own order. The waterfall uses it when given.
    std::function<void(OneBasedSpan<ComplexValue> data, std::span<ComplexValue> leading)>
        leadingTransform;
    // Smooths the magnitudes at positions 1..M in place in fractional-octave
    // bands, for a spectrum of `binWidth` hertz per position.
    std::function<void(OneBasedSpan<float> magnitudes, float binWidth)> smooth;
};

struct PlotEnvironment {
    MeasurementState& state;
    SampleArrays& arrays;
    MessageQueue& windows;
    WindowSurface& surface;
};

}  // namespace ressona
