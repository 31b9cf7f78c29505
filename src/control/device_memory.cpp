#include "control/device_memory.h"

#include <new>

namespace ressona {

namespace {

template <typename T>
bool allocateZeroed(std::vector<T>& buffer, std::size_t count, AllocationBudget& budget) {
    if (!budget.permit()) return false;
    try {
        buffer.assign(count, T{});
    } catch (const std::bad_alloc&) {
        buffer.clear();
        return false;
    }
    return true;
}

}  // namespace

bool allocatePlayMemory(DeviceMemory& memory, AllocationBudget& budget) {
    memory.playHeader.clear();
    if (!budget.permit() ||
        !allocateZeroed(memory.playBuffer, std::size_t{kMaxSampleCapacity} * 2, budget)) {
        memory.playBuffer.clear();
        return false;
    }
    memory.playMemoryHeld = true;
    return true;
}

bool allocateRecordMemory(DeviceMemory& memory, AllocationBudget& budget) {
    memory.recordHeader.clear();
    if (!budget.permit() ||
        !allocateZeroed(memory.recordBuffer, std::size_t{kMaxSampleCapacity} * 2, budget)) {
        memory.recordBuffer.clear();
        return false;
    }
    memory.recordMemoryHeld = true;
    return true;
}

void freeDeviceMemory(DeviceMemory& memory) {
    if (memory.playMemoryHeld) {
        memory.playHeader.clear();
        std::vector<std::uint8_t>().swap(memory.playBuffer);
        memory.playMemoryHeld = false;
    }
    if (memory.recordMemoryHeld) {
        memory.recordHeader.clear();
        std::vector<std::int16_t>().swap(memory.recordBuffer);
        memory.recordMemoryHeld = false;
    }
}

}  // namespace ressona
