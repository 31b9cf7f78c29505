#include "platform/alsa/alsa_stream.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/alsa/alsa_sound_card.h"

namespace ressona {

namespace {

// Small periods let the I/O thread see a buffer complete soon after it has;
// the buffer leaves room for the thread being late.
constexpr unsigned kBufferMicros = 100'000;
constexpr unsigned kPeriodMicros = 5'000;
// While playback drains, how often the remaining delay is looked at.
constexpr long kDrainCheckMicros = 500;
constexpr long kIdleCheckMicros = 50'000;

MMRESULT configure(snd_pcm_t* pcm, AlsaStream::Direction direction, unsigned rate,
                   std::uint16_t bits) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    const snd_pcm_format_t format = bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, format) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, 1) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) < 0)
        return WAVERR_BADFORMAT;
    unsigned bufferMicros = kBufferMicros;
    unsigned periodMicros = kPeriodMicros;
    int dir = 0;
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferMicros, &dir);
    dir = 0;
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodMicros, &dir);
    if (const int error = snd_pcm_hw_params(pcm, hw); error < 0)
        return error == -EINVAL ? WAVERR_BADFORMAT : waveResultForAlsaOpenError(error);
    // The device must play and record at exactly the rate asked for.
    unsigned granted = 0;
    dir = 0;
    if (snd_pcm_hw_params_get_rate(hw, &granted, &dir) < 0 || granted != rate || dir != 0)
        return WAVERR_BADFORMAT;
    snd_pcm_uframes_t bufferFrames = 0;
    snd_pcm_uframes_t periodFrames = 0;
    snd_pcm_hw_params_get_buffer_size(hw, &bufferFrames);
    dir = 0;
    snd_pcm_hw_params_get_period_size(hw, &periodFrames, &dir);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_uframes_t boundary = 0;
    if (snd_pcm_sw_params_current(pcm, sw) < 0 || snd_pcm_sw_params_get_boundary(sw, &boundary) < 0)
        return MMSYSERR_ERROR;
    // Playback starts with its first frames; capture only when told to.
    const snd_pcm_uframes_t startThreshold =
        direction == AlsaStream::Direction::kPlayback ? 1 : boundary;
    if (snd_pcm_sw_params_set_start_threshold(pcm, sw, startThreshold) < 0 ||
        snd_pcm_sw_params_set_avail_min(pcm, sw, std::max<snd_pcm_uframes_t>(periodFrames, 1)) <
            0 ||
        snd_pcm_sw_params(pcm, sw) < 0)
        return MMSYSERR_ERROR;
    return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT AlsaStream::open(const std::string& pcmName, Direction direction,
                          const WAVEFORMATEX& format, std::unique_ptr<AlsaStream>& stream) {
    snd_pcm_t* pcm = nullptr;
    const snd_pcm_stream_t which =
        direction == Direction::kPlayback ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
    if (const int error = snd_pcm_open(&pcm, pcmName.c_str(), which, SND_PCM_NONBLOCK); error < 0)
        return waveResultForAlsaOpenError(error);
    if (const MMRESULT result =
            configure(pcm, direction, format.nSamplesPerSec, format.wBitsPerSample)) {
        snd_pcm_close(pcm);
        return result;
    }
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        snd_pcm_close(pcm);
        return MMSYSERR_NOMEM;
    }
    stream = std::make_unique<AlsaStream>(Key(), pcm, direction, format.nSamplesPerSec, wakeFd,
                                          format.wBitsPerSample / 8u);
    stream->thread_ = std::thread([s = stream.get()] { s->run(); });
    return MMSYSERR_NOERROR;
}

AlsaStream::AlsaStream(Key, snd_pcm_t* pcm, Direction direction, unsigned rate, int wakeFd,
                       std::size_t frameBytes)
    : pcm_(pcm), direction_(direction), rate_(rate), wakeFd_(wakeFd), frameBytes_(frameBytes) {}

AlsaStream::~AlsaStream() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake();
    if (thread_.joinable()) thread_.join();
    snd_pcm_drop(pcm_);
    finishAll();
    snd_pcm_close(pcm_);
    ::close(wakeFd_);
}

void AlsaStream::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void AlsaStream::queue(WAVEHDR* header) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({header, 0});
        // Playback starts at once: the first frames go out before the call returns.
        bool unused = false;
        if (direction_ == Direction::kPlayback) transferPlayback(unused);
    }
    wake();
}

void AlsaStream::start() {
    {
        std::lock_guard lock(mutex_);
        if (!started_) {
            if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED) snd_pcm_prepare(pcm_);
            snd_pcm_start(pcm_);
            started_ = true;
        }
    }
    wake();
}

void AlsaStream::reset() {
    {
        std::lock_guard lock(mutex_);
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        started_ = false;
        finishAll();
    }
    wake();
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
    framesWritten_ = 0;
}

void AlsaStream::run() {
    for (;;) {
        long micros = -1;
        bool withPcm = false;
        {
            std::lock_guard lock(mutex_);
            if (quit_) return;
            micros = direction_ == Direction::kPlayback ? transferPlayback(withPcm)
                                                        : transferCapture(withPcm);
        }
        wait(micros, withPcm);
    }
}

long AlsaStream::transferPlayback(bool& waitForPcm) {
    // Write whatever fits of the entries not yet written.
    while (writeIndex_ < queue_.size()) {
        WAVEHDR* header = queue_[writeIndex_].header;
        const std::uint64_t frames = header->dwBufferLength / frameBytes_;
        const snd_pcm_sframes_t written = snd_pcm_writei(
            pcm_, header->lpData + offsetFrames_ * frameBytes_, frames - offsetFrames_);
        if (written == -EAGAIN) break;
        if (written < 0) {
            // An underrun between buffers (or a suspend): start the stream again.
            if (snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) {
                finishAll();
                return -1;
            }
            continue;
        }
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
        if (state == SND_PCM_STATE_XRUN) snd_pcm_prepare(pcm_);
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
    if (!started_) return -1;
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
        if (read < 0) {
            if (snd_pcm_recover(pcm_, static_cast<int>(read), 1) < 0) {
                finishAll();
                started_ = false;
                return -1;
            }
            snd_pcm_start(pcm_);
            continue;
        }
        if (queue_.empty()) continue;
        offsetFrames_ += static_cast<std::uint64_t>(read);
        WAVEHDR* header = queue_.front().header;
        if (offsetFrames_ * frameBytes_ >= header->dwBufferLength) {
            finish(queue_.front(), header->dwBufferLength);
            queue_.pop_front();
            offsetFrames_ = 0;
        }
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
