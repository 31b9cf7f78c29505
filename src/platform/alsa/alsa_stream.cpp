#include "platform/alsa/alsa_stream.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <string_view>

#include "platform/alsa/alsa_sound_card.h"
#include "platform/alsa/realtime_thread.h"

namespace ressona {

namespace {

// Small periods let the I/O thread see a buffer complete soon after it has;
// the buffer leaves room for the thread being late: half a second, as an
// ordinary thread on a loaded machine can wait over 100 ms to run, and the
// stream would under- or overrun meanwhile, failing a pass on a sound device.
constexpr unsigned kBufferMicros = 500'000;
// A server known only at its deliveries sizes its own buffering by the
// stream's (PulseAudio's target length): it keeps the short buffer.
constexpr unsigned kSteppedBufferMicros = 100'000;
constexpr unsigned kPeriodMicros = 5'000;
// A sound server's plugin (PulseAudio's, PipeWire's) runs the server's
// cycles at about the stream's period, and its client thread must answer
// every cycle in time or a cycle is lost: PipeWire then drops or repeats a
// whole cycle in mid-pass (measured here with MLS passes: with 5 ms
// periods 128 to 512 samples in about half the passes of a quiet machine;
// with 10 ms one in 180, at 22050 and 48000 Hz, quiet and beside a build).
// A server known only at its deliveries also needs the playback to
// reach it within a cycle of its write (see LatencyEstimate), which a
// loaded machine does far more surely in 10 ms than in 5.
constexpr unsigned kServerPeriodMicros = 10'000;
// While playback drains, how often the remaining delay is looked at.
constexpr long kDrainCheckMicros = 500;
constexpr long kIdleCheckMicros = 50'000;
// How often a started capture is looked at until its first samples are in.
constexpr long kStartCheckMicros = 200;
// How long the start-up waits for the stream each time before looking again.
constexpr int kStartUpWaitMillis = 10;
// Capture deliveries a stepped server's start-up watches to learn its cycle.
constexpr int kCyclesWatched = 3;

struct Granted {
    snd_pcm_uframes_t bufferFrames = 0;
    snd_pcm_uframes_t periodFrames = 0;
};

MMRESULT configure(snd_pcm_t* pcm, AlsaStream::Direction direction, unsigned rate,
                   std::uint16_t bits, unsigned channels, unsigned bufferMicros,
                   unsigned periodMicros, Granted& granted) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    const snd_pcm_format_t format = bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, format) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, channels) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) < 0)
        return WAVERR_BADFORMAT;
    int dir = 0;
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferMicros, &dir);
    dir = 0;
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodMicros, &dir);
    if (const int error = snd_pcm_hw_params(pcm, hw); error < 0)
        return error == -EINVAL ? WAVERR_BADFORMAT : waveResultForAlsaOpenError(error);
    // The device must play and record at exactly the rate asked for.
    unsigned grantedRate = 0;
    dir = 0;
    if (snd_pcm_hw_params_get_rate(hw, &grantedRate, &dir) < 0 || grantedRate != rate || dir != 0)
        return WAVERR_BADFORMAT;
    snd_pcm_hw_params_get_buffer_size(hw, &granted.bufferFrames);
    dir = 0;
    snd_pcm_hw_params_get_period_size(hw, &granted.periodFrames, &dir);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_uframes_t boundary = 0;
    if (snd_pcm_sw_params_current(pcm, sw) < 0 || snd_pcm_sw_params_get_boundary(sw, &boundary) < 0)
        return MMSYSERR_ERROR;
    // Playback starts with its first frames; capture only when told to.
    const snd_pcm_uframes_t startThreshold =
        direction == AlsaStream::Direction::kPlayback ? 1 : boundary;
    if (snd_pcm_sw_params_set_start_threshold(pcm, sw, startThreshold) < 0 ||
        snd_pcm_sw_params_set_avail_min(pcm, sw,
                                        std::max<snd_pcm_uframes_t>(granted.periodFrames, 1)) < 0 ||
        snd_pcm_sw_params(pcm, sw) < 0)
        return MMSYSERR_ERROR;
    return MMSYSERR_NOERROR;
}

