#pragma once
// How far each room parameter can be trusted, with the reasons when it cannot
// (never silently): a reverberation time is unreliable when its decay range is
// not covered (the curve does not reach the range's bottom, or the
// impulse-to-noise ratio lies below that bottom's depth plus 10 dB: 20 dB for
// EDT, 35 dB for T20, 45 dB for T30, after ISO 3382-1; or the response ends
// before its decay, at its slowest slope, has fallen that far: the room rings
// longer than the response, which has then no noise floor to be judged by), when the curve is not
// straight over the range (|r| below 0.99), or when the band is too narrow for
// the decay (band width x T below 80: the band filter's own decay then spoils
// the estimate).

#include "room/room_analysis.h"

namespace ressona {

inline constexpr double kNoiseMarginDb = 10.0;
inline constexpr double kLeastCorrelation = 0.99;
inline constexpr double kLeastWidthTimesTime = 80.0;

// How far the band's decay has fallen, in dB, when the response ends, at the
// slowest of its slopes (the late decay's line, each time fitted so far).
double decayDepthAtEnd(const RoomBand& band);

// Sets time.reliable and time.reasons from the time's fit and its band.
void judgeDecayTime(DecayTime& time, const RoomBand& band);

// Fills band.clarityReasons: C50, C80, D50 and Ts mislead when the band holds
// no energy, when nothing comes after 50 or 80 ms, or when the noise floor is
// met before 80 ms (their late energy is then mostly the extrapolated line).
void judgeClarity(RoomBand& band);

}  // namespace ressona
