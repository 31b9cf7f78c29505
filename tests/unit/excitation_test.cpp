#include <gtest/gtest.h>

#include <vector>

#include "control/program_state.h"
#include "signals/excitation.h"
#include "unit/program_fixture.h"

namespace ressona {
namespace {

TEST(ExcitationTest, UnknownModeLeavesThePreviousExcitation) {
    auto program = testing::makeProgram();
    program->state.sampleLength = 64;
    ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    const std::vector<std::uint8_t> before(program->state.device.playBuffer.begin(),
                                           program->state.device.playBuffer.begin() + 128);
    program->state.excitationMode = 999;
    EXPECT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), program->state.device.playBuffer.begin()));
}

TEST(ExcitationTest, EveryModeFillsTheWholePass) {
    for (std::int32_t mode : {kModeMls, kModeSineWave, kModeSquareWave, kModePulse,
                              kModeWhiteNoise, kModeNoSignal, kModeSweep}) {
        auto program = testing::makeProgram();
        program->state.sampleLength = 16384;
        program->state.excitationMode = mode;
        std::fill(program->state.device.playBuffer.begin(), program->state.device.playBuffer.end(), 7);
        ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone) << mode;
        const auto& play = program->state.device.playBuffer;
        for (std::size_t i = 0; i < 2 * 16384; ++i) ASSERT_NE(play[i], 7) << mode << " at " << i;
        EXPECT_EQ(play[2 * 16384], 7) << "wrote past the pass";
        EXPECT_EQ(program->arrays.mlsActive, mode == kModeMls);
    }
}

TEST(ExcitationTest, LatchesTheAnalysisSettings) {
    auto program = testing::makeProgram();
    program->state.halfHanning = true;
    program->state.thirdOctave = true;
    ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    EXPECT_TRUE(program->state.analysisHalfHanning);
    EXPECT_TRUE(program->state.analysisThirdOctave);
    EXPECT_TRUE(program->arrays.taperWindow.allocated());
}

TEST(ExcitationTest, FailuresAreReportedAndNeverOverflowTheDeviceMemory) {
    auto program = testing::makeProgram();
    program->arrays.allocationBudget.remaining = 0;
    EXPECT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareFailed);
    EXPECT_TRUE(program->state.buffersPrepared);

    program->arrays.allocationBudget.remaining = AllocationBudget::kUnlimited;
    program->state.sampleLength = 1000;
    EXPECT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareImpossibleSize);

    program->state.sampleLength = 1u << 17;  // a pass longer than the device memory holds
    EXPECT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareFailed);

    ProgramState withoutMemory;
    EXPECT_EQ(prepareExcitation(withoutMemory.state, withoutMemory.arrays, {}), kPrepareFailed);
}

}  // namespace
}  // namespace ressona
