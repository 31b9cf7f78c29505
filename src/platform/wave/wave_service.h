#pragma once
// The wave-audio service: one output and one input device, opened without a
// completion callback, that play and fill the buffers handed to them through
// wave headers and raise WHDR_DONE in a header's flags once its buffer has
// been played or filled. Calls, records and result codes keep the names and
// values the program's audio code has always been written against.

#include <cstdint>

#include "platform/wave/thread_scheduling.h"
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

// A device that stopped working while open (a stream broken off by its sound
// server, an under- or overrun in the middle of a buffer); the device must be
// closed. Devices that have gone away report MMSYSERR_NODRIVER (the sound
// server) or MMSYSERR_BADDEVICEID (the card) instead.
inline constexpr MMRESULT WAVERR_DEVICEFAILED = 35;

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

inline constexpr UINT TIME_SAMPLES = 2;  // the only time format the devices give

// A device's position: where its converter is at the moment of the call, in
// samples. Input: samples recorded since waveInStart (the first sample of the
// first queued buffer is 0). Output: samples of written buffers played since
// the open or the last reset. The position may lie below the played samples'
// count while the first of them are still on their way (it is then negative
// right after the first write), and moves on while the device runs.
// `step`: how the position moves. 1 for a device whose position is known at
// any moment (a card's own clock, or a server that says where its cycle is);
// larger for a sound server that hands samples over in cycles of about that
// many samples and says nothing about the time in between: its input
// position then moves only when a cycle's samples arrive.
struct MMTIME {
    UINT wType = TIME_SAMPLES;
    std::int64_t sample = 0;
    std::uint32_t step = 1;
};
inline constexpr UINT kMmTimeSize = sizeof(MMTIME);

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
//   device has been reset;
// - a device that fails while open (its stream broken off, an under- or
//   overrun in the middle of a buffer, the card or the server gone) marks its
//   queued headers done and answers every later call but unprepare, reset and
//   close with the failure (WAVERR_DEVICEFAILED, MMSYSERR_NODRIVER or
//   MMSYSERR_BADDEVICEID), until it is closed.
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
    // The output's position (wType TIME_SAMPLES; size kMmTimeSize). A device
    // that has failed returns its failure here and from every later call but
    // unprepare, reset and close.
    virtual MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) = 0;

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
    // The input's position, as waveOutGetPosition.
    virtual MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) = 0;

    // How the threads that waited on the devices were scheduled, the least
    // favoured of them since the service was made; not asked where no thread
    // waits on a device (the simulated card keeps its time in the caller's).
    virtual ThreadScheduling deviceThreadScheduling() { return {}; }
};

}  // namespace ressona
