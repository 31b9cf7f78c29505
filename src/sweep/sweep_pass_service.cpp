#include "sweep/sweep_pass_service.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "audio/pass_check.h"
#include "state/measurement_state.h"

namespace ressona {

namespace {

constexpr std::uint32_t kCardDelayDivisor = 4;  // a quarter of a second of the rate
// How long the card may take for a sweep: this many sweep durations and a second.
constexpr std::int64_t kTimeoutSweeps = 4;
// How far two sweeps of a run may land apart: a sample either way of rounding
// in the positions, never a cycle of a sound server.
constexpr std::int64_t kSweepArrivalSlack = 2;
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
                                   const LogSweepSettings& settings, std::uint32_t length,
                                   ReferenceChannel reference)
    : card_(card),
      clock_(clock),
      sweep_(makeLogSweep(settings)),
      length_(length),
      recordSamples_(sweepRecordSamples(settings, length)),
      deconvolver_(sweep_, recordSamples_),
      slipCheck_(sweep_),
      wholeTransform_(sweep_.settings.samples),
      reference_(reference) {
    playBuffer_ = sweep_.played;
    recordBuffer_.assign(std::size_t{recordSamples_} * channels(), 0);
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
    outputWritten_ = 0;
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
    outputWritten_ = 0;
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
    if (format == nullptr) return MMSYSERR_INVALPARAM;
    WAVEFORMATEX opened = *format;
    opened.nChannels = static_cast<std::uint16_t>(channels());
    opened.nBlockAlign = static_cast<std::uint16_t>(opened.nChannels * opened.wBitsPerSample / 8);
    opened.nAvgBytesPerSec = opened.nBlockAlign * opened.nSamplesPerSec;
    const MMRESULT result = card_.waveInOpen(handle, deviceId, &opened, callback, instance, flags);
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
    const int plays =
        reference_ == ReferenceChannel::kNone ? kSweepPlaysPerPass : kSweepPlaysWithReference;
    for (int play = 1; play < plays && replayable_; ++play) {
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
    replayable_ = false;
    if (const MMRESULT result = recordSweep(); result != MMSYSERR_NOERROR) return result;
    if (const MMRESULT result = checkArrival(); result != MMSYSERR_NOERROR) return result;
    accumulate();
    return MMSYSERR_NOERROR;
}

// The sweep's response peaks where it landed; its offset from where the
// positions put the sweep is the system's own delay, the same in every sweep
// of a run. A playback that started a cycle or more late unreported adds to
// it, and a late sweep summed with the others would comb the response. So
// the run's first offset is trusted only once a second sweep lands with it,
// and every later sweep must land there too.
MMRESULT SweepPassService::checkArrival() {
    // Timed by the reference, or by the peak itself: nothing to compare.
    if (reference_ != ReferenceChannel::kNone || !timedByPositions_) return MMSYSERR_NOERROR;
    std::int64_t offset = lag_ - arrival_;
    if (!runOffset_ && !firstOffset_) {
        firstOffset_ = offset;
        if (const MMRESULT result = recordSweep(); result != MMSYSERR_NOERROR) return result;
        offset = lag_ - arrival_;
    }
    const std::int64_t expected = runOffset_ ? *runOffset_ : *firstOffset_;
    if (std::llabs(offset - expected) <= kSweepArrivalSlack) {
        runOffset_ = expected;
        return MMSYSERR_NOERROR;
    }
    failure_ = "the sweep landed " + std::to_string(offset) + " samples after where the " +
               "positions put it, where the run's sweeps land " + std::to_string(expected) +
               " after (a playback started late or early unreported)";
    // A late start only adds to the distance: the earlier landing is the likelier.
    if (!runOffset_) firstOffset_ = std::min(offset, expected);
    replayable_ = true;
    return WAVERR_DEVICEFAILED;
}

MMRESULT SweepPassService::recordSweep() {
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
    LatencyEstimate estimate;
    if (!startPlaying(estimate)) {
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
    while (!(done(recordHeader_) && done(playHeader_)) && clock_.performanceCounter() <= deadline) {
        clock_.pause(kPoll);
        readPositions(estimate);
    }
    const bool complete = done(recordHeader_) && done(playHeader_);
    card_.waveInReset(inHandle_);
    if (!complete) {
        card_.waveOutReset(outHandle_);
        outputWritten_ = 0;
        return MMSYSERR_ERROR;
    }
    recordedSamples_ = std::min<std::size_t>(
        recordSamples_, recordHeader_.dwBytesRecorded / (sizeof(std::int16_t) * channels()));
    if (reference_ != ReferenceChannel::kNone) separateReference();
    const std::span<const std::int16_t> recording =
        std::span(recordBuffer_).first(recordedSamples_);
    deconvolver_.deconvolve(recording, responses_);
    // The response's peak is where the sweep landed (a peak in the upper half
    // of the circular response stands for a negative lag).
    const std::int64_t period = deconvolver_.transformSize();
    const auto lagOf = [period](std::uint32_t peak) {
        return peak < period / 2 ? std::int64_t(peak) : std::int64_t(peak) - period;
    };
    lag_ = lagOf(responses_.peak);
    // Without a single reading (a card that cannot say where it is) the
    // response's peak stands for the arrival.
    timedByPositions_ = estimate.readings() > 0 || stepped_;
    arrival_ = timedByPositions_ ? estimate.result() : lag_;
    if (reference_ != ReferenceChannel::kNone) {
        // The reference times the sweep; what the stream did, it did to both channels.
        deconvolver_.deconvolve(referenceRecording_, referenceResponses_);
        if (!referenceHoldsSweep()) {
            failure_ = kSilentReference;
            return WAVERR_DEVICEFAILED;
        }
        arrival_ = lagOf(referenceResponses_.peak);
        // A slip is found there for certain; through a system with memory it
        // is no response of the system on either channel, so it is played again.
        lastTiming_ = slipCheck_.check(referenceRecording_, arrival_);
        if (lastTiming_.broken()) {
            failure_ = "the reference channel shows that " +
                       brokenRecording(lastTiming_, sweep_.settings.sampleRate);
            replayable_ = true;
            return WAVERR_DEVICEFAILED;
        }
    } else {
        lastTiming_ = slipCheck_.check(recording, lag_);
        if (lastTiming_.broken()) {
            failure_ = brokenRecording(lastTiming_, sweep_.settings.sampleRate);
            replayable_ = true;
            return WAVERR_DEVICEFAILED;
        }
    }
    const std::int64_t landed = reference_ != ReferenceChannel::kNone ? arrival_ : lag_;
    if (const std::int64_t gap = silentGapInSweep(recording, landed, sweep_.settings.samples);
        gap >= 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", double(gap) / sweep_.settings.sampleRate);
        failure_ = std::string("the recording fell silent ") + seconds +
                   " s into the sweep (the sound stream lost samples unreported)";
        replayable_ = true;
        return WAVERR_DEVICEFAILED;
    }
    return MMSYSERR_NOERROR;
}

// The last sweep recorded joins the pass's sums.
void SweepPassService::accumulate() {
    response_ = cutLinearResponse(responses_, length_, linearResponseLead(sweep_, length_));
    const std::size_t size = responses_.harmonic.size();
    harmonicSum_.resize(size, 0.0);
    // From the peak to the end, then from the start: no division a sample.
    const std::size_t peak = std::min<std::size_t>(responses_.peak, size);
    for (std::size_t n = 0; n < size - peak; ++n) harmonicSum_[n] += responses_.harmonic[peak + n];
    for (std::size_t n = size - peak; n < size; ++n)
        harmonicSum_[n] += responses_.harmonic[n - (size - peak)];
    addToLinearSum(responses_, linearSum_);
    if (reference_ != ReferenceChannel::kNone) addToLinearSum(referenceResponses_, referenceSum_);
    ++sweepsDone_;
}

// Recording first, then the sweep, as the program's passes do: on a card
// whose input moves in cycles, just after its first cycle has arrived, where
// the input's count is the offset; otherwise the offset comes from readings
// of both positions while both run.
bool SweepPassService::startPlaying(LatencyEstimate& estimate) {
    card_.waveInStart(inHandle_);
    MMTIME input;
    if (card_.waveInGetPosition(inHandle_, &input, kMmTimeSize) != MMSYSERR_NOERROR) return false;
    stepped_ = input.step > 1;
    const std::int64_t deadline =
        clock_.performanceCounter() + clock_.performanceFrequency();  // a second
    while (stepped_ && input.sample <= 0) {
        if (clock_.performanceCounter() > deadline) return false;
        clock_.pause(kPoll / 10);
        if (card_.waveInGetPosition(inHandle_, &input, kMmTimeSize) != MMSYSERR_NOERROR)
            return false;
    }
    if (card_.waveOutWrite(outHandle_, &playHeader_, kWaveHeaderSize) != 0) return false;
    estimate.begin(input.sample, input.step);
    sweepOutputStart_ = outputWritten_;
    outputWritten_ += static_cast<std::int64_t>(playBuffer_.size());
    readPositions(estimate);
    return true;
}

void SweepPassService::readPositions(LatencyEstimate& estimate) {
    const auto running = [](const WAVEHDR& header) {
        return (header.dwFlags.load() & WHDR_DONE) == 0;
    };
    if (!running(recordHeader_) || !running(playHeader_)) return;
    MMTIME input;
    MMTIME output;
    if (card_.waveInGetPosition(inHandle_, &input, kMmTimeSize) != MMSYSERR_NOERROR ||
        card_.waveOutGetPosition(outHandle_, &output, kMmTimeSize) != MMSYSERR_NOERROR)
        return;
    const std::int64_t played = output.sample - sweepOutputStart_;
    if (played < static_cast<std::int64_t>(playBuffer_.size()) &&
        input.sample < static_cast<std::int64_t>(recordBuffer_.size()))
        estimate.add(input.sample, played);
}

// Sample n of the whole response is the linear response n samples after the
// arrival; the last `lead` samples hold what came just before it.
void SweepPassService::addToLinearSum(const SweepResponses& responses,
                                      std::vector<double>& sum) const {
    const std::size_t length = sweep_.settings.samples;
    const auto size = static_cast<std::int64_t>(responses.linear.size());
    if (size == 0) return;
    const std::size_t lead = linearResponseLead(sweep_, static_cast<std::uint32_t>(length));
    sum.resize(length, 0.0);
    // The response from the arrival on, then the lead before it, each stretch
    // wrapped round the circular response as it goes (no division a sample).
    const auto wrapped = [size](std::int64_t at) {
        return static_cast<std::size_t>((at % size + size) % size);
    };
    const auto add = [&](std::size_t from, std::size_t to, std::size_t at) {
        for (std::size_t n = from; n < to; ++n) {
            sum[n] += responses.linear[at];
            if (++at == static_cast<std::size_t>(size)) at = 0;
        }
    };
    add(0, length - lead, wrapped(arrival_));
    add(length - lead, length, wrapped(arrival_ - std::int64_t(lead)));
}

// The interleaved recording taken apart: the measurement channel to the
// buffer's front (in place: frame i moves down from 2i + c), the reference
// to its own.
void SweepPassService::separateReference() {
    const std::size_t reference = reference_ == ReferenceChannel::kLeft ? 0 : 1;
    referenceRecording_.resize(recordedSamples_);
    for (std::size_t i = 0; i < recordedSamples_; ++i) {
        referenceRecording_[i] = recordBuffer_[2 * i + reference];
        recordBuffer_[i] = recordBuffer_[2 * i + 1 - reference];
    }
}

// Whether the reference's deconvolved response stands clear of its noise: a
// wire gives one sample far above the rest, noise alone peaks at about five
// times its RMS over a transform's length.
bool SweepPassService::referenceHoldsSweep() const {
    constexpr double kStandsClear = 16.0;
    const std::vector<float>& linear = referenceResponses_.linear;
    if (linear.empty()) return false;
    double squares = 0.0;
    for (float value : linear) squares += double(value) * value;
    const double rms = std::sqrt(squares / double(linear.size()));
    const double peak = std::fabs(linear[referenceResponses_.peak % linear.size()]);
    return rms > 0.0 && peak >= kStandsClear * rms;
}

TransferFunction SweepPassService::transferFunction() const {
    if (sweepsDone_ == 0 || sweep_.amplitude <= 0.0) return {};
    if (reference_ != ReferenceChannel::kNone) {
        TransferFunction transfer = transferFunctionOverReference(
            linearSum_, referenceSum_, sweep_.settings.sampleRate, arrival_);
        holdOutsideBand(transfer, sweep_.settings.fromHz, linearBandTop(sweep_));
        return transfer;
    }
    std::vector<double> impulse(linearSum_.size());
    const double scale = 1.0 / (sweep_.amplitude * sweepsDone_);
    for (std::size_t n = 0; n < impulse.size(); ++n) impulse[n] = linearSum_[n] * scale;
    TransferFunction transfer = transferFunctionOfImpulse(
        std::move(impulse), sweep_.settings.sampleRate, arrival_, wholeTransform_);
    holdOutsideBand(transfer, sweep_.settings.fromHz, linearBandTop(sweep_), wholeTransform_);
    return transfer;
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
