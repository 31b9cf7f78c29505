#include <gtest/gtest.h>

#include <cmath>

#include "control/program_state.h"
#include "signals/excitation.h"
#include "signals/sample_arrays.h"
#include "unit/program_fixture.h"

namespace ressona {
namespace {

TEST(SampleArraysTest, SizesFollowTheSampleLength) {
    ProgramState program;
    ASSERT_EQ(allocateSampleArrays(program.state, program.arrays, 64, 22050, 1, true), kArraysReady);
    const SampleArrays& a = program.arrays;
    EXPECT_EQ(a.pointCount, 64);
    EXPECT_EQ(a.excitationLength, 128);
    EXPECT_EQ(a.binCount, 32);
    EXPECT_EQ(a.mlsLength, 63);
    EXPECT_EQ(a.mlsOrder, 6);
    EXPECT_EQ(a.excitationBuffer.size(), 128u);
    EXPECT_EQ(a.spectrumWork.size(), 64u);
    EXPECT_EQ(a.magnitudeSpectrum.size(), 32u);
    EXPECT_EQ(a.capturedSpectrum.size(), 32u);
    EXPECT_EQ(a.plotPoints.size(), 256u);
    EXPECT_FALSE(a.taperWindow.allocated());
    EXPECT_FALSE(a.resultsReady);
}

TEST(SampleArraysTest, BinWidthAndTimeSpanAtTheDefaults) {
    ProgramState program;
    ASSERT_EQ(allocateSampleArrays(program.state, program.arrays, 2048, 22050, 1, true),
              kArraysReady);
    EXPECT_NEAR(program.arrays.binWidth, 10.7666f, 1e-4f);
    EXPECT_NEAR(program.arrays.plotTimeSpan, 92.88f, 1e-2f);
    EXPECT_EQ(program.arrays.timePlotMax, 10000.0f);
    EXPECT_EQ(program.arrays.timePlotMin, -10000.0f);
    EXPECT_EQ(program.state.plotWaterfallSteps, 20);
}

TEST(SampleArraysTest, PlotDefaultsAreSetOnlyByTheFirstAllocation) {
    ProgramState program;
    ASSERT_EQ(allocateSampleArrays(program.state, program.arrays, 64, 22050, 1, true), kArraysReady);
    program.arrays.timePlotMax = 5000.0f;
    program.state.plotWaterfallSteps = 7;
    ASSERT_EQ(allocateSampleArrays(program.state, program.arrays, 128, 8000, 1, true), kArraysReady);
    EXPECT_EQ(program.arrays.timePlotMax, 5000.0f);
    EXPECT_EQ(program.state.plotWaterfallSteps, 7);
}

TEST(SampleArraysTest, CapturedCurveSurvivesTheSameLengthOnly) {
    ProgramState program;
    SampleArrays& a = program.arrays;
    ASSERT_EQ(allocateSampleArrays(program.state, a, 64, 22050, 1, true), kArraysReady);
    a.capturedSpectrum[1] = 42.0f;
    a.capturedSpectrum[32] = 7.0f;
    program.state.plotShowCaptured = true;

    ASSERT_EQ(allocateSampleArrays(program.state, a, 64, 48000, 1, true), kArraysReady);
    EXPECT_EQ(a.capturedSpectrum[1], 42.0f);
    EXPECT_EQ(a.capturedSpectrum[32], 7.0f);
    EXPECT_TRUE(program.state.plotShowCaptured);

    ASSERT_EQ(allocateSampleArrays(program.state, a, 128, 48000, 1, true), kArraysReady);
    EXPECT_EQ(a.capturedSpectrum.size(), 64u);
    EXPECT_FALSE(program.state.plotShowCaptured);
}

TEST(SampleArraysTest, TaperFallsAsAQuarterCosineAndIsLeftAloneWhenOff) {
    ProgramState program;
    program.state.analysisHalfHanning = true;
    ASSERT_EQ(allocateSampleArrays(program.state, program.arrays, 64, 22050, 1, true), kArraysReady);
    const auto& w = program.arrays.taperWindow;
    ASSERT_EQ(w.size(), 64u);
    EXPECT_EQ(w[1], 1.0f);
    EXPECT_NEAR(w[33], std::cos(3.1415925 / 4), 1e-6);
    EXPECT_NEAR(w[64], std::cos(3.1415925 / 2 * 63 / 64), 1e-6);
    for (std::size_t i = 2; i <= 64; ++i) EXPECT_LT(w[i], w[i - 1]);

    program.state.analysisHalfHanning = false;
    program.arrays.taperWindow[5] = 123.0f;
    ASSERT_EQ(allocateSampleArrays(program.state, program.arrays, 128, 22050, 1, true), kArraysReady);
    EXPECT_EQ(program.arrays.taperWindow.size(), 64u);
    EXPECT_EQ(program.arrays.taperWindow[5], 123.0f);
}

TEST(SampleArraysTest, ImpossibleLengthsAreRefusedBeforeAnythingIsBuilt) {
    ProgramState program;
    for (std::uint32_t n : {0u, 1u, 2u, 3u, 100u, 2049u, 1u << 21}) {
        EXPECT_EQ(allocateSampleArrays(program.state, program.arrays, n, 22050, 1, true),
                  kArraysImpossibleSize)
            << n;
    }
    EXPECT_FALSE(program.arrays.excitationBuffer.allocated());
    EXPECT_EQ(allocateSampleArrays(program.state, program.arrays, 4, 22050, 1, true), kArraysReady);
}

TEST(SampleArraysTest, AFailedAllocationReportsFailureAndKeepsEarlierArrays) {
    ProgramState program;
    program.arrays.allocationBudget.remaining = 3;  // the fourth array fails
    EXPECT_EQ(allocateSampleArrays(program.state, program.arrays, 64, 22050, 1, true),
              kArraysAllocationFailed);
    EXPECT_TRUE(program.arrays.timeComplex.allocated());
    EXPECT_FALSE(program.arrays.timeTrace.allocated());
    EXPECT_FALSE(program.arrays.plotPoints.allocated());
}

TEST(SampleArraysTest, AveragesWantedFollowsTheAveragingChoice) {
    auto program = testing::makeProgram();
    program->state.averagingOn = true;
    program->state.averageCount = 25;
    ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    EXPECT_EQ(program->arrays.averagesWanted, 25);
    program->state.averagingOn = false;
    ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    EXPECT_EQ(program->arrays.averagesWanted, 1);
    EXPECT_EQ(program->arrays.averagesDone, 0);
}

}  // namespace
}  // namespace ressona
