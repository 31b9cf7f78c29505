#pragma once
// Pictures of the plot windows without a display: the picture a TimePlot or
// FreqPlot window of a given client size would show for the current results,
// drawn on images and written as a PNG file.

#include <cstdint>
#include <string>

#include "plots/plot_environment.h"

namespace ressona {

struct MeasurementState;
struct SampleArrays;

enum class PlotPicture : std::uint8_t { Time, Standard, Phase, Histogram, Waterfall };

// Outcomes of savePlotPicture.
inline constexpr int kPictureSaved = 0;
inline constexpr int kPictureNotWritten = 1;  // the file could not be written
inline constexpr int kPictureBadSize = 2;     // width or height below 1 or above 10000
inline constexpr int kPictureNoGui = 3;       // no Qt GUI application (see OffscreenGui)

// Draws `picture` into a fresh window of width x height client pixels, as its
// draw message would, and writes the window's image to `path` as PNG. The time
// plot shows the waterfall-start marker when state.analysisView is the
// waterfall. The automatic dB and amplitude ranges are put back as they were
// (the waterfall still uses the arrays' transform work space and point buffer).
int savePlotPicture(MeasurementState& state, SampleArrays& arrays, const SpectrumTools& tools,
                    PlotPicture picture, std::int32_t width, std::int32_t height,
                    const std::string& path);

}  // namespace ressona
