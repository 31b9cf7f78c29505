// The latency from position readings: input - output as the first readings
// that agree say it (the median of all when none agree), and for a server
// that moves in cycles, the cycle grid anchored where the playback was written.

#include "audio/latency_estimate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace ressona {
namespace {

TEST(LatencyEstimate, ExactReadingsGiveTheOffsetAndOutliersDoNotMoveIt) {
    LatencyEstimate estimate;
    estimate.begin(0, 1);
    EXPECT_EQ(estimate.result(), 0) << "no reading at all";
    for (std::int64_t played = -40; played < 4000; played += 7) estimate.add(played + 128, played);
    EXPECT_EQ(estimate.result(), 128);
    // A few readings spoilt by a late thread, in both directions: still the median.
    for (int i = 0; i < 40; ++i) estimate.add(5000 + i * 100, 4000 + i);
    for (int i = 0; i < 40; ++i) estimate.add(-9000 - i, 5000 + i);
    EXPECT_EQ(estimate.result(), 128);
    // begin() forgets the last pass; a single reading is all there is to go by.
    estimate.begin(0, 1);
    estimate.add(10, 3);
    EXPECT_EQ(estimate.readings(), 0u);
    EXPECT_EQ(estimate.result(), 7);
}

// Before a server's new stream really runs, one position stands still while
// the other moves: those readings say nothing and must not outvote the rest.
TEST(LatencyEstimate, ReadingsCountOnlyWhileBothPositionsMove) {
    LatencyEstimate estimate;
    estimate.begin(0, 1);
    for (std::int64_t input = 0; input < 3000; input += 9)
        estimate.add(input, -128);  // output waits
    for (std::int64_t played = -128; played < 900; played += 9)
        estimate.add(0, played);  // input waits
    EXPECT_EQ(estimate.readings(), 0u);
    for (std::int64_t played = 0; played < 2000; played += 9) estimate.add(played + 64, played);
    EXPECT_EQ(estimate.result(), 64);
}

// A server that moves in cycles: the input's count at the write, whatever
// its smoothed playback timing says (several cycles out while a stream is new).
TEST(LatencyEstimate, ASteppedInputGivesItsCountAtTheWrite) {
    std::mt19937 random(5);
    for (const std::uint32_t cycle : {40u, 109u, 240u}) {
        for (const std::int64_t atWrite :
             {std::int64_t{0}, std::int64_t{2400}, std::int64_t{1199}}) {
            LatencyEstimate estimate;
            estimate.begin(atWrite, cycle);
            std::uniform_int_distribution<std::int64_t> off(-3 * std::int64_t{cycle}, 3 * cycle);
            for (std::int64_t t = 0; t < 30 * std::int64_t{cycle}; t += 11)
                estimate.add(atWrite + t / cycle * cycle, t + off(random));
            EXPECT_EQ(estimate.result(), atWrite) << cycle << " " << atWrite;
        }
    }
    LatencyEstimate none;
    none.begin(-5, 2);
    EXPECT_EQ(none.result(), -5);
}

// Readings scattered so that no run agrees: an even sample of a long pass
// keeps the majority's offset.
TEST(LatencyEstimate, ALongPassIsSampledEvenlyWithinItsCapacity) {
    LatencyEstimate estimate;
    estimate.begin(0, 1);
    // The first part says 10, the rest 40, every reading 0, 9 or 18 beyond:
    // the median is 40.
    const int readings = 40 * static_cast<int>(LatencyEstimate::kCapacity);
    for (int i = 0; i < readings; ++i)
        estimate.add(i + (i < readings * 45 / 100 ? 10 : 40) + 9 * (i % 3), i);
    EXPECT_LE(estimate.readings(), LatencyEstimate::kCapacity);
    EXPECT_GE(estimate.readings(), LatencyEstimate::kCapacity / 2);
    EXPECT_EQ(estimate.result(), 40);
}

// A graph that drops a cycle shifts all that is played after it: the
// readings then say the offset less a cycle for the rest of the pass, but
// the excitation at the start landed where the first agreeing readings say,
// however many later readings there are and however long the pass.
TEST(LatencyEstimate, ACycleDroppedMidPassDoesNotMoveTheStartsOffset) {
    for (const int readings : {300, 40 * static_cast<int>(LatencyEstimate::kCapacity)}) {
        LatencyEstimate estimate;
        estimate.begin(0, 1);
        std::int64_t played = 0;
        // Stray readings while the streams settle, then the offset, with a
        // sample of scatter.
        estimate.add(256, 0);
        estimate.add(475 + 13, 13);
        for (int i = 0; i < 8; ++i, played += 24) estimate.add(played + 128 + (i % 3 == 2), played);
        // Both streams stumble, then the rest of the pass runs a cycle short.
        for (const std::int64_t offset : {140, 0, 0, 64, 236})
            estimate.add(played + offset, played), played += 24;
        for (int i = 10; i < readings; ++i, played += 24) estimate.add(played + 64, played);
        EXPECT_EQ(estimate.result(), 128) << readings << " readings";
    }
    // Readings within a few samples of each other agree; a run broken by a
    // cycle's difference before it is long enough does not count.
    LatencyEstimate estimate;
    estimate.begin(0, 1);
    const std::int64_t offsets[] = {200, 200, 200, 200, 264, 129, 127, 128, 126, 130, 64, 64};
    std::int64_t played = 0;
    for (const std::int64_t offset : offsets) estimate.add(played + offset, played), played += 30;
    EXPECT_EQ(estimate.result(), 128);
}

// Readings that never agree, half of them on each of two offsets: the
// median of an even count is the lower of the middle two.
TEST(LatencyEstimate, WithoutAnAgreeingRunAnEvenCountGivesTheLowerMiddle) {
    LatencyEstimate estimate;
    estimate.begin(0, 1);
    for (std::int64_t played = 0; played <= 300; played += 30)
        estimate.add(played + (played % 60 == 0 ? 200 : 100), played);
    ASSERT_EQ(estimate.readings() % 2, 0u);
    EXPECT_EQ(estimate.result(), 100);
}

TEST(LatencyEstimate, PositionsFromAnyDeviceStayWithinTheLatencyRange) {
    constexpr std::int64_t kHuge = std::numeric_limits<std::int64_t>::max();
    LatencyEstimate estimate;
    estimate.begin(0, 1);
    estimate.add(kHuge, -kHuge);  // a difference that would overflow: no reading
    EXPECT_EQ(estimate.readings(), 0u);
    estimate.add(std::int64_t{1} << 50, 0);
    EXPECT_EQ(estimate.result(), std::numeric_limits<std::int32_t>::max());
    estimate.begin(0, 1);
    estimate.add(0, std::int64_t{1} << 50);
    EXPECT_EQ(estimate.result(), std::numeric_limits<std::int32_t>::min());
    estimate.begin(-kHuge, std::numeric_limits<std::uint32_t>::max());
    EXPECT_EQ(estimate.result(), std::numeric_limits<std::int32_t>::min());
    estimate.begin(kHuge, 2);
    EXPECT_EQ(estimate.result(), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace ressona