// PulseAudio's plugin reports a capture delay of zero however far its
// monitor runs ahead (a negative latency, which it clamps) and smooths the
// sink's timing by tens of samples, so between its deliveries the stream's
// position is not known. The plugin names itself first in the PCM's dump.
bool knownOnlyAtDeliveries(snd_pcm_t* pcm) {
    snd_output_t* output = nullptr;
    if (snd_output_buffer_open(&output) < 0) return false;
    snd_pcm_dump(pcm, output);
    char* text = nullptr;
    const std::size_t length = snd_output_buffer_string(output, &text);
    const bool pulse = text != nullptr &&
                       std::string_view(text, length).find("PulseAudio") != std::string_view::npos;
    snd_output_close(output);
    return pulse;
}

long microsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

// What a capture's start-up learnt of a server known only at its deliveries.
struct Deliveries {
    std::uint32_t cycleFrames = 0;  // the smallest whole delivery
    bool latencyReported = false;   // the delay said more was on its way than had arrived
};

// Runs a freshly opened capture until samples arrive, then stops it again.
// For a stepped server it watches a few deliveries: their size, and whether
// the server reports a latency beyond what it has delivered, as a real
// card's input does (a monitor reports none). 0 or an ALSA error.
int startCapture(snd_pcm_t* pcm, bool stepped, snd_pcm_uframes_t periodFrames, unsigned channels,
                 Deliveries& learnt) {
    const snd_pcm_uframes_t scratchFrames = std::max<snd_pcm_uframes_t>(periodFrames, 1) * 8;
    std::vector<std::int16_t> scratch(scratchFrames * channels);
    if (const int error = snd_pcm_start(pcm); error < 0) return error;
    const auto begun = std::chrono::steady_clock::now();
    int deliveries = 0;
    std::int64_t leastBeyond = -1;  // the least delay beyond what had arrived
    int result = -ETIMEDOUT;
    while (microsSince(begun) < AlsaStream::kStartUpMicros) {
        snd_pcm_wait(pcm, kStartUpWaitMillis);
        snd_pcm_sframes_t delay = 0;
        const snd_pcm_sframes_t waiting = snd_pcm_avail(pcm);
        if (waiting > 0 && snd_pcm_delay(pcm, &delay) == 0) {
            const std::int64_t beyond = std::max<std::int64_t>(delay - waiting, 0);
            if (leastBeyond < 0 || beyond < leastBeyond) leastBeyond = beyond;
        }
        snd_pcm_sframes_t delivered = 0;
        for (;;) {
            const snd_pcm_sframes_t got = snd_pcm_readi(pcm, scratch.data(), scratchFrames);
            if (got == -EAGAIN || got == 0) break;
            if (got < 0) {
                snd_pcm_drop(pcm);
                return static_cast<int>(got);
            }
            delivered += got;
        }
        if (delivered <= 0) continue;
        // The first delivery may be a partial cycle; the smallest later one is a whole.
        if (deliveries > 0 &&
            (learnt.cycleFrames == 0 || static_cast<std::uint32_t>(delivered) < learnt.cycleFrames))
            learnt.cycleFrames = static_cast<std::uint32_t>(delivered);
        if (!stepped || ++deliveries > kCyclesWatched) {
            result = 0;
            break;
        }
    }
    snd_pcm_drop(pcm);
    snd_pcm_prepare(pcm);
    if (!stepped) {
        learnt = Deliveries{};
    } else {
        if (learnt.cycleFrames == 0) learnt.cycleFrames = static_cast<std::uint32_t>(periodFrames);
        learnt.latencyReported = leastBeyond > static_cast<std::int64_t>(learnt.cycleFrames / 2);
    }
    return result;
}

