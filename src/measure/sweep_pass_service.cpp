#include "measure/sweep_pass_service.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "state/measurement_state.h"

namespace ressona {

namespace {

constexpr std::uint32_t kCardDelayDivisor = 4;  // a quarter of a second of the rate
// How long the card may take for a sweep: this many sweep durations and a second.
constexpr std::int64_t kTimeoutSweeps = 4;
constexpr std::chrono::milliseconds kTimeoutAllowance{1000};
constexpr std::chrono::microseconds kPoll{1000};

WAVEFORMATEX sixteenBits(const WAVEFORMATEX& format) {
    WAVEFORMATEX sixteen = format;
    sixteen.wBitsPerSample = 16;
    sixteen.nBlockAlign = static_cast<std::uint16_t>(2 * format.nChannels);
    sixteen.nAvgBytesPerSec = sixteen.nBlockAlign * format.nSamplesPerSec;
    return sixteen;
}

void point(WAVEHDR& header, void* data, std::size_t bytes) {
    header.clear();
    header.lpData = static_cast<std::uint8_t*>(data);
    header.dwBufferLength = static_cast<std::uint32_t>(bytes);
}

// What happened to a recording that did not keep time with its sweep.
std::string brokenRecording(const SweepTiming& timing, std::uint32_t rate) {
    if (timing.slipped) {
        return "the recording slipped by " + std::to_string(timing.slipSamples()) +
               " samples during the sweep (the sound stream lost or gained samples unreported)";
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", double(timing.damagedAt) / rate);
    return std::string("the recording stopped matching the sweep ") + seconds +
           " s into it (the sound stream lost, added or changed samples unreported)";
}

}  // namespace

std::uint32_t sweepRecordSamples(const LogSweepSettings& settings, std::uint32_t length) {
    return settings.samples + length + settings.sampleRate / kCardDelayDivisor;
}

SweepPassService::SweepPassService(WaveService& card, Clock& clock,
                                   const LogSweepSettings& settings, std::uint32_t length)
    : card_(card),
      clock_(clock),
      sweep_(makeLogSweep(settings)),
      length_(length),
      recordSamples_(sweepRecordSamples(settings, length)),
      deconvolver_(sweep_, recordSamples_),
      slipCheck_(sweep_) {
    playBuffer_ = sweep_.played;
    recordBuffer_.assign(recordSamples_, 0);
    response_.assign(length_, 0);
}

// ---- the program's output: opens the card's output with 16 bits ----

MMRESULT SweepPassService::waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                                       std::uintptr_t callback, std::uintptr_t instance,
                                       std::uint32_t flags) {
    if (format == nullptr) return MMSYSERR_INVALPARAM;
    const WAVEFORMATEX sixteen = sixteenBits(*format);
    const MMRESULT result =
        card_.waveOutOpen(handle, deviceId, &sixteen, callback, instance, flags);
    if (result == MMSYSERR_NOERROR && handle != nullptr) outHandle_ = *handle;
    return result;
}

MMRESULT SweepPassService::waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return !ownsOutput(handle) ? MMSYSERR_INVALHANDLE : prepare(header, size);
}

MMRESULT SweepPassService::waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return !ownsOutput(handle) ? MMSYSERR_INVALHANDLE : unprepare(header, size);
}

MMRESULT SweepPassService::waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    if (!ownsOutput(handle)) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size != kWaveHeaderSize) return MMSYSERR_INVALPARAM;
    if ((header->dwFlags.load() & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    // The sweep has been played with the recording's start; the program's
    // excitation is not played.
    if (sweepFailure_ != MMSYSERR_NOERROR) return sweepFailure_;
    complete(header, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT SweepPassService::waveOutReset(HWAVEOUT handle) {
    if (!ownsOutput(handle)) return MMSYSERR_INVALHANDLE;
    return card_.waveOutReset(handle);
}

MMRESULT SweepPassService::waveOutClose(HWAVEOUT handle) {
    if (!ownsOutput(handle)) return MMSYSERR_INVALHANDLE;
    card_.waveOutUnprepareHeader(handle, &playHeader_, kWaveHeaderSize);
    outHandle_ = 0;
    return card_.waveOutClose(handle);
}

MMRESULT SweepPassService::waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) {
    if (!ownsOutput(handle)) return MMSYSERR_INVALHANDLE;
    return startOfPass(time, size);
}

// ---- the program's input ----

MMRESULT SweepPassService::waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                                      std::uintptr_t callback, std::uintptr_t instance,
                                      std::uint32_t flags) {
    const MMRESULT result = card_.waveInOpen(handle, deviceId, format, callback, instance, flags);
    if (result == MMSYSERR_NOERROR && handle != nullptr) inHandle_ = *handle;
    return result;
}

MMRESULT SweepPassService::waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return !ownsInput(handle) ? MMSYSERR_INVALHANDLE : prepare(header, size);
}

