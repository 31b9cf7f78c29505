#include "state/hand_over.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ressona {

namespace {

// Nearest integer with halves away from zero; a value beyond the 32-bit range
// gives the nearer end of it (the plot's range follows a shift of any size).
std::int32_t nearest(float value) {
    if (!(value > -2147483648.0f)) return value != value ? 0 : INT32_MIN;
    if (value >= 2147483648.0f) return INT32_MAX;
    return static_cast<std::int32_t>(std::lround(value));
}

}  // namespace

void handDbRange(MeasurementState& state, std::int32_t dbLow, std::int32_t dbHigh, float shiftDb) {
    state.plotDbHigh = static_cast<float>(dbHigh);
    state.plotDbLow = static_cast<float>(std::min(dbLow, dbHigh));
    state.plotShiftDb = shiftDb;
}

void handFrequencyRange(MeasurementState& state, std::int32_t freqLowHz, std::int32_t freqHighHz) {
    state.plotFreqHigh = static_cast<float>(freqHighHz);
    state.plotFreqLow = static_cast<float>(std::min(freqLowHz, freqHighHz));
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
