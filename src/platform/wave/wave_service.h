#pragma once
// The wave-audio service: one output and one input device, opened without a
// completion callback, that play and fill the buffers handed to them through
// wave headers and raise WHDR_DONE in a header's flags once its buffer has
// been played or filled. Calls, records and result codes keep the names and
// values the program's audio code has always been written against.

#include <cstdint>

#include "state/wave_header.h"

namespace ressona {

using MMRESULT = std::uint32_t;
using UINT = std::uint32_t;
using HWAVEOUT = std::uintptr_t;  // 0 is no device
using HWAVEIN = std::uintptr_t;

// Result codes shared by the wave and mixer services.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;        // unspecified failure
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;  // no such device
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;  // device in use by another process
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;  // no driver (no sound server)
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;     // format not supported
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;  // header still queued
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;    // header not prepared

inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;   // the default device
inline constexpr std::uint32_t CALLBACK_NULL = 0;  // no completion notification
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

struct WAVEFORMATEX {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};

// The header size every header call is given; anything else is refused with
// MMSYSERR_INVALPARAM.
inline constexpr UINT kWaveHeaderSize = sizeof(WAVEHDR);

// Both directions' calls. Common rules of every backend:
// - an open fills *handle with a non-zero handle on success; handles of closed
//   devices are never reused, and every call on a handle that is not open
//   returns MMSYSERR_INVALHANDLE;
// - a header must be prepared before it is written or added (else
//   WAVERR_UNPREPARED); unpreparing a header that was never prepared succeeds;
//   unpreparing one still queued returns WAVERR_STILLPLAYING;
// - the service writes the header's dwFlags (WHDR_PREPARED, WHDR_INQUEUE,
//   WHDR_DONE) and dwBytesRecorded, and the buffer of an input header; it may
//   do so from its own thread, always storing the data before WHDR_DONE;
// - a reset stops the device and marks every queued header done; a close
//   resets first. Buffers must stay valid until their header is done or the
//   device has been reset.
class WaveService {
  public:
    virtual ~WaveService() = default;

    // Output: unsigned 8-bit PCM as described by format (16-bit signed where the
    // backend offers it: ALSA and the simulated card); device WAVE_MAPPER.
    virtual MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                                 std::uintptr_t callback, std::uintptr_t instance,
                                 std::uint32_t flags) = 0;
    virtual MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) = 0;
    // Queues the buffer for playing; playback starts at once.
    virtual MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveOutReset(HWAVEOUT handle) = 0;
    virtual MMRESULT waveOutClose(HWAVEOUT handle) = 0;

    // Input: signed 16-bit PCM as described by format.
    virtual MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                                std::uintptr_t callback, std::uintptr_t instance,
                                std::uint32_t flags) = 0;
    virtual MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    // Queues an empty buffer; buffers fill in the order they were added.
    virtual MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    // Starts recording into the queued buffers.
    virtual MMRESULT waveInStart(HWAVEIN handle) = 0;
    virtual MMRESULT waveInReset(HWAVEIN handle) = 0;
    virtual MMRESULT waveInClose(HWAVEIN handle) = 0;
};

}  // namespace ressona
