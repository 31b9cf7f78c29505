// What a sound card says during a pass: any positions (anywhere in 64 bits,
// any step), any failure code from any position read, buffers that complete
// at any look or never. The pass must end (a manual clock bounds its waits),
// post exactly when it reports success, report a device failure only with a
// code that says so, leave no buffer with the device after a failure, and
// keep its latency in range; the sanitizers watch its arithmetic.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "audio/wave_devices.h"
#include "audio/wave_pass.h"
#include "control/device_memory.h"
#include "state/measurement_state.h"
#include "platform/clock/clock.h"
#include "platform/messages/message.h"
#include "platform/wave/wave_service.h"

namespace {

using namespace ressona;

constexpr MMRESULT kCodes[] = {MMSYSERR_NOERROR,  MMSYSERR_ERROR,      MMSYSERR_BADDEVICEID,
                               MMSYSERR_NODRIVER, WAVERR_DEVICEFAILED, MMSYSERR_INVALHANDLE};

// A card that answers from the fuzzer's bytes.
class ScriptedCard final : public WaveService {
  public:
    explicit ScriptedCard(FuzzedDataProvider& in) : in_(in) {}

    MMRESULT waveOutOpen(HWAVEOUT* h, UINT, const WAVEFORMATEX*, std::uintptr_t, std::uintptr_t,
                         std::uint32_t) override {
        *h = 1;
        return 0;
    }
    MMRESULT waveOutPrepareHeader(HWAVEOUT, WAVEHDR* w, UINT) override { return prepare(w); }
    MMRESULT waveOutUnprepareHeader(HWAVEOUT, WAVEHDR* w, UINT) override { return unprepare(w); }
    MMRESULT waveOutWrite(HWAVEOUT, WAVEHDR* w, UINT) override { return queue(w, play_); }
    MMRESULT waveOutReset(HWAVEOUT) override { return finish(play_); }
    MMRESULT waveOutClose(HWAVEOUT) override { return finish(play_); }
    MMRESULT waveOutGetPosition(HWAVEOUT, MMTIME* t, UINT) override { return answer(t); }
    MMRESULT waveInOpen(HWAVEIN* h, UINT, const WAVEFORMATEX*, std::uintptr_t, std::uintptr_t,
                        std::uint32_t) override {
        *h = 2;
        return 0;
    }
    MMRESULT waveInPrepareHeader(HWAVEIN, WAVEHDR* w, UINT) override { return prepare(w); }
    MMRESULT waveInUnprepareHeader(HWAVEIN, WAVEHDR* w, UINT) override { return unprepare(w); }
    MMRESULT waveInAddBuffer(HWAVEIN, WAVEHDR* w, UINT) override { return queue(w, record_); }
    MMRESULT waveInStart(HWAVEIN) override { return in_.ConsumeBool() ? 0 : 1; }
    MMRESULT waveInReset(HWAVEIN) override { return finish(record_); }
    MMRESULT waveInClose(HWAVEIN) override { return finish(record_); }
    MMRESULT waveInGetPosition(HWAVEIN, MMTIME* t, UINT) override { return answer(t); }

    bool holdsABuffer() const { return play_ != nullptr || record_ != nullptr; }

  private:
    MMRESULT prepare(WAVEHDR* w) {
        w->dwFlags.fetch_or(WHDR_PREPARED);
        return in_.ConsumeIntegralInRange(0, 15) == 0 ? in_.PickValueInArray(kCodes) : 0;
    }
    MMRESULT unprepare(WAVEHDR* w) {
        if ((w->dwFlags.load() & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        w->dwFlags.fetch_and(~WHDR_PREPARED);
        return 0;
    }
    MMRESULT queue(WAVEHDR* w, WAVEHDR*& slot) {
        if (in_.ConsumeIntegralInRange(0, 15) == 0) return in_.PickValueInArray(kCodes);
        w->dwFlags.fetch_or(WHDR_INQUEUE);
        w->dwBytesRecorded = 0;
        slot = w;
        return 0;
    }
    MMRESULT finish(WAVEHDR*& slot) {
        if (slot != nullptr) {
            slot->dwFlags.fetch_and(~WHDR_INQUEUE);
            slot->dwFlags.fetch_or(WHDR_DONE);
        }
        slot = nullptr;
        return 0;
    }
    // Every look at a position may also complete a buffer, fully or short.
    MMRESULT answer(MMTIME* t) {
        if (in_.ConsumeIntegralInRange(0, 7) == 0) {
            WAVEHDR*& slot = in_.ConsumeBool() ? play_ : record_;
            if (slot != nullptr && in_.ConsumeBool()) {
                slot->dwBytesRecorded = in_.ConsumeBool() ? slot->dwBufferLength : 0;
                finish(slot);
            }
        }
        if (in_.ConsumeIntegralInRange(0, 31) == 0) return in_.PickValueInArray(kCodes);
        t->sample = in_.ConsumeIntegral<std::int64_t>();
        t->step = in_.ConsumeBool() ? 1 : in_.ConsumeIntegral<std::uint32_t>();
        return 0;
    }

    FuzzedDataProvider& in_;
    WAVEHDR* play_ = nullptr;
    WAVEHDR* record_ = nullptr;
};

struct Poster final : MessagePoster {
    bool PostMessageA(WindowHandle, std::uint32_t, WPARAM, LPARAM) override {
        ++posted;
        return true;
    }
    int posted = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    MeasurementState state;
    AllocationBudget budget;
    allocatePlayMemory(state.device, budget);
    allocateRecordMemory(state.device, budget);
    state.panelInitialised = true;
    state.sampleRate = 8000;
    state.sampleLength = 64;
    state.device.playBytes = 128;
    state.device.recordBytes = 256;
    ScriptedCard card(in);
    ManualClock clock;
    WaveDeviceState devices;
    openPlayDevice(state, devices, card);
    openRecordDevice(state, devices, card);
    Poster poster;
    for (int pass = 0; pass < 3 && in.remaining_bytes() > 0; ++pass) {
        state.lastWaveError = 0;
        const int before = poster.posted;
        const int result = runPass(state, devices, card, clock, poster);
        if (result == kPassDone && poster.posted != before + 1) std::abort();
        if (result != kPassDone && poster.posted != before) std::abort();
        if (result == kPassDeviceFailed && !isDeviceFailure(state.lastWaveError)) std::abort();
        if (result == kPassDeviceFailed && card.holdsABuffer()) std::abort();
        // A done pass took its whole recording.
        if (result == kPassDone &&
            state.device.recordHeader.dwBytesRecorded != state.device.recordBytes)
            std::abort();
    }
    closePlayDevice(state, devices, card);
    closeRecordDevice(state, devices, card);
    freeDeviceMemory(state.device);
    return 0;
}
