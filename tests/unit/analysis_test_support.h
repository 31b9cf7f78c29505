#pragma once
// A program made ready for a measurement, as the panel's Start leaves it:
// device memory held, arrays built, the excitation of the chosen mode generated.

#include <gtest/gtest.h>

#include <memory>

#include "control/device_memory.h"
#include "control/array_hand_over.h"
#include "control/program_state.h"
#include "signals/excitation.h"

namespace ressona::testing {

struct Preparation {
    std::int32_t mode = kModePulse;
    std::uint32_t n = 1024;
    std::uint32_t rate = 22050;
    std::uint32_t averages = 1;  // 1: single sample
    bool averageInTime = true;
    bool halfHanning = false;
    bool thirdOctave = false;
};

inline std::unique_ptr<ProgramState> preparedProgram(const Preparation& p) {
    auto program = std::make_unique<ProgramState>();
    MeasurementState& state = program->state;
    EXPECT_TRUE(allocatePlayMemory(state.device, program->arrays.allocationBudget));
    EXPECT_TRUE(allocateRecordMemory(state.device, program->arrays.allocationBudget));
    state.excitationMode = p.mode;
    state.sampleLength = p.n;
    state.sampleRate = p.rate;
    state.averagingOn = p.averages > 1;
    state.averageCount = p.averages;
    state.averageInTime = p.averageInTime;
    state.halfHanning = p.halfHanning;
    state.thirdOctave = p.thirdOctave;
    EXPECT_EQ(prepareExcitation(state, program->arrays, TimeOfDay{}), kPrepareDone);
    handTimeCuts(state, program->arrays, 0, 1000);
    return program;
}

}  // namespace ressona::testing
