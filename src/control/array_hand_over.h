#pragma once
// The hand-over operations that also read the sample arrays: the captured
// curve taken from the current result, and the cut times from the analysed span.

#include <cstdint>

#include "state/hand_over.h"

namespace ressona {

struct SampleArrays;

// Shows the captured curve: copies magnitudeSpectrum[1..binCount] into
// capturedSpectrum and labels it "Captured ".
void captureCurrent(MeasurementState& state, SampleArrays& arrays);
// Cut times in ms from per-mille positions of the analysed span (plotTimeSpan).
void handTimeCuts(MeasurementState& state, const SampleArrays& arrays, std::int32_t lowerCut,
                  std::int32_t upperCut);

}  // namespace ressona
