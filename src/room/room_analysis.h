#pragma once
// Room acoustic parameters of an impulse response (ISO 3382-1), per band:
// the band-filtered response (band_filter.h) from the response's start, its
// noise floor and backward integral (energy_decay.h), the reverberation times
// EDT, T20 and T30 (decay_time.h), clarity C50 and C80, definition D50, centre
// time Ts, and the impulse-to-noise ratio, each judged for how far it can be
// trusted (reliability.h).
//
// The response's start is where its broadband level first comes within 20 dB
// of its highest sample (ISO 3382-1); every band is measured from there.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "room/decay_time.h"
#include "room/frequency_bands.h"

namespace ressona {

inline constexpr std::uint32_t kRoomLowestRate = 8000;
inline constexpr std::uint32_t kRoomHighestRate = 192000;

struct RoomOptions {
    bool octaves = true;
    bool thirdOctaves = true;
    // Points kept of each band's decay curve for pictures (RoomBand::curveDb); 0 for none.
    std::size_t curvePoints = 0;
    // When the samples were rounded to whole multiples of this step without
    // dither, their background holds at least the rounding noise (step^2 / 12
    // per sample, its band's share in a band) even where it reads zero; 0 when
    // they were not rounded.
    double roundingStep = 0.0;
};

struct RoomBand {
    FrequencyBand band;
    bool hasEnergy = false;  // the band holds any energy after the start
    // Impulse-to-noise ratio: the higher of the decay's peak interval level and
    // its late line at the start, over the noise floor (dB).
    double inrDb = 0.0;
    bool noiseReached = false;  // the decay meets the noise floor inside the response
    double crossSeconds = 0.0;  // where it does (or the response's end)
    double endSeconds = 0.0;    // the response's end, from the response's start
    double lateSlopeDbPerSecond = 0.0;  // the late decay's line (energy_decay.h); 0 without one
    DecayTime edt;
    DecayTime t20;
    DecayTime t30;
    double c50Db = 0.0;                       // 10 log10(energy before 50 ms / after)
    double c80Db = 0.0;                       // same at 80 ms
    double d50 = 0.0;                         // energy before 50 ms / all of it
    double centreTimeSeconds = 0.0;           // Ts: energy-weighted mean time
    std::vector<std::string> clarityReasons;  // why C50 .. Ts may mislead; empty when sound
    // The decay curve, dB below its start, at i x curveStepSeconds from the
    // start up to the crosspoint.
    std::vector<float> curveDb;
    double curveStepSeconds = 0.0;
};

struct RoomAnalysis {
    std::uint32_t sampleRate = 0;
    double durationSeconds = 0.0;  // of the whole response
    double startSeconds = 0.0;     // the response's start
    std::vector<RoomBand> bands;  // broadband, then octaves, then third-octaves (frequency_bands.h)
};

// Analyses response (samples at sampleRate Hz, kRoomLowestRate..kRoomHighestRate)
// in the bands the options ask for. Empty when analysed, else why not (an
// empty or silent response, a value that is not finite, a rate out of range),
// and analysis left empty.
std::string analyseRoom(std::span<const double> response, std::uint32_t sampleRate,
                        const RoomOptions& options, RoomAnalysis& analysis);

// The band of that kind and nominal frequency (0 for broadband), or nullptr.
const RoomBand* findBand(const RoomAnalysis& analysis, BandKind kind, double nominalHz);

}  // namespace ressona