// Plays a period of silence into a freshly opened playback until the
// device has taken all of it, then stops it again. 0 or an ALSA error.
int startPlayback(snd_pcm_t* pcm, const Granted& granted, std::uint16_t bits) {
    const snd_pcm_uframes_t frames = std::max<snd_pcm_uframes_t>(granted.periodFrames, 1);
    // Rest level: 128 for unsigned 8-bit codes, 0 for signed 16-bit samples.
    const std::vector<std::uint8_t> silence(frames * (bits / 8u), bits == 8 ? 128 : 0);
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm, silence.data(), frames);
    if (written < 0) return static_cast<int>(written);
    const auto begun = std::chrono::steady_clock::now();
    int result = -ETIMEDOUT;
    while (microsSince(begun) < AlsaStream::kStartUpMicros) {
        const snd_pcm_sframes_t avail = snd_pcm_avail(pcm);
        if (avail == -EPIPE || snd_pcm_state(pcm) == SND_PCM_STATE_XRUN ||
            (avail >= 0 && static_cast<snd_pcm_uframes_t>(avail) >= granted.bufferFrames)) {
            result = 0;
            break;
        }
        if (avail < 0) {
            result = static_cast<int>(avail);
            break;
        }
        snd_pcm_wait(pcm, kStartUpWaitMillis);
    }
    snd_pcm_drop(pcm);
    snd_pcm_prepare(pcm);
    return result;
}

}  // namespace

MMRESULT AlsaStream::open(const std::string& pcmName, Direction direction,
                          const WAVEFORMATEX& format, std::unique_ptr<AlsaStream>& stream) {
    snd_pcm_t* pcm = nullptr;
    const snd_pcm_stream_t which =
        direction == Direction::kPlayback ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
    if (const int error = snd_pcm_open(&pcm, pcmName.c_str(), which, SND_PCM_NONBLOCK); error < 0)
        return waveResultForAlsaOpenError(error);
    // Both directions of such a server get the long period: the sink's cycle
    // follows the shortest its streams ask for.
    const bool steppedServer = knownOnlyAtDeliveries(pcm);
    const bool stepped = direction == Direction::kCapture && steppedServer;
    const bool server = steppedServer || snd_pcm_type(pcm) == SND_PCM_TYPE_IOPLUG;
    Granted granted;
    if (const MMRESULT result =
            configure(pcm, direction, format.nSamplesPerSec, format.wBitsPerSample,
                      format.nChannels, steppedServer ? kSteppedBufferMicros : kBufferMicros,
                      server ? kServerPeriodMicros : kPeriodMicros, granted)) {
        snd_pcm_close(pcm);
        return result;
    }
    Deliveries learnt;
    const int started =
        direction == Direction::kPlayback
            ? startPlayback(pcm, granted, format.wBitsPerSample)
            : startCapture(pcm, stepped, granted.periodFrames, format.nChannels, learnt);
    if (started < 0) {
        snd_pcm_close(pcm);
        // A stream that never moves cannot measure anything.
        return started == -ETIMEDOUT ? MMSYSERR_ERROR : waveResultForAlsaOpenError(started);
    }
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        snd_pcm_close(pcm);
        return MMSYSERR_NOMEM;
    }
    // A server that reports its input's latency is known between deliveries after all.
    stream = std::make_unique<AlsaStream>(Key(), pcm, direction, format.nSamplesPerSec, wakeFd,
                                          format.nChannels * format.wBitsPerSample / 8u,
                                          learnt.latencyReported ? 0 : learnt.cycleFrames);
    stream->thread_ = std::thread([s = stream.get()] { s->run(); });
    return MMSYSERR_NOERROR;
}

AlsaStream::AlsaStream(Key, snd_pcm_t* pcm, Direction direction, unsigned rate, int wakeFd,
                       std::size_t frameBytes, std::uint32_t cycleFrames)
    : pcm_(pcm),
      direction_(direction),
      rate_(rate),
      wakeFd_(wakeFd),
      frameBytes_(frameBytes),
      cycleFrames_(cycleFrames) {}

AlsaStream::~AlsaStream() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake();
    if (thread_.joinable()) thread_.join();
    finishAll();
    // A PCM given up may still be inside the call that never came back.
    if (!givenUp_) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }
    ::close(wakeFd_);
}