MMRESULT SweepPassService::waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return !ownsInput(handle) ? MMSYSERR_INVALHANDLE : unprepare(header, size);
}

MMRESULT SweepPassService::waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) {
    if (!ownsInput(handle)) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size != kWaveHeaderSize) return MMSYSERR_INVALPARAM;
    const std::uint32_t flags = header->dwFlags.load();
    if ((flags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    header->dwBytesRecorded = 0;
    header->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
    programRecord_ = header;
    return MMSYSERR_NOERROR;
}

MMRESULT SweepPassService::waveInStart(HWAVEIN handle) {
    if (!ownsInput(handle)) return MMSYSERR_INVALHANDLE;
    if (programRecord_ == nullptr) return MMSYSERR_NOERROR;
    sweepFailure_ = playSweep();
    for (int play = 1; play < kSweepPlaysPerPass && lastTiming_.broken(); ++play) {
        repeated_.push_back({sweepsDone_ + 1, failure_});
        sweepFailure_ = playSweep();
    }
    if (sweepFailure_ != MMSYSERR_NOERROR) return sweepFailure_;
    // The capture's content is put in place by handOver(), once the pass
    // has measured its latency.
    complete(programRecord_, programRecord_->dwBufferLength);
    programRecord_ = nullptr;
    return MMSYSERR_NOERROR;
}

MMRESULT SweepPassService::waveInReset(HWAVEIN handle) {
    if (!ownsInput(handle)) return MMSYSERR_INVALHANDLE;
    if (programRecord_ != nullptr) complete(programRecord_, 0);
    programRecord_ = nullptr;
    return card_.waveInReset(handle);
}

MMRESULT SweepPassService::waveInClose(HWAVEIN handle) {
    if (!ownsInput(handle)) return MMSYSERR_INVALHANDLE;
    waveInReset(handle);
    card_.waveInUnprepareHeader(handle, &recordHeader_, kWaveHeaderSize);
    inHandle_ = 0;
    return card_.waveInClose(handle);
}

MMRESULT SweepPassService::waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) {
    if (!ownsInput(handle)) return MMSYSERR_INVALHANDLE;
    return startOfPass(time, size);
}

MMRESULT SweepPassService::startOfPass(MMTIME* time, UINT size) {
    if (time == nullptr || size != kMmTimeSize || time->wType != TIME_SAMPLES)
        return MMSYSERR_INVALPARAM;
    time->sample = 0;
    time->step = 1;
    return MMSYSERR_NOERROR;
}

// ---- the sweep on the card ----

