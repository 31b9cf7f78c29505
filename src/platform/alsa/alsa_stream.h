#pragma once
// One open ALSA PCM stream (playback or capture) and the I/O thread that
// feeds it from, or fills, the wave headers queued on it. Private to the
// ALSA backend.
//
// The open waits until the stream really moves (a sound server links a new
// stream a few milliseconds after it connects), so that the first pass
// finds it running. Positions come from the stream's own clock: the frames
// transferred and the delay ALSA reports for them. A stream that breaks (an
// under- or overrun in the middle of a buffer, the server or the card gone)
// fails for good: its headers end at once and every later call but reset
// reports the failure.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/alsa/server_call_guard.h"
#include "platform/wave/thread_scheduling.h"
#include "platform/wave/wave_service.h"

typedef struct _snd_pcm snd_pcm_t;

namespace ressona {

class AlsaStream {
    struct Key {  // only open() constructs a stream
        explicit Key() = default;
    };

  public:
    enum class Direction { kPlayback, kCapture };

    // How long an open waits for a new stream to move before it gives up.
    static constexpr long kStartUpMicros = 2'000'000;

    // Opens `pcmName` for the direction in the format (8-bit or 16-bit
    // playback, 16-bit capture, mono, the exact rate), runs it until it
    // moves, and starts the I/O thread.
    static MMRESULT open(const std::string& pcmName, Direction direction,
                         const WAVEFORMATEX& format, std::unique_ptr<AlsaStream>& stream);
    AlsaStream(Key, snd_pcm_t* pcm, Direction direction, unsigned rate, int wakeFd,
               std::size_t frameBytes, std::uint32_t cycleFrames);
    ~AlsaStream();
    AlsaStream(const AlsaStream&) = delete;
    AlsaStream& operator=(const AlsaStream&) = delete;

    // Appends a prepared header: playback plays it after those before it,
    // capture fills it after those before it. The stream's failure, if any.
    MMRESULT queue(WAVEHDR* header);
    // Capture: starts recording into the queued headers and returns once the
    // first samples are in (failing the stream when none come within
    // kStartUpMicros).
    MMRESULT start();
    // Stops the stream at once and marks every queued header done.
    void reset();
    // The converter's position now (see MMTIME), or the stream's failure.
    MMRESULT position(MMTIME& time);
    // How the I/O thread is scheduled (not asked until it has started).
    ThreadScheduling scheduling();

  private:
    struct Entry {
        WAVEHDR* header = nullptr;
        std::uint64_t endFrame = 0;  // playback: stream frame after its last one
    };

    void run();
    // One round of transfers; returns how long to wait before the next, in
    // microseconds (-1: until woken), and whether the PCM's own events count.
    long transferPlayback(bool& waitForPcm);
    long transferCapture(bool& waitForPcm);
    // The stream broke with ALSA error `error`: names the failure, ends every header.
    void fail(int error);
    void finish(Entry& entry, std::uint32_t bytesRecorded);
    void finishAll();
    // snd_pcm_prepare (and snd_pcm_start when `andStart`) for a stream that
    // has been running: with its server gone, PipeWire's plugin can stay in
    // the call for good. It runs on the guard's thread and is waited for a
    // bounded time; one that overruns gives the PCM up (no call reaches it
    // again, not even the close) and returns -ENODEV.
    int recover(bool andStart);
    void wait(long micros, bool withPcm);
    void wake();

    snd_pcm_t* pcm_;
    const Direction direction_;
    const unsigned rate_;
    const int wakeFd_;
    const std::size_t frameBytes_;
    // A server that hands capture over in cycles of about this many frames
    // and says nothing of the time between them; 0 for a clock known at any
    // moment.
    std::uint32_t cycleFrames_;

    std::mutex mutex_;  // guards everything below and every call on pcm_
    std::deque<Entry> queue_;
    std::size_t writeIndex_ = 0;       // playback: the entry being written
    std::uint64_t offsetFrames_ = 0;   // frames of that entry (capture: of the front) transferred
    std::uint64_t framesWritten_ = 0;  // playback: since the open or last reset
    std::uint64_t framesRead_ = 0;     // capture: since the start
    bool started_ = false;             // capture: recording
    bool quit_ = false;
    MMRESULT failure_ = MMSYSERR_NOERROR;
    bool givenUp_ = false;               // a recovery never came back: pcm_ is left alone
    std::vector<std::uint8_t> discard_;  // capture with no buffer queued
    ThreadScheduling scheduling_;        // what the I/O thread was granted

    ServerCallGuard recoveries_;  // runs recover()'s calls
    std::thread thread_;
};

}  // namespace ressona