ThreadScheduling AlsaStream::scheduling() {
    std::lock_guard lock(mutex_);
    return scheduling_;
}

void AlsaStream::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

MMRESULT AlsaStream::queue(WAVEHDR* header) {
    {
        std::lock_guard lock(mutex_);
        if (failure_ != MMSYSERR_NOERROR) return failure_;
        queue_.push_back({header, 0});
        // Playback starts at once: the first frames go out before the call returns.
        bool unused = false;
        if (direction_ == Direction::kPlayback) transferPlayback(unused);
    }
    wake();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaStream::start() {
    {
        std::lock_guard lock(mutex_);
        if (failure_ != MMSYSERR_NOERROR) return failure_;
        if (started_) return MMSYSERR_NOERROR;
        if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED) recover(false);
        if (failure_ != MMSYSERR_NOERROR) return failure_;
        framesRead_ = 0;
        if (const int error = snd_pcm_start(pcm_); error < 0) {
            fail(error);
            return failure_;
        }
        started_ = true;
    }
    wake();
    // A server starts a stream at its next cycle: return once the first
    // samples are in, so that what is played next cannot begin before the
    // recording does.
    const auto begun = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (failure_ != MMSYSERR_NOERROR) return failure_;
            if (framesRead_ > 0 || snd_pcm_avail_update(pcm_) > 0) return MMSYSERR_NOERROR;
            if (microsSince(begun) > kStartUpMicros) {
                fail(-ETIMEDOUT);
                return failure_;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(kStartCheckMicros));
    }
}

void AlsaStream::reset() {
    {
        std::lock_guard lock(mutex_);
        if (failure_ == MMSYSERR_NOERROR) {
            snd_pcm_drop(pcm_);
            recover(false);
        }
        started_ = false;
        finishAll();
        framesWritten_ = 0;
    }
    wake();
}

MMRESULT AlsaStream::position(MMTIME& time) {
    std::lock_guard lock(mutex_);
    if (failure_ != MMSYSERR_NOERROR) return failure_;
    snd_pcm_status_t* status = nullptr;
    snd_pcm_status_alloca(&status);
    if (const int error = snd_pcm_status(pcm_, status); error < 0) {
        fail(error);
        return failure_;
    }
    const snd_pcm_state_t state = snd_pcm_status_get_state(status);
    if (state == SND_PCM_STATE_DISCONNECTED) {
        fail(-ENODEV);
        return failure_;
    }
    const bool running = state == SND_PCM_STATE_RUNNING || state == SND_PCM_STATE_DRAINING;
    const auto delay = static_cast<std::int64_t>(snd_pcm_status_get_delay(status));
    const auto avail = static_cast<std::int64_t>(snd_pcm_status_get_avail(status));
    time.step = 1;
    if (direction_ == Direction::kPlayback) {
        // What has really been played: everything written but what is still on its way.
        const auto written = static_cast<std::int64_t>(framesWritten_);
        time.sample = running ? written - delay : written;
    } else if (!started_) {
        time.sample = 0;
    } else if (cycleFrames_ != 0) {
        // Known at deliveries only: what has arrived, read or waiting.
        time.sample = static_cast<std::int64_t>(framesRead_) + std::max<std::int64_t>(avail, 0);
        time.step = cycleFrames_;
    } else {
        // What the converter has taken: read, or on its way to being read.
        time.sample = static_cast<std::int64_t>(framesRead_) + (running ? delay : avail);
    }
    return MMSYSERR_NOERROR;
}

void AlsaStream::fail(int error) {
    if (failure_ != MMSYSERR_NOERROR) return;
    // An under- or overrun the stream cannot get over is a server or card
    // that has gone; one it can is still a broken pass.
    int cause = error;
    if (error == -EPIPE) {
        const int prepared = recover(false);
        if (prepared < 0) cause = prepared;
    }
    failure_ = waveResultForAlsaRunError(cause);
    if (!givenUp_) snd_pcm_drop(pcm_);
    started_ = false;
    finishAll();
}

