#include "audio/wave_pass.h"

#include <optional>

#include "audio/wave_devices.h"
#include "state/measurement_state.h"
#include "platform/clock/clock.h"
#include "platform/messages/message.h"
#include "platform/wave/wave_service.h"

namespace ressona {

namespace {

// The waits look at a done flag once per pause: fine pauses around the
// buffer's nominal end (from shortly before it to well after, where devices
// complete), coarse ones elsewhere, so that the completion time is read
// within a fraction of a millisecond without keeping a core busy.
constexpr std::chrono::microseconds kCoarsePause{1000};
constexpr std::chrono::microseconds kFinePause{100};
constexpr std::chrono::milliseconds kFineBefore{5};
constexpr std::chrono::milliseconds kFineAfter{100};

std::int64_t ticksOf(std::chrono::microseconds duration, std::int64_t frequency) {
    return duration.count() * frequency / 1'000'000;
}

struct WaitWindow {
    std::int64_t fineFrom = 0;
    std::int64_t fineUntil = 0;
    std::int64_t deadline = 0;
};

// Waits until the header's buffer is done and returns the counter read just
// after the flag was seen; nothing once the deadline has passed.
std::optional<std::int64_t> waitUntilDone(const WAVEHDR& header, Clock& clock,
                                          const WaitWindow& window) {
    for (;;) {
        if ((header.dwFlags.load() & WHDR_DONE) != 0) return clock.performanceCounter();
        const std::int64_t now = clock.performanceCounter();
        if (now > window.deadline) return std::nullopt;
        const bool fine = now >= window.fineFrom && now <= window.fineUntil;
        clock.pause(fine ? kFinePause : kCoarsePause);
    }
}

bool buffersFit(const DeviceMemory& memory) {
    return memory.playBytes > 0 && memory.recordBytes > 0 &&
           memory.playBytes <= memory.playBuffer.size() &&
           memory.recordBytes <= memory.recordBuffer.size() * sizeof(std::int16_t);
}

void pointHeader(WAVEHDR& header, std::uint8_t* data, std::uint32_t length) {
    header.lpData = data;
    header.dwBufferLength = length;
    header.dwFlags.store(0);
}

}  // namespace

int runPass(MeasurementState& state, WaveDeviceState& devices, WaveService& wave, Clock& clock,
            MessagePoster& poster) {
    DeviceMemory& memory = state.device;
    WAVEHDR& playHeader = memory.playHeader;
    WAVEHDR& recordHeader = memory.recordHeader;

    // 1. The counter's frequency.
    const std::int64_t frequency = clock.performanceFrequency();
    if (frequency <= 0 || state.sampleRate == 0 || !buffersFit(memory)) return kPassFailed;

    // 2. Both headers were prepared by the previous pass, if there was one;
    // unpreparing a never-prepared header succeeds.
    if (wave.waveInUnprepareHeader(devices.waveInHandle, &recordHeader, kWaveHeaderSize) != 0)
        return kPassFailed;
    if (wave.waveOutUnprepareHeader(devices.waveOutHandle, &playHeader, kWaveHeaderSize) != 0)
        return kPassFailed;

    // 3. The buffers of this pass, at the lengths set at Start.
    pointHeader(playHeader, memory.playBuffer.data(), memory.playBytes);
    pointHeader(recordHeader, reinterpret_cast<std::uint8_t*>(memory.recordBuffer.data()),
                memory.recordBytes);

    // 4. Prepare both, queue the empty record buffer.
    if (wave.waveOutPrepareHeader(devices.waveOutHandle, &playHeader, kWaveHeaderSize) != 0)
        return kPassFailed;
    if (wave.waveInPrepareHeader(devices.waveInHandle, &recordHeader, kWaveHeaderSize) != 0)
        return kPassFailed;
    if (wave.waveInAddBuffer(devices.waveInHandle, &recordHeader, kWaveHeaderSize) != 0)
        return kPassFailed;

    // 5, 6. Recording starts before playback, so it begins ahead of the excitation.
    wave.waveInStart(devices.waveInHandle);
    const std::int64_t tInStart = clock.performanceCounter();
    if (wave.waveOutWrite(devices.waveOutHandle, &playHeader, kWaveHeaderSize) != 0)
        return kPassFailed;
    const std::int64_t tOutStart = clock.performanceCounter();

    // 7, 8. Wait for both buffers, each for a bounded time.
    const std::int64_t samples = memory.recordBytes / sizeof(std::int16_t);
    const std::int64_t passTicks = frequency * samples / state.sampleRate;
    const std::int64_t limit =
        kPassTimeoutPasses * passTicks +
        ticksOf(std::chrono::duration_cast<std::chrono::microseconds>(kPassTimeoutAllowance),
                frequency);
    auto windowFrom = [&](std::int64_t start) {
        return WaitWindow{start + passTicks - ticksOf(kFineBefore, frequency),
                          start + passTicks + ticksOf(kFineAfter, frequency), start + limit};
    };
    const std::optional<std::int64_t> tInDone =
        waitUntilDone(recordHeader, clock, windowFrom(tInStart));
    const std::optional<std::int64_t> tOutDone =
        tInDone ? waitUntilDone(playHeader, clock, windowFrom(tOutStart)) : std::nullopt;
    if (!tInDone || !tOutDone) {
        wave.waveInReset(devices.waveInHandle);
        wave.waveOutReset(devices.waveOutHandle);
        return kPassFailed;
    }

    // 9.
    wave.waveInReset(devices.waveInHandle);

    // 10, 11. Each device's time from its start call to its buffer's
    // completion; the difference is the recording's lag behind the playback.
    const float dIn = static_cast<float>(*tInDone - tInStart) / static_cast<float>(frequency);
    const float dOut = static_cast<float>(*tOutDone - tOutStart) / static_cast<float>(frequency);
    state.latencySamples =
        static_cast<std::int32_t>(static_cast<float>(state.sampleRate) * (dIn - dOut));

    // 12.
    if (!poster.PostMessageA(state.panelWindowAudio, WM_COMMAND, makeCommandParam(CMD_CAPTURE_DONE),
                             0))
        return kPassFailed;
    return kPassDone;
}

}  // namespace ressona
