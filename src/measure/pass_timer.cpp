#include "measure/pass_timer.h"

namespace ressona {

using WallClock = std::chrono::steady_clock;

MMRESULT PassTimer::waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                                std::uintptr_t callback, std::uintptr_t instance,
                                std::uint32_t flags) {
    return wave_.waveOutOpen(handle, deviceId, format, callback, instance, flags);
}

MMRESULT PassTimer::waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return wave_.waveOutPrepareHeader(handle, header, size);
}

MMRESULT PassTimer::waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return wave_.waveOutUnprepareHeader(handle, header, size);
}

MMRESULT PassTimer::waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return wave_.waveOutWrite(handle, header, size);
}

MMRESULT PassTimer::waveOutReset(HWAVEOUT handle) {
    return wave_.waveOutReset(handle);
}

MMRESULT PassTimer::waveOutClose(HWAVEOUT handle) {
    return wave_.waveOutClose(handle);
}

MMRESULT PassTimer::waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) {
    return wave_.waveOutGetPosition(handle, time, size);
}

MMRESULT PassTimer::waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                               std::uintptr_t callback, std::uintptr_t instance,
                               std::uint32_t flags) {
    return wave_.waveInOpen(handle, deviceId, format, callback, instance, flags);
}

MMRESULT PassTimer::waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return wave_.waveInPrepareHeader(handle, header, size);
}

MMRESULT PassTimer::waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    candidate_ = WallClock::now();
    return wave_.waveInUnprepareHeader(handle, header, size);
}

MMRESULT PassTimer::waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return wave_.waveInAddBuffer(handle, header, size);
}

MMRESULT PassTimer::waveInStart(HWAVEIN handle) {
    if (candidate_) recording_ = candidate_;
    candidate_.reset();
    return wave_.waveInStart(handle);
}

MMRESULT PassTimer::waveInReset(HWAVEIN handle) {
    const MMRESULT result = wave_.waveInReset(handle);
    if (recording_) passes_.push_back({*recording_, WallClock::now()});
    recording_.reset();
    candidate_.reset();
    return result;
}

MMRESULT PassTimer::waveInClose(HWAVEIN handle) {
    recording_.reset();
    candidate_.reset();
    return wave_.waveInClose(handle);
}

MMRESULT PassTimer::waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) {
    return wave_.waveInGetPosition(handle, time, size);
}

}  // namespace ressona
