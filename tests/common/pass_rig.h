#pragma once
// What a wave-pass test needs around the pass: the measurement state with its
// device memory for one sample length and rate, the device state, and a
// poster that keeps what was posted.

#include <cstdint>
#include <span>
#include <vector>

#include "audio/wave_devices.h"
#include "control/device_memory.h"
#include "state/measurement_state.h"
#include "platform/messages/message.h"

namespace ressona::testing {

class RecordingPoster final : public MessagePoster {
  public:
    bool PostMessageA(WindowHandle window, std::uint32_t message, WPARAM wParam,
                      LPARAM lParam) override {
        posted.push_back({window, message, wParam, lParam});
        return accept;
    }
    std::vector<Message> posted;
    bool accept = true;
};

inline constexpr WindowHandle kPanel = 7;

struct PassRig {
    MeasurementState state;
    WaveDeviceState devices;
    RecordingPoster poster;

    PassRig(std::uint32_t sampleRate, std::uint32_t sampleLength) {
        AllocationBudget budget;
        allocatePlayMemory(state.device, budget);
        allocateRecordMemory(state.device, budget);
        state.panelInitialised = true;
        state.panelWindowAudio = kPanel;
        setLength(sampleRate, sampleLength);
    }

    // What Start does before opening the devices.
    void setLength(std::uint32_t sampleRate, std::uint32_t sampleLength) {
        state.sampleRate = sampleRate;
        state.sampleLength = sampleLength;
        state.device.playBytes = 2 * sampleLength;
        state.device.recordBytes = 4 * sampleLength;
    }

    std::uint32_t passSamples() const { return 2 * state.sampleLength; }

    // What Start arms for an excitation that can be found in its recording:
    // each pass then checks itself and is played again when spoilt.
    void armPassCheck(std::int64_t period = 0) {
        state.passCheck = {};
        state.passCheck.armed = true;
        state.passCheck.period = period;
    }

    // Rest level everywhere but one sample at the active level (0-based index).
    void writePulse(std::size_t index = 10) {
        std::span<std::uint8_t> play(state.device.playBuffer.data(), passSamples());
        for (std::uint8_t& code : play) code = 128;
        play[index] = 60;
    }

    std::span<const std::int16_t> recording() const {
        return {state.device.recordBuffer.data(), passSamples()};
    }

    // How many captures were reported done to the panel.
    std::size_t capturesPosted() const {
        std::size_t count = 0;
        for (const Message& m : poster.posted) {
            if (m.window == kPanel && m.message == WM_COMMAND &&
                commandId(m.wParam) == CMD_CAPTURE_DONE && commandNotification(m.wParam) == 0 &&
                m.lParam == 0)
                ++count;
        }
        return count;
    }
};

}  // namespace ressona::testing