int AlsaStream::recover(bool andStart) {
    if (givenUp_) return -ENODEV;
    // Shared with the call, which may outlive this one.
    auto result = std::make_shared<std::atomic<int>>(-ENODEV);
    snd_pcm_t* pcm = pcm_;
    const bool finished = recoveries_.run([pcm, andStart, result] {
        int error = snd_pcm_prepare(pcm);
        if (error == 0 && andStart) error = snd_pcm_start(pcm);
        result->store(error);
    });
    if (!finished) {
        givenUp_ = true;
        fail(-ENODEV);  // the server is as good as gone
        return -ENODEV;
    }
    return result->load();
}

void AlsaStream::finish(Entry& entry, std::uint32_t bytesRecorded) {
    entry.header->dwBytesRecorded = bytesRecorded;
    entry.header->dwFlags.fetch_and(~WHDR_INQUEUE);
    entry.header->dwFlags.fetch_or(WHDR_DONE);  // after the data: the program may read it now
}

// Every queued header done, with what was recorded into the front one so far.
void AlsaStream::finishAll() {
    bool front = true;
    for (Entry& entry : queue_) {
        const bool partial = direction_ == Direction::kCapture && front;
        finish(entry, partial ? static_cast<std::uint32_t>(offsetFrames_ * frameBytes_) : 0);
        front = false;
    }
    queue_.clear();
    writeIndex_ = 0;
    offsetFrames_ = 0;
}

void AlsaStream::run() {
    const ThreadScheduling granted = askForRealtime();
    {
        std::lock_guard lock(mutex_);
        scheduling_ = granted;
    }
    for (;;) {
        long micros = -1;
        bool withPcm = false;
        {
            std::lock_guard lock(mutex_);
            if (quit_) return;
            // A failed stream is left alone: its descriptors may stay ready for good.
            if (failure_ == MMSYSERR_NOERROR)
                micros = direction_ == Direction::kPlayback ? transferPlayback(withPcm)
                                                            : transferCapture(withPcm);
        }
        wait(micros, withPcm);
    }
}

long AlsaStream::transferPlayback(bool& waitForPcm) {
    if (failure_ != MMSYSERR_NOERROR) return -1;
    // One restart per call: a stream that runs dry again before a sample
    // went in is broken (a killed server's plugin may go on saying yes to
    // every restart), and restarting it for ever would hold the lock for ever.
    bool restarted = false;
    // Write whatever fits of the entries not yet written.
    while (writeIndex_ < queue_.size()) {
        WAVEHDR* header = queue_[writeIndex_].header;
        const std::uint64_t frames = header->dwBufferLength / frameBytes_;
        const snd_pcm_sframes_t written = snd_pcm_writei(
            pcm_, header->lpData + offsetFrames_ * frameBytes_, frames - offsetFrames_);
        if (written == -EAGAIN) break;
        if (written == -EPIPE && writeIndex_ == 0 && offsetFrames_ == 0 && !restarted) {
            // The stream ran dry after the buffers before, which is how
            // playback ends; this buffer starts it again.
            restarted = true;
            if (recover(false) == 0) continue;
        }
        if (written < 0) {
            // Run dry, or gone, in the middle of a buffer.
            fail(static_cast<int>(written));
            return -1;
        }
        restarted = false;
        offsetFrames_ += static_cast<std::uint64_t>(written);
        framesWritten_ += static_cast<std::uint64_t>(written);
        if (offsetFrames_ == frames) {
            queue_[writeIndex_].endFrame = framesWritten_;
            ++writeIndex_;
            offsetFrames_ = 0;
        }
    }
    // What has really been played: everything written but what is still on its way.
    snd_pcm_sframes_t delay = 0;
    const snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state == SND_PCM_STATE_DISCONNECTED || state == SND_PCM_STATE_SUSPENDED) {
        fail(state == SND_PCM_STATE_DISCONNECTED ? -ENODEV : -ESTRPIPE);
        return -1;
    }
    std::uint64_t played = framesWritten_;
    if (state == SND_PCM_STATE_RUNNING && snd_pcm_delay(pcm_, &delay) == 0 && delay > 0)
        played = framesWritten_ -
                 std::min<std::uint64_t>(framesWritten_, static_cast<std::uint64_t>(delay));
    while (writeIndex_ > 0 && queue_.front().endFrame <= played) {
        finish(queue_.front(), 0);
        queue_.pop_front();
        --writeIndex_;
    }
    if (queue_.empty()) {
        if (state == SND_PCM_STATE_XRUN) recover(false);
        return -1;
    }
    if (writeIndex_ < queue_.size()) {
        waitForPcm = true;
        return kIdleCheckMicros;
    }
    // All written: look again when the rest should have been played.
    const long remaining =
        static_cast<long>((queue_.front().endFrame - played) * 1'000'000 / rate_);
    return std::clamp(remaining, kDrainCheckMicros / 5, kDrainCheckMicros);
}

