#include "audio/capture_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ressona {

namespace {

constexpr double kFullScale = 32768.0;

}  // namespace

std::int32_t peakCounts(std::span<const std::int16_t> samples) {
    std::int32_t peak = 0;
    for (const std::int16_t sample : samples) peak = std::max(peak, std::abs(std::int32_t{sample}));
    return peak;
}

void measureRecording(std::span<const std::int16_t> recording, CaptureFigures& figures) {
    const std::int32_t peak = peakCounts(recording);
    figures.recordingPeakDbfs.reset();
    if (peak > 0) figures.recordingPeakDbfs = 20.0 * std::log10(peak / kFullScale);
    figures.clippedSamples = static_cast<std::uint32_t>(
        std::count_if(recording.begin(), recording.end(),
                      [](std::int16_t s) { return s == -32768 || s == 32767; }));
}

std::vector<std::string> captureWarnings(const std::vector<CaptureFigures>& captures,
                                         bool micInput) {
    const std::string input = micInput ? "--mic-level" : "--line-level";
    const std::string total = std::to_string(captures.size());
    std::vector<std::string> warnings;
    std::size_t clipped = 0;
    std::uint32_t mostClipped = 0;
    std::size_t coarse = 0;
    std::int32_t lowestPeak = kCoarseImpulsePeak;
    for (const CaptureFigures& capture : captures) {
        if (capture.clippedSamples > 0) ++clipped;
        mostClipped = std::max(mostClipped, capture.clippedSamples);
        if (capture.impulsePeakCounts < kCoarseImpulsePeak) {
            ++coarse;
            lowestPeak = std::min(lowestPeak, capture.impulsePeakCounts);
        }
    }
    if (clipped > 0) {
        warnings.push_back(std::to_string(clipped) + " of " + total + " captures clipped (up to " +
                           std::to_string(mostClipped) + " samples at full scale): lower " + input +
                           " or --speaker-level");
    }
    if (coarse > 0) {
        warnings.push_back("the impulse response peaks at only " + std::to_string(lowestPeak) +
                           " counts (below " + std::to_string(kCoarseImpulsePeak) +
                           ", a coarse result) in " + std::to_string(coarse) + " of " + total +
                           " captures: raise --speaker-level or " + input);
    }
    return warnings;
}

}  // namespace ressona
