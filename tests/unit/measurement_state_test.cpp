#include <gtest/gtest.h>

#include <string>

#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "signals/excitation.h"
#include "unit/program_fixture.h"

namespace ressona {
namespace {

TEST(MeasurementStateTest, FreshStateHoldsTheStartDefaults) {
    const MeasurementState state;
    EXPECT_EQ(state.sampleRate, 22050u);
    EXPECT_EQ(state.sampleLength, 2048u);
    EXPECT_EQ(state.excitationMode, kModePulse);
    EXPECT_FALSE(state.averagingOn);
    EXPECT_EQ(state.averageCount, 100u);
    EXPECT_TRUE(state.averageInTime);
    EXPECT_EQ(state.dbLow, -90);
    EXPECT_EQ(state.dbHigh, 3);
    EXPECT_EQ(state.freqLowHz, 10);
    EXPECT_EQ(state.freqHighHz, 30000);
    EXPECT_EQ(state.toneFrequency, 2000u);
    EXPECT_EQ(state.waterfallSteps, 30);
    EXPECT_EQ(state.analysisView, kViewStandard);
    EXPECT_TRUE(state.mixerInputMic);
    EXPECT_EQ(state.lowerCut, 0);
    EXPECT_EQ(state.upperCut, 1000);
    EXPECT_EQ(state.micLevel, state.micLevelMax / 2);
    EXPECT_EQ(fileNameOf(state), "default.rsn");
    EXPECT_FALSE(state.measuring);
    EXPECT_TRUE(state.editEchoEnabled);
}

// The plots always get a range they can draw: a reversed or empty one becomes
// one unit below the high end, and the frequency range starts at 1 Hz at least.
TEST(HandOverTest, ReversedOrEmptyRangesBecomeOneUnitWide) {
    MeasurementState state;
    handDbRange(state, 10, -20, 1.5f);
    EXPECT_EQ(state.plotDbHigh, -20.0f);
    EXPECT_EQ(state.plotDbLow, -21.0f);
    EXPECT_EQ(state.plotShiftDb, 1.5f);
    handDbRange(state, INT32_MIN, INT32_MIN, 0.0f);  // INT32_MIN - 1 is INT32_MIN as a float
    EXPECT_LT(state.plotDbLow, state.plotDbHigh);
    handFrequencyRange(state, INT32_MAX - 1, INT32_MAX);
    EXPECT_LT(state.plotFreqLow, state.plotFreqHigh);
    handFrequencyRange(state, 5000, 100);
    EXPECT_EQ(state.plotFreqHigh, 100.0f);
    EXPECT_EQ(state.plotFreqLow, 99.0f);
    handFrequencyRange(state, 0, 1);
    EXPECT_EQ(state.plotFreqLow, 1.0f);
    EXPECT_EQ(state.plotFreqHigh, 2.0f);
    handFrequencyRange(state, -50, -10);
    EXPECT_EQ(state.plotFreqLow, 1.0f);
    EXPECT_EQ(state.plotFreqHigh, 2.0f);
    handFrequencyRange(state, 10, 30000);
    EXPECT_EQ(state.plotFreqLow, 10.0f);
    EXPECT_EQ(state.plotFreqHigh, 30000.0f);
}

TEST(HandOverTest, ReadBackRoundsHalvesAwayFromZero) {
    MeasurementState state;
    state.plotDbLow = -89.5f;
    state.plotDbHigh = 2.5f;
    std::int32_t low = 0, high = 0;
    readBackDbRange(state, low, high);
    EXPECT_EQ(low, -90);
    EXPECT_EQ(high, 3);
    state.plotDbLow = -89.4f;
    state.plotDbHigh = 2.49f;
    readBackDbRange(state, low, high);
    EXPECT_EQ(low, -89);
    EXPECT_EQ(high, 2);
}

TEST(HandOverTest, StorageFileNameIsBlankPaddedAndCutAt250) {
    MeasurementState state;
    setStorageFileName(state, "");
    EXPECT_EQ(std::string(state.storageFileName.begin(), state.storageFileName.end()),
              std::string(250, ' '));
    const std::string longName(300, 'x');
    setStorageFileName(state, longName);
    EXPECT_EQ(std::string(state.storageFileName.begin(), state.storageFileName.end()),
              std::string(250, 'x'));
    setStorageFileName(state, "room.rsn");
    const std::string stored(state.storageFileName.begin(), state.storageFileName.end());
    EXPECT_EQ(stored.substr(0, 8), "room.rsn");
    EXPECT_EQ(stored.find_first_not_of(' ', 8), std::string::npos);
}

TEST(HandOverTest, CaptureCurrentCopiesExactlyTheBinsAndKeepsThem) {
    auto program = testing::makeProgram();
    program->state.sampleLength = 64;
    ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    SampleArrays& arrays = program->arrays;
    for (std::size_t k = 1; k <= 32; ++k) arrays.magnitudeSpectrum[k] = static_cast<float>(k);
    captureCurrent(program->state, arrays);
    EXPECT_TRUE(program->state.plotShowCaptured);
    EXPECT_EQ(std::string(program->state.capturedLabel.data()), "Captured" + std::string(52, ' '));
    for (std::size_t k = 1; k <= 32; ++k) arrays.magnitudeSpectrum[k] = -1.0f;
    for (std::size_t k = 1; k <= 32; ++k) EXPECT_EQ(arrays.capturedSpectrum[k], float(k));
}

TEST(HandOverTest, TimeCutsFollowTheAnalysedSpan) {
    auto program = testing::makeProgram();
    ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    handTimeCuts(program->state, program->arrays, 250, 500);
    const float span = program->arrays.plotTimeSpan;
    EXPECT_FLOAT_EQ(program->state.plotLowerCutTime, 0.25f * span);
    EXPECT_FLOAT_EQ(program->state.plotUpperCutTime, 0.5f * span);
}

}  // namespace
}  // namespace ressona
