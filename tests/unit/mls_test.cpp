#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "control/program_state.h"
#include "signals/excitation.h"
#include "signals/mls.h"
#include "unit/program_fixture.h"

namespace ressona {
namespace {

std::vector<std::int32_t> toVector(const OneBasedArray<std::int32_t>& table, std::size_t count) {
    return std::vector<std::int32_t>(table.raw().begin(), table.raw().begin() + count);
}

class MlsTest : public ::testing::Test {
protected:
    void prepareMls(std::uint32_t n) {
        program->state.excitationMode = kModeMls;
        program->state.sampleLength = n;
        ASSERT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareDone);
    }
    std::unique_ptr<ProgramState> program = testing::makeProgram();
};

TEST_F(MlsTest, OrderThreeGivesTheKnownSequenceAndTags) {
    prepareMls(8);
    const MlsTables& t = program->arrays.mls;
    EXPECT_EQ(toVector(t.mlsSequence, 7), (std::vector<std::int32_t>{-1, -1, -1, 1, -1, 1, 1}));
    EXPECT_EQ(toVector(t.mlsInputTags, 7), (std::vector<std::int32_t>{1, 3, 7, 6, 5, 2, 4}));
    EXPECT_EQ(toVector(t.mlsOutputTags, 7), (std::vector<std::int32_t>{1, 2, 4, 3, 6, 7, 5}));
    EXPECT_TRUE(program->arrays.mlsActive);
}

TEST_F(MlsTest, OrderSixPassStartsWithSixRestSamples) {
    prepareMls(64);
    const std::vector<std::int32_t> expected = {-1, -1, -1, -1, -1, -1, 1, 1, 1, 1, 1, -1, 1, 1, 1, 1};
    EXPECT_EQ(toVector(program->arrays.mls.mlsSequence, 16), expected);
    const auto& play = program->state.device.playBuffer;
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(play[i], expected[i] == -1 ? 128 : 60) << "sample " << i + 1;
    }
}

TEST(MlsSequenceTest, EveryOrderHasFullPeriodAndBalance) {
    for (std::int32_t order = kMlsMinOrder; order <= kMlsMaxOrder; ++order) {
        const std::size_t length = (std::size_t{1} << order) - 1;
        std::vector<std::int32_t> sequence(length);
        EXPECT_TRUE(fillMlsSequence(order, OneBasedSpan<std::int32_t>(sequence))) << order;
        const auto minusOnes = std::count(sequence.begin(), sequence.end(), -1);
        EXPECT_EQ(minusOnes, std::int64_t{1} << (order - 1)) << order;
        // The register returns to its seed only after L steps: no shorter
        // period, checked on the first p values (all -1) not recurring early.
        if (order <= 12) {
            for (std::size_t shift = 1; shift < length; ++shift) {
                const bool repeats = std::equal(sequence.begin(), sequence.end() - shift,
                                                sequence.begin() + shift);
                ASSERT_FALSE(repeats) << "order " << order << " repeats after " << shift;
            }
        }
    }
}

TEST_F(MlsTest, InputTagsArePermutationsForSeveralOrders) {
    for (std::uint32_t n : {4u, 64u, 1024u, 16384u}) {
        prepareMls(n);
        for (const auto* table : {&program->arrays.mls.mlsInputTags, &program->arrays.mls.mlsOutputTags}) {
            std::vector<std::int32_t> tags = toVector(*table, n - 1);
            std::sort(tags.begin(), tags.end());
            std::vector<std::int32_t> expected(n - 1);
            std::iota(expected.begin(), expected.end(), 1);
            EXPECT_EQ(tags, expected) << "N = " << n;
        }
    }
}

TEST_F(MlsTest, PassRepeatsTheSequenceWithItsPeriod) {
    prepareMls(256);
    const auto& play = program->state.device.playBuffer;
    const std::size_t length = 255;
    for (std::size_t i = 0; i + length < 512; ++i) {
        ASSERT_EQ(play[i], play[i + length]) << "sample " << i + 1;
    }
    for (std::size_t i = 1; i <= 512; ++i) {
        ASSERT_EQ(program->arrays.excitationBuffer[i], play[i - 1]);
    }
}

TEST_F(MlsTest, TablesLiveOnlyWhileTheSequenceIsNeeded) {
    prepareMls(64);
    EXPECT_TRUE(program->arrays.mls.mlsOutputTags.allocated());
    releaseSampleArrays(program->arrays);
    EXPECT_FALSE(program->arrays.mls.mlsScratch.allocated());
    EXPECT_FALSE(program->arrays.mls.mlsSequence.allocated());
    EXPECT_FALSE(program->arrays.mls.mlsInputTags.allocated());
    EXPECT_FALSE(program->arrays.mls.mlsOutputTags.allocated());
    EXPECT_FALSE(program->arrays.excitationBuffer.allocated());
}

TEST_F(MlsTest, TableAllocationFailureReleasesAllAndFailsThePreparation) {
    program->state.excitationMode = kModeMls;
    program->state.sampleLength = 64;
    program->arrays.allocationBudget.remaining = 10 + 2;  // the arrays, then two of four tables
    EXPECT_EQ(prepareExcitation(program->state, program->arrays, {}), kPrepareFailed);
    EXPECT_FALSE(program->arrays.mls.mlsScratch.allocated());
    EXPECT_FALSE(program->arrays.mls.mlsSequence.allocated());
    EXPECT_TRUE(program->arrays.mlsActive);
    EXPECT_TRUE(program->state.buffersPrepared);
}

}  // namespace
}  // namespace ressona
