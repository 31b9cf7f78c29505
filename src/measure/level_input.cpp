#include "measure/level_input.h"

#include <algorithm>
#include <array>
#include <vector>

namespace ressona {

namespace {

constexpr std::size_t kBuffers = 4;
constexpr double kBufferSeconds = 0.05;
constexpr std::chrono::microseconds kPollPause{2000};
constexpr double kLongestWaitSeconds = 3.0;  // for one buffer, before the input counts as stalled
constexpr double kFullScale = 32768.0;

std::string resultText(const char* call, MMRESULT result) {
    return std::string("the input failed: ") + call + " returned " + std::to_string(result);
}

// The input's open device and its ring of buffers; closed on leaving.
class InputRing {
  public:
    InputRing(WaveService& wave, std::uint32_t rate) : wave_(wave) {
        WAVEFORMATEX format;
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 1;
        format.nSamplesPerSec = rate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 2;
        format.nAvgBytesPerSec = rate * 2;
        const auto length = static_cast<std::size_t>(kBufferSeconds * rate);
        if (MMRESULT r = wave_.waveInOpen(&handle_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
            r != MMSYSERR_NOERROR || handle_ == 0) {
            failure_ = resultText("waveInOpen", r);
            handle_ = 0;
            return;
        }
        for (std::size_t i = 0; i < kBuffers; ++i) {
            data_[i].assign(length, 0);
            headers_[i].lpData = reinterpret_cast<std::uint8_t*>(data_[i].data());
            headers_[i].dwBufferLength = static_cast<std::uint32_t>(length * 2);
            if (MMRESULT r = wave_.waveInPrepareHeader(handle_, &headers_[i], kWaveHeaderSize);
                r != MMSYSERR_NOERROR) {
                failure_ = resultText("waveInPrepareHeader", r);
                return;
            }
            if (!queue(i)) return;
        }
        if (MMRESULT r = wave_.waveInStart(handle_); r != MMSYSERR_NOERROR)
            failure_ = resultText("waveInStart", r);
    }
    ~InputRing() {
        if (handle_ == 0) return;
        wave_.waveInReset(handle_);
        for (WAVEHDR& header : headers_) wave_.waveInUnprepareHeader(handle_, &header, kWaveHeaderSize);
        wave_.waveInClose(handle_);
    }
    InputRing(const InputRing&) = delete;
    InputRing& operator=(const InputRing&) = delete;

    const std::string& failure() const { return failure_; }
    bool done(std::size_t i) const { return (headers_[i].dwFlags.load() & WHDR_DONE) != 0; }
    std::span<const std::int16_t> recorded(std::size_t i) const {
        return {data_[i].data(), headers_[i].dwBytesRecorded / 2};
    }
    bool queue(std::size_t i) {
        headers_[i].dwBytesRecorded = 0;
        if (MMRESULT r = wave_.waveInAddBuffer(handle_, &headers_[i], kWaveHeaderSize);
            r != MMSYSERR_NOERROR) {
            failure_ = resultText("waveInAddBuffer", r);
            return false;
        }
        return true;
    }

  private:
    WaveService& wave_;
    HWAVEIN handle_ = 0;
    std::array<WAVEHDR, kBuffers> headers_;
    std::array<std::vector<std::int16_t>, kBuffers> data_;
    std::string failure_;
};

double secondsBetween(Clock& clock, std::int64_t from) {
    return static_cast<double>(clock.performanceCounter() - from) /
           static_cast<double>(clock.performanceFrequency());
}

}  // namespace

InputRecording recordInput(WaveService& wave, Clock& clock, std::uint32_t sampleRate,
                           std::uint64_t samples, const std::function<bool()>& interrupted,
                           const std::function<void(std::span<const double>)>& take) {
    InputRecording recording;
    InputRing ring(wave, sampleRate);
    recording.failure = ring.failure();
    std::vector<double> values;
    std::size_t next = 0;
    while (recording.failure.empty() && recording.samples < samples) {
        if (interrupted && interrupted()) {
            recording.interrupted = true;
            break;
        }
        const std::int64_t waitStart = clock.performanceCounter();
        while (!ring.done(next)) {
            if (interrupted && interrupted()) {
                recording.interrupted = true;
                return recording;
            }
            if (secondsBetween(clock, waitStart) > kLongestWaitSeconds) {
                recording.failure = "the input delivered nothing for 3 s";
                return recording;
            }
            clock.pause(kPollPause);
        }
        const std::span<const std::int16_t> got = ring.recorded(next);
        if (got.empty()) {
            // A buffer done without samples: the device was reset or failed.
            recording.failure = "the input stopped delivering samples";
            break;
        }
        const std::size_t used = static_cast<std::size_t>(
            std::min<std::uint64_t>(got.size(), samples - recording.samples));
        values.resize(used);
        for (std::size_t i = 0; i < used; ++i) values[i] = got[i] / kFullScale;
        take(values);
        recording.samples += used;
        if (recording.samples < samples && !ring.queue(next)) recording.failure = ring.failure();
        next = (next + 1) % kBuffers;
    }
    return recording;
}

}  // namespace ressona
