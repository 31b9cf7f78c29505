#pragma once
// The operations through which the panel hands its settings to the analysis
// and the plots. Each writes only the hand-over copies in MeasurementState;
// the two that also read the sample arrays are in control/array_hand_over.h.

#include <cstddef>
#include <string_view>

#include "state/measurement_state.h"

namespace ressona {

// plotDbHigh = high; plotDbLow = low, or high - 1 when low is not below high;
// plotShiftDb = shift. The plots always get a range they can draw.
void handDbRange(MeasurementState& state, std::int32_t dbLow, std::int32_t dbHigh, float shiftDb);
// plotFreqHigh = high; plotFreqLow = low, or high - 1 when low is not below
// high; the low end at least 1 Hz (and the high end above it).
void handFrequencyRange(MeasurementState& state, std::int32_t freqLowHz, std::int32_t freqHighHz);
// dbLow, dbHigh = the plot's range, each rounded to nearest (halves away from zero).
void readBackDbRange(const MeasurementState& state, std::int32_t& dbLow, std::int32_t& dbHigh);
void handFixDbScale(MeasurementState& state, bool fixDbScale);
void handHalfHanning(MeasurementState& state, bool halfHanning);
void handThirdOctave(MeasurementState& state, bool thirdOctave);
void handShowSubtract(MeasurementState& state, bool showCaptured, bool subtractCaptured);
void handWaterfall(MeasurementState& state, std::int32_t start, std::int32_t steps);
// storageFileName = the first min(length, 250) characters of text, blank-padded to 250.
void setStorageFileName(MeasurementState& state, std::string_view text);

// Sets the captured label to text padded with blanks to 60 characters.
void setCapturedLabel(MeasurementState& state, std::string_view text);

}  // namespace ressona
