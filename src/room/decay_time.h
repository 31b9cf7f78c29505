#pragma once
// Reverberation times from a band's backward-integrated decay curve, as the
// room-acoustics measurement standard defines them (ISO 3382-1): a
// least-squares line through the curve (in dB against time) between two
// levels below its start, extended to a 60 dB decay. EDT from 0 to -10 dB,
// T20 from -5 to -25 dB, T30 from -5 to -35 dB.

#include <string>
#include <vector>

#include "room/energy_decay.h"

namespace ressona {

struct DecayRange {
    double topDb = 0.0;
    double bottomDb = 0.0;
};
inline constexpr DecayRange kEdtRange{0.0, -10.0};
inline constexpr DecayRange kT20Range{-5.0, -25.0};
inline constexpr DecayRange kT30Range{-5.0, -35.0};

struct DecayTime {
    DecayRange range;
    bool evaluated = false;  // the curve reaches the range's bottom before the crosspoint
    double seconds = 0.0;    // -60 / slope, when evaluated
    double r = 0.0;          // correlation coefficient of the curve's points (negative: falling)
    // The line on the curve: level in dB = interceptDb + slopeDbPerSecond x t,
    // fitted over fromSeconds .. toSeconds (t from the response's start).
    double slopeDbPerSecond = 0.0;
    double interceptDb = 0.0;
    double fromSeconds = 0.0;
    double toSeconds = 0.0;
    double lowestDb = 0.0;             // the curve's level at the crosspoint
    bool reliable = false;             // set by judgeDecayTime (reliability.h)
    std::vector<std::string> reasons;  // why it is not reliable
};

// The time over `range` of the decay's curve. Long curves are sampled at no
// more than about 1000 evenly spaced points in the range (the curve is smooth
// at that scale).
DecayTime fitDecayTime(const EnergyDecay& decay, DecayRange range);

}  // namespace ressona
