// Ten thousand passes at N = 64 on the simulated card: the memory the program
// holds stays where it was after the first thousand, the sample counter and
// the average are where they must be at the end, and the program closes
// cleanly (under the sanitizers LeakSanitizer then finds nothing at exit).

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim/quiet_program.h"

#if defined(__SANITIZE_ADDRESS__)
#define RESSONA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RESSONA_UNDER_ASAN 1
#endif
#endif
#ifdef RESSONA_UNDER_ASAN
// The sanitizer runtime's count of live heap bytes, and the release of the
// freed blocks it holds back to catch late uses (its header is clang's only).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
extern "C" void __sanitizer_purge_allocator();
#endif

namespace ressona {
namespace {

using testing::QuietProgram;

int passesWanted() {
    const char* text = std::getenv("RESSONA_LONG_RUN_PASSES");
    const int passes = text != nullptr ? std::atoi(text) : 10000;
    return std::max(passes, 2000);
}

// Resident memory of this process in kilobytes. Under the sanitizers, freed
// blocks are first given back: held in quarantine they would look like growth.
long residentKb() {
#ifdef RESSONA_UNDER_ASAN
    __sanitizer_purge_allocator();
#endif
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Bytes the program holds on the heap right now.
std::size_t heapInUse() {
#ifdef RESSONA_UNDER_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

struct MemoryWindow {
    long residentMax = 0;
    std::size_t heapMax = 0;
    void sample() {
        residentMax = std::max(residentMax, residentKb());
        heapMax = std::max(heapMax, heapInUse());
    }
};

// The panel set for the run: N = 64, Pulse, Average with `count` or Single sample.
void setUp(Program& program, std::uint32_t averageCount) {
    program.click(ids::kLength64);
    if (averageCount > 0) {
        program.click(ids::kAverage);
        program.pumpMessages();
        program.type(ids::kAverageEdit, std::to_string(averageCount));
    } else {
        program.click(ids::kSingleSample);
    }
    program.pumpMessages();
}

// What one capture of the same settings gives, taken by a fresh program.
std::vector<float> singleCaptureTrace() {
    QuietProgram reference;
    EXPECT_TRUE(reference.program->start());
    setUp(*reference.program, 0);
    reference.program->click(ids::kStart);
    reference.runCaptures(1);
    const auto& trace = reference.program->arrays().timeTrace.raw();
    return {trace.begin(), trace.end()};
}

class LongRunTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(LongRunTest, TenThousandPassesHoldMemoryFlatAndCountRight) {
    const std::uint32_t averageCount = GetParam();
    const int passes = passesWanted();
    const std::vector<float> expectedTrace = singleCaptureTrace();

    QuietProgram sim;
    ASSERT_TRUE(sim.program->start());
    setUp(*sim.program, averageCount);
    sim.program->click(ids::kStart);

    MemoryWindow first;
    MemoryWindow last;
    const std::uint64_t drawnBefore = sim.freqSurface.counts().polylines;
    for (int pass = 1; pass <= passes; ++pass) {
        ASSERT_EQ(sim.runCaptures(1), 1) << "the chain of passes broke at pass " << pass;
        if (pass % 50 == 0 && pass <= 1000) first.sample();
        if (pass % 50 == 0 && pass > passes - 1000) last.sample();
    }
    std::cout << "long run (" << (averageCount > 0 ? "Average " : "Single sample")
              << (averageCount > 0 ? std::to_string(averageCount) : "") << ", " << passes
              << " passes): resident " << first.residentMax << " kB in the first thousand, "
              << last.residentMax << " kB in the last; heap " << first.heapMax / 1024 << " kB, "
              << last.heapMax / 1024 << " kB\n";
    // The heap must not grow beyond noise; resident memory within a little
    // (pages touched late). Under the sanitizers freed blocks wait in the
    // allocator's quarantine (up to 256 MB) before they are reused, so the
    // resident size grows with every short-lived allocation until that is
    // full, whatever the program holds: there the heap count is the measure.
    EXPECT_LE(last.heapMax, first.heapMax + 64 * 1024);
#ifndef RESSONA_UNDER_ASAN
    EXPECT_LE(last.residentMax, first.residentMax + 1024);
#endif

    const MeasurementState& state = sim.program->state();
    const SampleArrays& arrays = sim.program->arrays();
    EXPECT_TRUE(state.measuring);
    EXPECT_TRUE(sim.dialogs.shown.empty());
    EXPECT_GE(sim.freqSurface.counts().polylines - drawnBefore, static_cast<std::uint64_t>(passes));
    if (averageCount > 0) {
        const std::uint32_t expected = (static_cast<std::uint32_t>(passes) - 1) % averageCount + 1;
        EXPECT_EQ(state.sampleCounter, expected);
        EXPECT_EQ(arrays.averagesWanted, static_cast<std::int32_t>(averageCount));
        EXPECT_EQ(static_cast<std::uint32_t>(arrays.averagesDone), expected % averageCount);
    } else {
        EXPECT_EQ(state.sampleCounter, static_cast<std::uint32_t>(passes));
        EXPECT_EQ(arrays.averagesDone, 0);
    }
    EXPECT_EQ(sim.program->dialog().GetDlgItemTextA(ids::kSampleCountText),
              "Sample " + std::to_string(state.sampleCounter));
    // The captures on the loopback are all alike, so their average is any one of them.
    const auto& trace = arrays.timeTrace.raw();
    ASSERT_EQ(trace.size(), expectedTrace.size());
    for (std::size_t i = 0; i < trace.size(); ++i) {
        EXPECT_NEAR(trace[i], expectedTrace[i], 1e-3f + 1e-6f * std::abs(expectedTrace[i])) << i;
    }

    sim.program->click(ids::kExit);
    sim.program->pumpMessages();
    EXPECT_TRUE(sim.program->closed());
    EXPECT_FALSE(state.device.playMemoryHeld);
    EXPECT_FALSE(state.device.recordMemoryHeld);
    EXPECT_EQ(sim.simulatedMixer().openHandles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Averaging, LongRunTest, ::testing::Values(7u, 0u),
                         [](const ::testing::TestParamInfo<std::uint32_t>& info) {
                             return info.param > 0 ? "Average" + std::to_string(info.param)
                                                   : std::string("SingleSample");
                         });

}  // namespace
}  // namespace ressona
