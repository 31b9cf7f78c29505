#pragma once
// The measured transfer function of the system under test: what it gave
// back over what was played, the one result every excitation comes to and
// everything built on a measurement takes as its input.
//
// Its convention, the same whatever the excitation, its level, the rate or
// the length:
// - level: the ratio of input to output, both in units of their full scale,
//   so that a wire from the output to the input is 0 dB at every frequency;
// - phase: that of H(f) = sum over n of h(n) e^(-2 pi i f n / rate), so a
//   delay of d samples gives -360 f d / rate degrees, and a non-inverting
//   system has positive polarity (h peaks positive);
// - time zero: where the excitation arrives in the recording as the pass's
//   latency gives it. impulse[0] is time zero; the response is circular, so
//   whatever came before time zero (a band-limited system's ringing, a record
//   delay that cut the window late) lies at the end.
// A wire is a unit impulse at time zero: impulse = {1, 0, 0, ...}.

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace ressona {

class RealTransform;

struct TransferFunction {
    std::uint32_t sampleRate = 0;          // Hz
    std::int64_t timeZeroSample = 0;       // the recording's sample where time zero lies
    std::vector<double> impulse;           // P samples (a power of two), full-scale units
    std::vector<std::complex<double>> spectrum;  // H at k x rate / P, k = 0..P/2

    bool empty() const { return impulse.empty() || spectrum.empty(); }
    std::size_t points() const { return impulse.size(); }
    // rate / P: the spacing of the spectrum's frequencies.
    double binWidthHz() const;
    double frequencyHz(std::size_t k) const;
    // 20 log10 |H(k)|, and -300 dB where H is 0.
    double levelDb(std::size_t k) const;
    // The phase of H(k) in degrees, -180 .. +180.
    double phaseDeg(std::size_t k) const;
};

// The transfer function of an impulse response given at time zero
// (impulse[0]) in full-scale units. The length must be a power of two from 4
// to 2^21; another gives an empty record.
TransferFunction transferFunctionOfImpulse(std::vector<double> impulse, std::uint32_t sampleRate,
                                           std::int64_t timeZeroSample);

// The same on a transform the caller keeps, of impulse.size() points (one of
// another size gives an empty record): a transform's set-up costs about as
// much as a run of it, so a measurement makes its own before it starts.
TransferFunction transferFunctionOfImpulse(std::vector<double> impulse, std::uint32_t sampleRate,
                                           std::int64_t timeZeroSample, RealTransform& transform);

// The transfer function from a measured response and the reference response
// the same analysis gives for a wire (both P samples, the same units, the
// same window): H = M / R, regularised where R has next to no energy, and the
// impulse response its inverse transform. A length that is not a power of two
// from 4 to 2^21 gives an empty record.
TransferFunction transferFunctionOfResponses(std::span<const double> measured,
                                             std::span<const double> reference,
                                             std::uint32_t sampleRate,
                                             std::int64_t timeZeroSample);

// Below this share of the reference's largest power a bin of a recorded
// reference counts as without energy (-60 dB): the division there would give
// the noise of both channels, not the system.
inline constexpr double kReferenceEmptyShare = 1e-6;

// The transfer function from the measurement channel's response over the
// reference channel's (both P samples, recorded in the same stream, analysed
// alike): H = M / R where R has energy; in a band where it has none (below
// kReferenceEmptyShare of its largest power) H holds its value at the nearest
// bin that has, as outside an excitation's band. Empty for a length that is
// not a power of two from 4 to 2^21, or a reference without any energy.
TransferFunction transferFunctionOverReference(std::span<const double> measured,
                                               std::span<const double> reference,
                                               std::uint32_t sampleRate,
                                               std::int64_t timeZeroSample);

// Divides H by a response known per frequency (a microphone's or a card's
// own, as its calibration file gives it), correction[k] at k x rate / P for
// k = 0..P/2, and forms the impulse response again. A correction of another
// size, or one that is 0 somewhere, leaves those bins (or all) alone.
void divideByCorrection(TransferFunction& transfer,
                        std::span<const std::complex<double>> correction);

// Outside lowHz..highHz, where the excitation carried no energy and nothing
// was measured, H holds its value at the nearer edge of the band; the
// impulse response is formed again. A band outside 0..rate/2 is clamped to it.
void holdOutsideBand(TransferFunction& transfer, double lowHz, double highHz);
// The same on a transform the caller keeps, of transfer.points() points (one
// of another size leaves the record alone).
void holdOutsideBand(TransferFunction& transfer, double lowHz, double highHz,
                     RealTransform& transform);

}  // namespace ressona
