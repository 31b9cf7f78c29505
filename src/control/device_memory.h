#pragma once
// Allocation and release of the device memory: the two wave headers and the
// play and record buffers, sized for kMaxSampleCapacity samples and zero-filled.

#include "state/measurement_state.h"
#include "signals/allocation_budget.h"

namespace ressona {

// The play header and play buffer; false (nothing held) when memory runs out.
bool allocatePlayMemory(DeviceMemory& memory, AllocationBudget& budget);
// The record header and record buffer; false (nothing held) when memory runs out.
bool allocateRecordMemory(DeviceMemory& memory, AllocationBudget& budget);
// Frees whatever of the two pairs is held.
void freeDeviceMemory(DeviceMemory& memory);

}  // namespace ressona
