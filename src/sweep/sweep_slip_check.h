#pragma once
// Whether a sweep's recording kept time with the sweep. A sound server that
// drops a cycle of recorded samples, or inserts one, during the sweep leaves
// the recording's later part shifted against its earlier part; the
// deconvolution takes that for a response whose delay jumps at the frequency
// being swept at that moment, and the response shows a second peak and a
// rippled spectrum, with nothing to tell a real system from a broken stream.
//
// The check cuts the played sweep into equal time slices and finds each one
// in the recording by cross-correlation over a window of lags around the
// expected one. Only slices that come back as a faithful copy (correlation
// coefficient at least kSweepSliceFaithful: a cable, a loopback, a card, a
// system without colour in that band) are compared, and they must all lie at
// the same lag, within a couple of samples and the spread of a slice's lag
// that a phase shift across a narrow low band allows. A room's reverberation
// or a loudspeaker's own colour keep their slices below that coefficient, so
// they are not judged: the check never refuses a recording for what the
// system under test does to the sweep.
//
// Where several slices are faithful at one lag (a cable, a card, a loopback),
// the recording is then followed in blocks of 64 samples against the played
// sweep at that lag: a block whose error jumps by 30 dB or more from the
// block before or after it, to at least a hundredth of its sound, marks
// samples that the stream lost, added or changed while keeping time.

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/real_transform.h"
#include "state/sample_types.h"
#include "sweep/log_sweep.h"

namespace ressona {

inline constexpr std::uint32_t kSweepSlices = 16;
inline constexpr double kSweepSliceFaithful = 0.999;
// Lags searched on each side of the expected one: several graph cycles of a
// sound server, and more than a slip the check must name.
inline constexpr std::int64_t kSweepSlipSearchSamples = 4096;

struct SweepTiming {
    std::uint32_t slicesCompared = 0;  // faithful slices, whose lags were compared
    std::int64_t earliestLag = 0;      // among them, in samples of the recording
    std::int64_t latestLag = 0;
    bool slipped = false;  // two of them lie further apart than their tolerances
    // latestLag - earliestLag when slipped, else 0.
    std::int64_t slipSamples() const { return slipped ? latestLag - earliestLag : 0; }
    // Where a faithful path's recording stopped or started again to match the
    // sweep without a slip (samples lost or changed), in samples of the
    // sweep; -1 when it matched throughout, or was not followed.
    std::int64_t damagedAt = -1;
    bool broken() const { return slipped || damagedAt >= 0; }
};

// A cycle the stream lost and filled with silence, where the check above
// cannot judge (a reverberant room): a run of at least kSweepGapSamples exact
// zeros in the recording while the sweep sounds, with sound (kSweepGapSound
// counts or more) within kSweepGapContext samples on both sides. A sweep
// through any system is never silent between two stretches of its sound: a
// filter that silences a band does so from one side of it on, and a signal
// that reaches the sound's level so near a zero cannot stay exactly zero
// that long. Returns the gap's first sample, in samples of the sweep landing
// at `lag`, or -1.
inline constexpr std::int64_t kSweepGapSamples = 32;
inline constexpr std::int64_t kSweepGapContext = 64;
inline constexpr int kSweepGapSound = 16;
std::int64_t silentGapInSweep(std::span<const std::int16_t> recording, std::int64_t lag,
                              std::uint32_t sweepSamples);

class SweepSlipCheck {
  public:
    explicit SweepSlipCheck(const LogSweep& sweep);

    // Finds each slice of the played sweep in `recording` within
    // kSweepSlipSearchSamples of expectedLag (the recording's sample where the
    // sweep's first sample lands) and compares the lags of the faithful ones.
    SweepTiming check(std::span<const std::int16_t> recording, std::int64_t expectedLag);

    // How far a faithful slice's lag may stray from the others' (samples).
    double tolerance(std::uint32_t slice) const;

  private:
    // The first block boundary where the recording at lag, scaled by gain,
    // stops or starts again to match the sweep; -1 for none.
    std::int64_t firstBreak(std::span<const std::int16_t> recording, std::int64_t lag,
                            double gain) const;

    LogSweep sweep_;
    std::uint32_t sliceSamples_ = 0;
    RealTransform transform_;
    std::vector<float> padded_;
    std::vector<ComplexValue> played_;
    std::vector<ComplexValue> recorded_;
    std::vector<float> correlation_;
    std::vector<double> energyBefore_;  // running sums of the recorded window's squares
};

}  // namespace ressona
