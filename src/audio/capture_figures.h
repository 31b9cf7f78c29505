#pragma once
// How far each capture of a run can be trusted: the recording's peak below
// full scale, the samples stuck at the 16-bit ends (clipped), and the peak of
// the analysed impulse response in counts (a response that peaks at a few
// counts is coarse: its rounding alone shapes the spectrum). The measurer
// reports them per pass and warns when a capture clipped or came out coarse.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ressona {

// Below this peak an impulse response is coarse: its 16-bit rounding alone
// leaves ripple of tenths of a dB where a response falls by 20 dB.
inline constexpr std::int32_t kCoarseImpulsePeak = 256;

struct CaptureFigures {
    std::uint32_t pass = 0;                   // 1-based
    std::optional<double> recordingPeakDbfs;  // 20 log10(peak / 32768); none when silent
    std::uint32_t clippedSamples = 0;         // samples at -32768 or 32767
    std::int32_t impulsePeakCounts = 0;       // the largest |h| of the analysed response
};

// The recording's peak and clipped samples, into figures.
void measureRecording(std::span<const std::int16_t> recording, CaptureFigures& figures);

// The largest magnitude among the samples (32768 for -32768).
std::int32_t peakCounts(std::span<const std::int16_t> samples);

// One line per kind of trouble in the run's captures (none when all is well),
// saying which level to change: the input's (--mic-level, or --line-level
// when recording the line input) and the speakers' (--speaker-level).
std::vector<std::string> captureWarnings(const std::vector<CaptureFigures>& captures,
                                         bool micInput);

}  // namespace ressona
