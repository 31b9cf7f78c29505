#pragma once
// Wall-clock timing of the passes, taken from outside the program: a wave
// service that forwards every call to the real one and notes when each pass
// begins and ends. A pass begins with its first wave call (unpreparing the
// record header left by the previous pass) and ends when its record device's
// reset returns, just before it posts its completion. Closing the record
// device also unprepares and resets, but starts no recording, so it is not
// taken for a pass.

#include <chrono>
#include <optional>
#include <vector>

#include "platform/wave/wave_service.h"

namespace ressona {

struct PassInterval {
    std::chrono::steady_clock::time_point begin;
    std::chrono::steady_clock::time_point end;
};

class PassTimer final : public WaveService {
  public:
    explicit PassTimer(WaveService& wave) : wave_(wave) {}

    // Every pass that started recording and was reset afterwards, oldest first.
    const std::vector<PassInterval>& passes() const { return passes_; }

    MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                         std::uintptr_t callback, std::uintptr_t instance,
                         std::uint32_t flags) override;
    MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutReset(HWAVEOUT handle) override;
    MMRESULT waveOutClose(HWAVEOUT handle) override;
    MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) override;

    MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                        std::uintptr_t callback, std::uintptr_t instance,
                        std::uint32_t flags) override;
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInStart(HWAVEIN handle) override;
    MMRESULT waveInReset(HWAVEIN handle) override;
    MMRESULT waveInClose(HWAVEIN handle) override;
    MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) override;

  private:
    WaveService& wave_;
    std::optional<std::chrono::steady_clock::time_point> candidate_;  // a pass may begin here
    std::optional<std::chrono::steady_clock::time_point> recording_;  // the running pass's begin
    std::vector<PassInterval> passes_;
};

}  // namespace ressona