long AlsaStream::transferCapture(bool& waitForPcm) {
    if (!started_ || failure_ != MMSYSERR_NOERROR) return -1;
    bool restarted = false;  // as in transferPlayback: once until samples arrive
    for (;;) {
        std::uint8_t* destination = nullptr;
        std::uint64_t frames = 0;
        if (!queue_.empty()) {
            WAVEHDR* header = queue_.front().header;
            frames = header->dwBufferLength / frameBytes_ - offsetFrames_;
            destination = header->lpData + offsetFrames_ * frameBytes_;
        } else {
            // Nothing to fill: what arrives now is lost, as on any card.
            discard_.resize(rate_ / 10 * frameBytes_ + frameBytes_);
            frames = discard_.size() / frameBytes_;
            destination = discard_.data();
        }
        const snd_pcm_sframes_t read = snd_pcm_readi(pcm_, destination, frames);
        if (read == -EAGAIN || read == 0) break;
        if (read == -EPIPE && queue_.empty() && !restarted) {
            // Overrun while nothing was being recorded: nothing is lost.
            restarted = true;
            if (recover(true) == 0) continue;
        }
        if (read < 0) {
            fail(static_cast<int>(read));
            return -1;
        }
        restarted = false;
        framesRead_ += static_cast<std::uint64_t>(read);
        if (queue_.empty()) continue;
        offsetFrames_ += static_cast<std::uint64_t>(read);
        WAVEHDR* header = queue_.front().header;
        if (offsetFrames_ * frameBytes_ >= header->dwBufferLength) {
            finish(queue_.front(), header->dwBufferLength);
            queue_.pop_front();
            offsetFrames_ = 0;
        }
    }
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_DISCONNECTED) {
        fail(-ENODEV);
        return -1;
    }
    waitForPcm = true;
    return kIdleCheckMicros;
}

// Sleeps until the PCM (when asked) or a command wakes the thread, or the time is up.
void AlsaStream::wait(long micros, bool withPcm) {
    pollfd fds[8];
    fds[0] = {wakeFd_, POLLIN, 0};
    int count = 1;
    if (withPcm) {
        std::lock_guard lock(mutex_);
        const int pcmCount = snd_pcm_poll_descriptors_count(pcm_);
        if (pcmCount > 0 && pcmCount < 8)
            count += snd_pcm_poll_descriptors(pcm_, fds + 1, static_cast<unsigned>(pcmCount));
    }
    timespec timeout{micros / 1'000'000, (micros % 1'000'000) * 1000};
    ppoll(fds, static_cast<nfds_t>(count), micros < 0 ? nullptr : &timeout, nullptr);
    if (fds[0].revents != 0) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &value, sizeof value);
    }
    if (count > 1) {
        // The plugin's descriptors must be acknowledged through it.
        std::lock_guard lock(mutex_);
        unsigned short revents = 0;
        snd_pcm_poll_descriptors_revents(pcm_, fds + 1, static_cast<unsigned>(count - 1), &revents);
    }
}

}  // namespace ressona
