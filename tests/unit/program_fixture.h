#pragma once
// A fresh program state with its device memory allocated, as after the
// panel's initialisation has passed the memory steps.

#include <memory>

#include "control/device_memory.h"
#include "control/program_state.h"

namespace ressona::testing {

inline std::unique_ptr<ProgramState> makeProgram() {
    auto program = std::make_unique<ProgramState>();
    AllocationBudget unlimited;
    allocatePlayMemory(program->state.device, unlimited);
    allocateRecordMemory(program->state.device, unlimited);
    return program;
}

}  // namespace ressona::testing
