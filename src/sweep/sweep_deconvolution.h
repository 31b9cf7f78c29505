#pragma once
// Turns the recording of a played sweep into impulse responses, by spectral
// division with the project's transform at the next power of two:
// - the linear response: divided by the spectrum of the samples really
//   played, regularised where that spectrum has no energy, so that a cable
//   gives a single sample; scaled to 16-bit counts of a full-scale system
//   (a loopback at 0 dBFS gives 32767 at the peak, at -6 dBFS 16423);
// - the harmonic response: divided by the sweep's analytic spectrum, which
//   carries on beyond the sweep's end up to half the rate, so that each
//   harmonic's response comes out whole at its own time, Ls ln(k) before the
//   linear one (the played band ends where the second harmonic's does not).

#include <cstdint>
#include <span>
#include <vector>

#include "state/sample_types.h"
#include "sweep/log_sweep.h"
#include "analysis/real_transform.h"

namespace ressona {

struct SweepResponses {
    std::vector<float> linear;    // P samples, circular: the linear response in counts
    std::vector<float> harmonic;  // P samples, circular: the same with the harmonics apart
    std::uint32_t peak = 0;       // position of the linear response's largest magnitude
};

// The transform size for a recording of recordSamples samples: a power of
// two that holds the recording and, before it, the harmonics' responses
// (wrapped round to the end); 0 when that is beyond kRealTransformLargest.
std::uint32_t sweepTransformSize(const LogSweepSettings& settings, std::uint32_t recordSamples);

class SweepDeconvolver {
  public:
    // Builds both inverse filters for recordings of up to recordSamples samples.
    SweepDeconvolver(const LogSweep& sweep, std::uint32_t recordSamples);

    // False when the recording would need a transform above the largest size.
    bool ready() const { return transform_.size() != 0; }
    std::uint32_t transformSize() const { return transform_.size(); }

    // Deconvolves the recording (samples beyond recordSamples are ignored,
    // missing ones count as silence) into out. Does nothing unless ready().
    void deconvolve(std::span<const std::int16_t> recording, SweepResponses& out);

  private:
    RealTransform transform_;
    std::vector<ComplexValue> linearInverse_;    // P/2 + 1 bins
    std::vector<ComplexValue> harmonicInverse_;  // P/2 + 1 bins
    std::vector<float> padded_;
    std::vector<ComplexValue> spectrum_;
    std::vector<ComplexValue> product_;
};

// The highest frequency in Hz up to which the linear response is the exact
// division, where its roll-off towards the sweep's end begins.
double linearBandTop(const LogSweep& sweep);

// How many samples before its peak the linear response is cut: enough for
// the ringing of its band's edge to die away (four times its time scale,
// the rate over the roll-off's width), at most a quarter of length.
std::uint32_t linearResponseLead(const LogSweep& sweep, std::uint32_t length);

// The linear response from lead samples before its peak on, length samples,
// rounded to 16-bit counts (clipped to -32768..32767).
std::vector<std::int16_t> cutLinearResponse(const SweepResponses& responses, std::uint32_t length,
                                            std::uint32_t lead);

}  // namespace ressona
