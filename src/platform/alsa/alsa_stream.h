#pragma once
// One open ALSA PCM stream (playback or capture) and the I/O thread that
// feeds it from, or fills, the wave headers queued on it. Private to the
// ALSA backend.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wave/wave_service.h"

typedef struct _snd_pcm snd_pcm_t;

namespace ressona {

class AlsaStream {
    struct Key {  // only open() constructs a stream
        explicit Key() = default;
    };

  public:
    enum class Direction { kPlayback, kCapture };

    // Opens `pcmName` for the direction in the format (8-bit or 16-bit
    // playback, 16-bit capture, mono, the exact rate) and starts the I/O thread.
    static MMRESULT open(const std::string& pcmName, Direction direction,
                         const WAVEFORMATEX& format, std::unique_ptr<AlsaStream>& stream);
    AlsaStream(Key, snd_pcm_t* pcm, Direction direction, unsigned rate, int wakeFd,
               std::size_t frameBytes);
    ~AlsaStream();
    AlsaStream(const AlsaStream&) = delete;
    AlsaStream& operator=(const AlsaStream&) = delete;

    // Appends a prepared header: playback plays it after those before it,
    // capture fills it after those before it.
    void queue(WAVEHDR* header);
    // Capture: starts recording into the queued headers.
    void start();
    // Stops the stream at once and marks every queued header done.
    void reset();

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
    void finish(Entry& entry, std::uint32_t bytesRecorded);
    void finishAll();
    void wait(long micros, bool withPcm);
    void wake();

    snd_pcm_t* pcm_;
    const Direction direction_;
    const unsigned rate_;
    const int wakeFd_;
    const std::size_t frameBytes_;

    std::mutex mutex_;  // guards everything below and every call on pcm_
    std::deque<Entry> queue_;
    std::size_t writeIndex_ = 0;      // playback: the entry being written
    std::uint64_t offsetFrames_ = 0;  // frames of that entry (capture: of the front) transferred
    std::uint64_t framesWritten_ = 0;
    bool started_ = false;  // capture: recording
    bool quit_ = false;
    std::vector<std::uint8_t> discard_;  // capture with no buffer queued

    std::thread thread_;
};

}  // namespace ressona
