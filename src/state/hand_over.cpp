#include "state/hand_over.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ressona {

namespace {

// Nearest integer with halves away from zero; a value beyond the 32-bit range
// gives the nearer end of it (the plot's range follows a shift of any size).
std::int32_t nearest(float value) {
    if (!(value > -2147483648.0f)) return value != value ? 0 : INT32_MIN;
    if (value >= 2147483648.0f) return INT32_MAX;
    return static_cast<std::int32_t>(std::lround(value));
}

// Near the ends of the 32-bit range two neighbouring integers are one float:
// the ends of a range handed over are kept apart all the same.
float belowInFloat(float low, float high) {
    return low < high ? low : std::nextafter(high, -std::numeric_limits<float>::infinity());
}
float aboveInFloat(float high, float low) {
    return high > low ? high : std::nextafter(low, std::numeric_limits<float>::infinity());
}

}  // namespace

// A reversed or empty range would leave the plots nothing to draw: the low
// end then lies one unit below the high end. The ends are taken in 64 bits,
// so that this holds at the ends of the 32-bit range as well.
void handDbRange(MeasurementState& state, std::int32_t dbLow, std::int32_t dbHigh, float shiftDb) {
    const std::int64_t high = dbHigh;
    const std::int64_t low = dbLow < dbHigh ? std::int64_t{dbLow} : high - 1;
    state.plotDbHigh = static_cast<float>(high);
    state.plotDbLow = belowInFloat(static_cast<float>(low), state.plotDbHigh);
    state.plotShiftDb = shiftDb;
}

// As the dB range, and the frequency axis is logarithmic: it starts at 1 Hz at least.
void handFrequencyRange(MeasurementState& state, std::int32_t freqLowHz, std::int32_t freqHighHz) {
    constexpr std::int64_t kLowest = 1;
    const std::int64_t high = std::max<std::int64_t>(freqHighHz, kLowest + 1);
    const std::int64_t low =
        std::max<std::int64_t>(freqLowHz < high ? std::int64_t{freqLowHz} : high - 1, kLowest);
    state.plotFreqLow = static_cast<float>(low);
    state.plotFreqHigh = aboveInFloat(static_cast<float>(high), state.plotFreqLow);
}

void readBackDbRange(const MeasurementState& state, std::int32_t& dbLow, std::int32_t& dbHigh) {
    dbLow = nearest(state.plotDbLow);
    dbHigh = nearest(state.plotDbHigh);
}

void handFixDbScale(MeasurementState& state, bool fixDbScale) {
    state.plotFixDbScale = fixDbScale;
}

void handHalfHanning(MeasurementState& state, bool halfHanning) {
    state.analysisHalfHanning = halfHanning;
}

void handThirdOctave(MeasurementState& state, bool thirdOctave) {
    state.analysisThirdOctave = thirdOctave;
}

void handShowSubtract(MeasurementState& state, bool showCaptured, bool subtractCaptured) {
    state.plotShowCaptured = showCaptured;
    state.plotSubtractCaptured = subtractCaptured;
}

void handWaterfall(MeasurementState& state, std::int32_t start, std::int32_t steps) {
    state.plotWaterfallStart = start;
    state.plotWaterfallSteps = steps;
}

void setStorageFileName(MeasurementState& state, std::string_view text) {
    const std::size_t kept = std::min(text.size(), kStorageNameLength);
    std::fill(state.storageFileName.begin(), state.storageFileName.end(), ' ');
    std::copy_n(text.begin(), kept, state.storageFileName.begin());
}

void setCapturedLabel(MeasurementState& state, std::string_view text) {
    const std::size_t kept = std::min(text.size(), kCapturedLabelLength);
    std::fill(state.capturedLabel.begin(), state.capturedLabel.end(), ' ');
    std::copy_n(text.begin(), kept, state.capturedLabel.begin());
    state.capturedLabel[kCapturedLabelLength] = '\0';
}

}  // namespace ressona