MMRESULT SweepPassService::playSweep() {
    failure_.clear();
    lastTiming_ = SweepTiming{};
    if (!ready() || outHandle_ == 0 || inHandle_ == 0) return MMSYSERR_ERROR;
    card_.waveInUnprepareHeader(inHandle_, &recordHeader_, kWaveHeaderSize);
    card_.waveOutUnprepareHeader(outHandle_, &playHeader_, kWaveHeaderSize);
    point(playHeader_, playBuffer_.data(), playBuffer_.size() * sizeof(std::int16_t));
    point(recordHeader_, recordBuffer_.data(), recordBuffer_.size() * sizeof(std::int16_t));
    if (card_.waveOutPrepareHeader(outHandle_, &playHeader_, kWaveHeaderSize) != 0 ||
        card_.waveInPrepareHeader(inHandle_, &recordHeader_, kWaveHeaderSize) != 0 ||
        card_.waveInAddBuffer(inHandle_, &recordHeader_, kWaveHeaderSize) != 0)
        return MMSYSERR_ERROR;
    card_.waveInStart(inHandle_);
    if (card_.waveOutWrite(outHandle_, &playHeader_, kWaveHeaderSize) != 0) {
        card_.waveInReset(inHandle_);
        return MMSYSERR_ERROR;
    }
    const std::int64_t frequency = clock_.performanceFrequency();
    const std::int64_t allowance =
        frequency *
        std::chrono::duration_cast<std::chrono::microseconds>(kTimeoutAllowance).count() /
        1'000'000;
    const std::int64_t deadline =
        clock_.performanceCounter() +
        kTimeoutSweeps * frequency * recordSamples_ / sweep_.settings.sampleRate + allowance;
    auto done = [](const WAVEHDR& header) { return (header.dwFlags.load() & WHDR_DONE) != 0; };
    while (!(done(recordHeader_) && done(playHeader_)) && clock_.performanceCounter() <= deadline)
        clock_.pause(kPoll);
    const bool complete = done(recordHeader_) && done(playHeader_);
    card_.waveInReset(inHandle_);
    if (!complete) {
        card_.waveOutReset(outHandle_);
        return MMSYSERR_ERROR;
    }
    recordedSamples_ =
        std::min(recordBuffer_.size(), recordHeader_.dwBytesRecorded / sizeof(std::int16_t));
    const std::span<const std::int16_t> recording =
        std::span(recordBuffer_).first(recordedSamples_);
    deconvolver_.deconvolve(recording, responses_);
    // The response's peak is where the sweep landed (a peak in the upper half
    // of the circular response stands for a negative lag).
    const std::int64_t period = deconvolver_.transformSize();
    const std::int64_t lag =
        responses_.peak < period / 2 ? responses_.peak : responses_.peak - period;
    lastTiming_ = slipCheck_.check(recording, lag);
    if (lastTiming_.broken()) {
        failure_ = brokenRecording(lastTiming_, sweep_.settings.sampleRate);
        return WAVERR_DEVICEFAILED;
    }
    response_ = cutLinearResponse(responses_, length_, linearResponseLead(sweep_, length_));
    const std::size_t size = responses_.harmonic.size();
    harmonicSum_.resize(size, 0.0);
    for (std::size_t n = 0; n < size; ++n)
        harmonicSum_[n] += responses_.harmonic[(responses_.peak + n) % size];
    ++sweepsDone_;
    return MMSYSERR_NOERROR;
}

void SweepPassService::handOver(MeasurementState& state) const {
    std::vector<std::int16_t>& buffer = state.device.recordBuffer;
    std::fill(buffer.begin(), buffer.end(), 0);
    const std::int64_t start = std::clamp<std::int64_t>(
        std::int64_t(state.recordDelaySamples) + state.latencySamples, 0, length_);
    const std::size_t room = buffer.size() > std::size_t(start) ? buffer.size() - start : 0;
    std::copy_n(response_.begin(), std::min(room, response_.size()), buffer.begin() + start);
}

std::optional<HarmonicSpectra> SweepPassService::harmonicSpectra() const {
    if (sweepsDone_ == 0) return std::nullopt;
    std::vector<float> average(harmonicSum_.size());
    for (std::size_t n = 0; n < average.size(); ++n)
        average[n] = static_cast<float>(harmonicSum_[n] / sweepsDone_);
    return HarmonicSpectra(sweep_, average, 0);
}

// ---- the program's headers, kept here ----

MMRESULT SweepPassService::prepare(WAVEHDR* header, UINT size) {
    if (header == nullptr || size != kWaveHeaderSize || header->lpData == nullptr ||
        header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    header->dwFlags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT SweepPassService::unprepare(WAVEHDR* header, UINT size) {
    if (header == nullptr || size != kWaveHeaderSize) return MMSYSERR_INVALPARAM;
    if ((header->dwFlags.load() & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    header->dwFlags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

void SweepPassService::complete(WAVEHDR* header, std::uint32_t bytes) {
    header->dwBytesRecorded = bytes;
    header->dwFlags.fetch_and(~WHDR_INQUEUE);
    header->dwFlags.fetch_or(WHDR_DONE);
}

}  // namespace ressona
