#include "platform/sim/simulated_card.h"

#include <algorithm>
#include <cmath>

#include "platform/sim/block_convolution.h"
#include "platform/sim/response_convolution.h"

namespace ressona {

namespace {

constexpr std::uint32_t kLowestRate = 1000;
constexpr std::uint32_t kHighestRate = 192000;
// Played buffers kept for the content of later recordings; a recording only
// ever overlaps the last few.
constexpr std::size_t kSegmentsKept = 8;

std::int16_t toSample(double value) {
    const double rounded = std::nearbyint(value);
    return static_cast<std::int16_t>(std::clamp(rounded, -32768.0, 32767.0));
}

}  // namespace

struct SimulatedCard::Segment {
    WAVEHDR* header = nullptr;
    std::vector<std::uint8_t> codes;  // the buffer's bytes
    std::uint16_t bits = 8;

    // Played sample j in 16-bit units.
    double sound(std::int64_t j) const {
        const auto at = static_cast<std::size_t>(j);
        if (bits == 8) return (static_cast<double>(codes[at]) - 128.0) * 256.0;
        const auto low = static_cast<std::uint16_t>(codes[2 * at]);
        const auto high = static_cast<std::uint16_t>(codes[2 * at + 1]);
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
    }
    std::int64_t startTick = 0;
    std::int64_t endTick = 0;
    std::int64_t doneTick = -1;  // -1: never
    std::int64_t playedSamples = 0;
    // Sounds this many samples later than its position says (a late start).
    std::int64_t lateSamples = 0;
    bool done = false;
};

struct SimulatedCard::Pending {
    WAVEHDR* header = nullptr;
    std::int64_t startPosition = 0;
    std::int64_t length = 0;     // samples
    std::int64_t doneTick = -1;  // -1: not scheduled yet, or never
    bool scheduled = false;
};

// The program's clock with the card attached: reading or pausing it first
// completes the buffers that are due.
class SimulatedCard::CardClock final : public Clock {
  public:
    CardClock(SimulatedCard& card, Clock& base) : card_(card), base_(base) {}

    std::int64_t performanceFrequency() const override { return base_.performanceFrequency(); }
    std::int64_t performanceCounter() override {
        const std::int64_t now = base_.performanceCounter();
        card_.advanceTo(now);
        return now;
    }
    TimeOfDay timeOfDay() const override { return base_.timeOfDay(); }
    void pause(std::chrono::microseconds duration) override {
        const std::int64_t now = performanceCounter();
        const std::int64_t next = card_.nextEventTick();
        const std::int64_t frequency = base_.performanceFrequency();
        if (next > now) {
            // Wake at the next completion if it comes first (rounded up to a microsecond).
            const std::int64_t untilNext = ((next - now) * 1'000'000 + frequency - 1) / frequency;
            if (untilNext < duration.count())
                duration = std::chrono::microseconds(std::max<std::int64_t>(untilNext, 1));
        }
        base_.pause(duration);
        card_.advanceTo(base_.performanceCounter());
    }

  private:
    SimulatedCard& card_;
    Clock& base_;
};

SimulatedCard::SimulatedCard(SimulatedCardConfig config, Clock& timeBase)
    : config_(config),
      timeBase_(timeBase),
      clock_(std::make_unique<CardClock>(*this, timeBase)),
      noiseEngine_(config.seed),
      slipEngine_(config.slipSeed) {
    if (config_.noiseRms < 0.0) config_.noiseRms = presetNoiseRms(config_.preset);
    nonlinearity_ = presetNonlinearity(config_.preset);
}

SimulatedCard::~SimulatedCard() = default;

Clock& SimulatedCard::clock() {
    return *clock_;
}

std::vector<double> SimulatedCard::impulseResponse(std::uint32_t sampleRate) const {
    std::vector<double> response = presetImpulseResponse(config_.preset, sampleRate);
    if (config_.outputFilter) return config_.outputFilter(sampleRate, std::move(response));
    return response;
}

MMRESULT SimulatedCard::log(const char* call, MMRESULT result) {
    if (config_.keepCallLog) calls_.emplace_back(call);
    return result;
}

void SimulatedCard::forgetLastCall() {
    if (!calls_.empty()) calls_.pop_back();
}

bool SimulatedCard::formatAccepted(const WAVEFORMATEX* format, std::uint16_t bits,
                                   std::uint16_t mostChannels) const {
    return format != nullptr && format->wFormatTag == WAVE_FORMAT_PCM && format->nChannels >= 1 &&
           format->nChannels <= mostChannels && format->wBitsPerSample == bits &&
           format->nBlockAlign == format->nChannels * bits / 8 &&
           format->nSamplesPerSec >= kLowestRate && format->nSamplesPerSec <= kHighestRate &&
           format->nAvgBytesPerSec == format->nSamplesPerSec * format->nBlockAlign;
}

std::int64_t SimulatedCard::ticksFor(double samples, std::uint32_t rate) const {
    if (rate == 0) return 0;
    return static_cast<std::int64_t>(
        std::ceil(samples * static_cast<double>(timeBase_.performanceFrequency()) / rate));
}

// ---- output ----

MMRESULT SimulatedCard::waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                                    std::uintptr_t, std::uintptr_t, std::uint32_t) {
    if (handle == nullptr) return log("waveOutOpen", MMSYSERR_INVALPARAM);
    *handle = 0;
    if (faults_.outOpenResult != MMSYSERR_NOERROR) return log("waveOutOpen", faults_.outOpenResult);
    if (deviceId != WAVE_MAPPER && deviceId != 0) return log("waveOutOpen", MMSYSERR_BADDEVICEID);
    if (outHandle_ != 0) return log("waveOutOpen", MMSYSERR_ALLOCATED);
    if (failed_) return log("waveOutOpen", faults_.failureResult);
    if (!formatAccepted(format, 8) && !formatAccepted(format, 16))
        return log("waveOutOpen", WAVERR_BADFORMAT);
    outHandle_ = nextHandle_++;
    outRate_ = format->nSamplesPerSec;
    outBits_ = format->wBitsPerSample;
    segments_.clear();
    outputDropped_ = 0;
    outputOrigin_ = 0;
    *handle = outHandle_;
    return log("waveOutOpen", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    if (handle == 0 || handle != outHandle_)
        return log("waveOutPrepareHeader", MMSYSERR_INVALHANDLE);
    if (failed_) return log("waveOutPrepareHeader", faults_.failureResult);
    if (header == nullptr || size != kWaveHeaderSize || header->lpData == nullptr ||
        header->dwBufferLength == 0)
        return log("waveOutPrepareHeader", MMSYSERR_INVALPARAM);
    if (faults_.outPrepareResult != MMSYSERR_NOERROR)
        return log("waveOutPrepareHeader", faults_.outPrepareResult);
    header->dwFlags.fetch_or(WHDR_PREPARED);
    return log("waveOutPrepareHeader", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    if (handle == 0 || handle != outHandle_)
        return log("waveOutUnprepareHeader", MMSYSERR_INVALHANDLE);
    if (header == nullptr || size != kWaveHeaderSize)
        return log("waveOutUnprepareHeader", MMSYSERR_INVALPARAM);
    if (faults_.outUnprepareResult != MMSYSERR_NOERROR)
        return log("waveOutUnprepareHeader", faults_.outUnprepareResult);
    if ((header->dwFlags.load() & WHDR_INQUEUE) != 0)
        return log("waveOutUnprepareHeader", WAVERR_STILLPLAYING);
    header->dwFlags.fetch_and(~WHDR_PREPARED);
    return log("waveOutUnprepareHeader", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    if (handle == 0 || handle != outHandle_) return log("waveOutWrite", MMSYSERR_INVALHANDLE);
    if (failed_) return log("waveOutWrite", faults_.failureResult);
    if (header == nullptr || size != kWaveHeaderSize)
        return log("waveOutWrite", MMSYSERR_INVALPARAM);
    if (faults_.writeResult != MMSYSERR_NOERROR) return log("waveOutWrite", faults_.writeResult);
    const std::uint32_t flags = header->dwFlags.load();
    if ((flags & WHDR_PREPARED) == 0) return log("waveOutWrite", WAVERR_UNPREPARED);
    if ((flags & WHDR_INQUEUE) != 0) return log("waveOutWrite", WAVERR_STILLPLAYING);

    advanceTo(timeBase_.performanceCounter());
    Segment segment;
    segment.header = header;
    segment.bits = outBits_;
    const std::uint32_t bytes = header->dwBufferLength / (outBits_ / 8) * (outBits_ / 8);
    segment.codes.assign(header->lpData, header->lpData + bytes);
    if (!segments_.empty() && !segments_.back().done) {
        segment.startTick = segments_.back().endTick;  // follows the buffer still playing
    } else {
        // Starting the output takes a moment, during which the call blocks.
        const std::int64_t positionAtCall = inputPositionAt(timeBase_.performanceCounter());
        const std::int64_t startTicks = ticksFor(config_.outputStartSamples, outRate_);
        const std::int64_t frequency = timeBase_.performanceFrequency();
        if (startTicks > 0)
            timeBase_.pause(
                std::chrono::microseconds((startTicks * 1'000'000 + frequency - 1) / frequency));
        segment.startTick = cycleLandingTick(timeBase_.performanceCounter(), positionAtCall);
        advanceTo(segment.startTick);
        segment.lateSamples = drawLateStart();
    }
    const auto samples = static_cast<std::int64_t>(segment.codes.size() / (segment.bits / 8));
    segment.endTick =
        segment.startTick + (samples * timeBase_.performanceFrequency() + outRate_ - 1) / outRate_;
    segment.playedSamples = samples;
    segment.doneTick =
        faults_.playNeverCompletes
            ? -1
            : std::max(segment.startTick,
                       segment.endTick - ticksFor(config_.outputFifoSamples, outRate_));
    header->dwFlags.fetch_and(~WHDR_DONE);
    header->dwFlags.fetch_or(WHDR_INQUEUE);
    segments_.push_back(std::move(segment));
    while (segments_.size() > kSegmentsKept && segments_.front().done) {
        outputDropped_ += segments_.front().playedSamples;
        segments_.pop_front();
    }
    return log("waveOutWrite", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveOutReset(HWAVEOUT handle) {
    if (handle == 0 || handle != outHandle_) return log("waveOutReset", MMSYSERR_INVALHANDLE);
    const std::int64_t now = timeBase_.performanceCounter();
    advanceTo(now);
    stopOutputAt(now);
    outputOrigin_ = outputPlayedAt(now);
    return log("waveOutReset", MMSYSERR_NOERROR);
}

// Playing stops at `tick`: only what has been played so far was heard.
void SimulatedCard::stopOutputAt(std::int64_t tick) {
    const std::int64_t frequency = timeBase_.performanceFrequency();
    for (Segment& segment : segments_) {
        if (segment.done) continue;
        const std::int64_t played =
            tick <= segment.startTick ? 0 : (tick - segment.startTick) * outRate_ / frequency;
        segment.playedSamples = std::min<std::int64_t>(played, segment.playedSamples);
        segment.endTick = std::min(segment.endTick, std::max(tick, segment.startTick));
        segment.done = true;
        segment.header->dwFlags.fetch_and(~WHDR_INQUEUE);
        segment.header->dwFlags.fetch_or(WHDR_DONE);
    }
}

// Samples of written buffers played by `tick` since the open: while the input
// runs, counted on its clock (so the two positions differ by exactly where a
// buffer landed), otherwise from the buffer's start time.
std::int64_t SimulatedCard::outputPlayedAt(std::int64_t tick) const {
    std::int64_t total = outputDropped_;
    const std::int64_t frequency = timeBase_.performanceFrequency();
    for (const Segment& segment : segments_) {
        std::int64_t played = 0;
        if (tick > segment.startTick) {
            if (inputStarted_) {
                const std::int64_t scaled = (segment.startTick - inputStartTick_) * inRate_;
                const std::int64_t offset =
                    scaled >= 0 ? scaled / frequency : -((-scaled + frequency - 1) / frequency);
                played = inputPositionAt(tick) - offset;
            } else {
                played = (tick - segment.startTick) * outRate_ / frequency;
            }
        }
        total += std::clamp<std::int64_t>(played, 0, segment.playedSamples);
    }
    return total;
}

MMRESULT SimulatedCard::waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) {
    if (handle == 0 || handle != outHandle_) return MMSYSERR_INVALHANDLE;
    if (time == nullptr || size != kMmTimeSize || time->wType != TIME_SAMPLES)
        return MMSYSERR_INVALPARAM;
    const std::int64_t now = timeBase_.performanceCounter();
    advanceTo(now);
    if (failed_) return faults_.failureResult;
    time->sample = outputPlayedAt(now) - outputOrigin_;
    time->step = 1;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedCard::waveOutClose(HWAVEOUT handle) {
    if (handle == 0 || handle != outHandle_) return log("waveOutClose", MMSYSERR_INVALHANDLE);
    waveOutReset(handle);
    forgetLastCall();  // the reset is part of the close
    outHandle_ = 0;
    outRate_ = 0;
    if (inHandle_ == 0) failed_ = false;
    return log("waveOutClose", MMSYSERR_NOERROR);
}

// ---- input ----

MMRESULT SimulatedCard::waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                                   std::uintptr_t, std::uintptr_t, std::uint32_t) {
    if (handle == nullptr) return log("waveInOpen", MMSYSERR_INVALPARAM);
    *handle = 0;
    if (faults_.inOpenResult != MMSYSERR_NOERROR) return log("waveInOpen", faults_.inOpenResult);
    if (faults_.inOpenGivesNoHandle) return log("waveInOpen", MMSYSERR_NOERROR);
    if (deviceId != WAVE_MAPPER && deviceId != 0) return log("waveInOpen", MMSYSERR_BADDEVICEID);
    if (inHandle_ != 0) return log("waveInOpen", MMSYSERR_ALLOCATED);
    if (failed_) return log("waveInOpen", faults_.failureResult);
    if (!formatAccepted(format, 16, 2)) return log("waveInOpen", WAVERR_BADFORMAT);
    inHandle_ = nextHandle_++;
    inRate_ = format->nSamplesPerSec;
    inChannels_ = format->nChannels;
    inputQueue_.clear();
    inputStarted_ = false;
    inputPosition_ = 0;
    recordedBefore_ = 0;
    *handle = inHandle_;
    return log("waveInOpen", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    if (handle == 0 || handle != inHandle_) return log("waveInPrepareHeader", MMSYSERR_INVALHANDLE);
    if (failed_) return log("waveInPrepareHeader", faults_.failureResult);
    if (header == nullptr || size != kWaveHeaderSize || header->lpData == nullptr ||
        header->dwBufferLength < sizeof(std::int16_t))
        return log("waveInPrepareHeader", MMSYSERR_INVALPARAM);
    if (faults_.inPrepareResult != MMSYSERR_NOERROR)
        return log("waveInPrepareHeader", faults_.inPrepareResult);
    header->dwFlags.fetch_or(WHDR_PREPARED);
    return log("waveInPrepareHeader", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    if (handle == 0 || handle != inHandle_)
        return log("waveInUnprepareHeader", MMSYSERR_INVALHANDLE);
    if (header == nullptr || size != kWaveHeaderSize)
        return log("waveInUnprepareHeader", MMSYSERR_INVALPARAM);
    if (faults_.inUnprepareResult != MMSYSERR_NOERROR)
        return log("waveInUnprepareHeader", faults_.inUnprepareResult);
    if ((header->dwFlags.load() & WHDR_INQUEUE) != 0)
        return log("waveInUnprepareHeader", WAVERR_STILLPLAYING);
    header->dwFlags.fetch_and(~WHDR_PREPARED);
    return log("waveInUnprepareHeader", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) {
    if (handle == 0 || handle != inHandle_) return log("waveInAddBuffer", MMSYSERR_INVALHANDLE);
    if (failed_) return log("waveInAddBuffer", faults_.failureResult);
    if (header == nullptr || size != kWaveHeaderSize)
        return log("waveInAddBuffer", MMSYSERR_INVALPARAM);
    if (faults_.addBufferResult != MMSYSERR_NOERROR)
        return log("waveInAddBuffer", faults_.addBufferResult);
    const std::uint32_t flags = header->dwFlags.load();
    if ((flags & WHDR_PREPARED) == 0) return log("waveInAddBuffer", WAVERR_UNPREPARED);
    if ((flags & WHDR_INQUEUE) != 0) return log("waveInAddBuffer", WAVERR_STILLPLAYING);
    advanceTo(timeBase_.performanceCounter());
    header->dwFlags.fetch_and(~WHDR_DONE);
    header->dwFlags.fetch_or(WHDR_INQUEUE);
    header->dwBytesRecorded = 0;
    Pending pending;
    pending.header = header;
    pending.length = header->dwBufferLength / (sizeof(std::int16_t) * inChannels_);
    inputQueue_.push_back(pending);
    if (inputStarted_) scheduleInput();
    return log("waveInAddBuffer", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveInStart(HWAVEIN handle) {
    if (handle == 0 || handle != inHandle_) return log("waveInStart", MMSYSERR_INVALHANDLE);
    if (failed_) return log("waveInStart", faults_.failureResult);
    if (!inputStarted_) {
        inputStarted_ = true;
        ++inputStarts_;
        drawRandomSlip();
        inputStartTick_ = timeBase_.performanceCounter();
        inputPosition_ = 0;
        scheduleInput();
    }
    return log("waveInStart", MMSYSERR_NOERROR);
}

std::int64_t SimulatedCard::inputPositionAt(std::int64_t tick) const {
    if (!inputStarted_ || tick <= inputStartTick_) return 0;
    return (tick - inputStartTick_) * inRate_ / timeBase_.performanceFrequency();
}

// The input's position as the card reports it: in whole cycles when it moves in cycles.
std::int64_t SimulatedCard::reportedInputPosition(std::int64_t tick) const {
    const std::int64_t position = inputPositionAt(tick);
    const std::int64_t cycle = config_.captureCycleSamples;
    return cycle > 0 ? position / cycle * cycle : position;
}

// When an output started at `tick` sounds from. On an input that moves in
// cycles: from the cycle the input stood at when the write came
// (positionAtCall), the first cycle's end if none had arrived yet.
std::int64_t SimulatedCard::cycleLandingTick(std::int64_t tick,
                                             std::int64_t positionAtCall) const {
    const std::int64_t cycle = config_.captureCycleSamples;
    if (cycle <= 0 || !inputStarted_ || inRate_ == 0) return tick;
    const std::int64_t landing = std::max<std::int64_t>(positionAtCall / cycle, 1) * cycle;
    const std::int64_t frequency = timeBase_.performanceFrequency();
    return inputStartTick_ + (landing * frequency + inRate_ - 1) / inRate_;
}

// Gives every queued buffer its stretch of the stream and its completion.
void SimulatedCard::scheduleInput() {
    const std::int64_t frequency = timeBase_.performanceFrequency();
    for (Pending& pending : inputQueue_) {
        if (pending.scheduled) continue;
        // Sound that came while no buffer was queued is lost.
        pending.startPosition =
            std::max(inputPosition_, inputPositionAt(timeBase_.performanceCounter()));
        inputPosition_ = pending.startPosition + pending.length;
        pending.scheduled = true;
        pending.doneTick = faults_.recordNeverCompletes
                               ? -1
                               : inputStartTick_ +
                                     (inputPosition_ * frequency + inRate_ - 1) / inRate_ +
                                     ticksFor(config_.inputHandOverSamples, inRate_);
    }
}

MMRESULT SimulatedCard::waveInReset(HWAVEIN handle) {
    if (handle == 0 || handle != inHandle_) return log("waveInReset", MMSYSERR_INVALHANDLE);
    const std::int64_t now = timeBase_.performanceCounter();
    advanceTo(now);
    const std::int64_t position = inputPositionAt(now);
    if (inputStarted_) recordedBefore_ += position;
    while (!inputQueue_.empty()) {
        Pending& pending = inputQueue_.front();
        const std::int64_t filled =
            pending.scheduled
                ? std::clamp<std::int64_t>(position - pending.startPosition, 0, pending.length)
                : 0;
        completeInput(pending, filled);
        inputQueue_.pop_front();
    }
    inputStarted_ = false;
    inputPosition_ = 0;
    return log("waveInReset", MMSYSERR_NOERROR);
}

MMRESULT SimulatedCard::waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) {
    if (handle == 0 || handle != inHandle_) return MMSYSERR_INVALHANDLE;
    if (time == nullptr || size != kMmTimeSize || time->wType != TIME_SAMPLES)
        return MMSYSERR_INVALPARAM;
    const std::int64_t now = timeBase_.performanceCounter();
    advanceTo(now);
    if (failed_) return faults_.failureResult;
    time->sample = reportedInputPosition(now);
    time->step = config_.captureCycleSamples > 0
                     ? static_cast<std::uint32_t>(config_.captureCycleSamples)
                     : 1;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedCard::waveInClose(HWAVEIN handle) {
    if (handle == 0 || handle != inHandle_) return log("waveInClose", MMSYSERR_INVALHANDLE);
    waveInReset(handle);
    forgetLastCall();  // the reset is part of the close
    inHandle_ = 0;
    inRate_ = 0;
    if (outHandle_ == 0) failed_ = false;
    return log("waveInClose", MMSYSERR_NOERROR);
}

void SimulatedCard::completeInput(Pending& pending, std::int64_t samplesFilled) {
    WAVEHDR& header = *pending.header;
    auto* frames = reinterpret_cast<std::int16_t*>(header.lpData);
    if (samplesFilled > 0 && inChannels_ == 1) {
        fillRecording(frames, nullptr, pending.startPosition, samplesFilled);
    } else if (samplesFilled > 0) {
        // Left the acoustic system, right the output wired straight back.
        std::vector<std::int16_t> system(static_cast<std::size_t>(samplesFilled));
        std::vector<std::int16_t> wire(system.size());
        fillRecording(system.data(), wire.data(), pending.startPosition, samplesFilled);
        for (std::size_t i = 0; i < system.size(); ++i) {
            frames[2 * i] = system[i];
            frames[2 * i + 1] = wire[i];
        }
    }
    header.dwBytesRecorded =
        static_cast<std::uint32_t>(samplesFilled * sizeof(std::int16_t) * inChannels_);
    header.dwFlags.fetch_and(~WHDR_INQUEUE);
    header.dwFlags.fetch_or(WHDR_DONE);
}

// The preset's curve, in units of full scale (32768 steps).
double SimulatedCard::shaped(double value) const {
    if (nonlinearity_.square == 0.0 && nonlinearity_.cube == 0.0) return value;
    constexpr double kFullScale = 32768.0;
    const double x = value / kFullScale;
    return (x + nonlinearity_.square * x * x + nonlinearity_.cube * x * x * x) * kFullScale;
}

// With randomSlips, one start in kRandomSlipOneIn slips at a random place of
// the buffers queued for it; the others do not.
void SimulatedCard::drawRandomSlip() {
    if (!config_.randomSlips) return;
    std::int64_t queued = 0;
    for (const Pending& buffer : inputQueue_) queued += buffer.length;
    faults_.slipAtPosition = -1;
    faults_.slippingStarts = -1;
    if (queued <= kRandomSlipSamples || slipEngine_() % kRandomSlipOneIn != 0) return;
    std::uniform_int_distribution<std::int64_t> place(kRandomSlipSamples, queued - 1);
    faults_.slipAtPosition = place(slipEngine_);
    const bool drops = slipEngine_() % 2 == 0;
    faults_.slipSamples = drops ? -kRandomSlipSamples : kRandomSlipSamples;
    faults_.slipRepeats = true;
}

// The start the faults name sounds late; with randomSlips, one start of the
// output in kLateExcitationOneIn sounds 1 .. kLateExcitationMostCycles
// cycles late; 0 otherwise.
std::int64_t SimulatedCard::drawLateStart() {
    if (++outputStarts_ == faults_.lateStartAt) return faults_.lateStartSamples;
    if (!config_.randomSlips || slipEngine_() % kLateExcitationOneIn != 0) return 0;
    const auto cycles = 1 + std::int64_t(slipEngine_() % kLateExcitationMostCycles);
    return cycles * kRandomSlipSamples;
}

// Recorded samples at stream positions first .. first + count - 1, slipped
// as the faults say from their position on.
void SimulatedCard::fillRecording(std::int16_t* out, std::int16_t* wire, std::int64_t first,
                                  std::int64_t count) {
    const std::int64_t at = faults_.slipAtPosition;
    const std::int64_t slip = faults_.slipSamples;
    const bool slipping = faults_.slippingStarts < 0 || inputStarts_ <= faults_.slippingStarts;
    if (!slipping || at < 0 || slip == 0 || first + count <= at)
        return fillContinuous(out, wire, first, count);
    const std::int64_t before = std::clamp<std::int64_t>(at - first, 0, count);
    fillContinuous(out, wire, first, before);
    std::int64_t done = before;
    if (slip > 0 && !faults_.slipRepeats) {  // silence from `at` for slip samples
        const std::int64_t silent = std::min(count, at + slip - first) - done;
        if (silent > 0) std::fill_n(out + done, silent, std::int16_t{0});
        if (silent > 0 && wire != nullptr) std::fill_n(wire + done, silent, std::int16_t{0});
        done += std::max<std::int64_t>(silent, 0);
    }
    if (done < count)
        fillContinuous(out + done, wire != nullptr ? wire + done : nullptr, first + done - slip,
                       count - done);
}

// Recorded samples at stream positions first .. first + count - 1: every
// played buffer, placed where its start fell on the recording's time line and
// passed through the preset's response.
void SimulatedCard::fillContinuous(std::int16_t* out, std::int16_t* wire, std::int64_t first,
                                   std::int64_t count) {
    if (count <= 0) return;
    if (responseRate_ != inRate_) {
        // Kept back to front, as the convolution reads it.
        response_ = impulseResponse(inRate_);
        longResponse_.reset();
        if (response_.size() > kLongestSummedResponse)
            longResponse_ = std::make_unique<BlockConvolver>(response_);
        std::reverse(response_.begin(), response_.end());
        responseRate_ = inRate_;
    }
    const auto taps = static_cast<std::int64_t>(response_.size());
    const double gain = gainSource_ ? gainSource_() : config_.gain;
    // The played signal x at positions base .. base + span - 1 of the recording's time line.
    const std::int64_t base = first - (taps - 1);
    const std::int64_t span = count + taps - 1;
    std::vector<double> played(static_cast<std::size_t>(span), 0.0);
    const std::int64_t frequency = timeBase_.performanceFrequency();
    for (const Segment& segment : segments_) {
        // The output starts on the sample clock, in the period its start falls in.
        const std::int64_t scaled = (segment.startTick - inputStartTick_) * inRate_;
        const std::int64_t offset =
            (scaled >= 0 ? scaled / frequency : -((-scaled + frequency - 1) / frequency)) +
            segment.lateSamples;
        const std::int64_t from = std::max<std::int64_t>(base, offset);
        // A late start keeps its buffer's end in time: its last samples are cut.
        const std::int64_t to = std::min<std::int64_t>(
            base + span, offset + segment.playedSamples - segment.lateSamples);
        for (std::int64_t n = from; n < to; ++n) {
            played[static_cast<std::size_t>(n - base)] += segment.sound(n - offset);
        }
    }
    // played[i + taps - 1] is the sample heard now through the response's first tap.
    if (wire != nullptr) {
        // A cable from the output: the played samples as they are, past the
        // mixer's levels and without the room's noise.
        for (std::int64_t i = 0; i < count; ++i)
            wire[i] = toSample(played[static_cast<std::size_t>(i + taps - 1)]);
    }
    std::vector<double> heard(static_cast<std::size_t>(count));
    if (longResponse_) {
        longResponse_->convolve(played, heard);
    } else {
        convolveReversed(response_, played, heard);
    }
    for (std::int64_t i = 0; i < count; ++i) {
        double value = shaped(heard[static_cast<std::size_t>(i)]) * gain;
        if (config_.noiseRms > 0.0) value += config_.noiseRms * noise_(noiseEngine_);
        out[i] = toSample(value);
    }
}

// ---- time ----

std::int64_t SimulatedCard::failureTick() const {
    if (failed_ || !inputStarted_ || faults_.failAfterRecordedSamples < 0 || inRate_ == 0)
        return -1;
    const std::int64_t remaining =
        std::max<std::int64_t>(faults_.failAfterRecordedSamples - recordedBefore_, 0);
    const std::int64_t frequency = timeBase_.performanceFrequency();
    return inputStartTick_ + (remaining * frequency + inRate_ - 1) / inRate_;
}

// The card fails at `tick`: what was recorded so far stays in the buffers, and
// every buffer ends now.
void SimulatedCard::failNow(std::int64_t tick) {
    const std::int64_t position = inputPositionAt(tick);
    while (!inputQueue_.empty()) {
        Pending& pending = inputQueue_.front();
        const std::int64_t filled =
            pending.scheduled
                ? std::clamp<std::int64_t>(position - pending.startPosition, 0, pending.length)
                : 0;
        completeInput(pending, filled);
        inputQueue_.pop_front();
    }
    stopOutputAt(tick);
    recordedBefore_ += position;
    inputStarted_ = false;
    failed_ = true;
}

std::int64_t SimulatedCard::nextEventTick() const {
    std::int64_t next = -1;
    auto consider = [&next](std::int64_t tick) {
        if (tick >= 0 && (next < 0 || tick < next)) next = tick;
    };
    for (const Segment& segment : segments_) {
        if (!segment.done) consider(segment.doneTick);
    }
    if (!inputQueue_.empty() && inputQueue_.front().scheduled)
        consider(inputQueue_.front().doneTick);
    consider(failureTick());
    return next;
}

void SimulatedCard::advanceTo(std::int64_t tick) {
    for (;;) {
        const std::int64_t next = nextEventTick();
        if (next < 0 || next > tick) return;
        if (next == failureTick()) {
            failNow(next);
            continue;
        }
        for (Segment& segment : segments_) {
            if (!segment.done && segment.doneTick == next) {
                segment.done = true;
                segment.header->dwFlags.fetch_and(~WHDR_INQUEUE);
                segment.header->dwFlags.fetch_or(WHDR_DONE);
            }
        }
        if (!inputQueue_.empty() && inputQueue_.front().scheduled &&
            inputQueue_.front().doneTick == next) {
            Pending& due = inputQueue_.front();
            completeInput(due, std::max<std::int64_t>(due.length - faults_.recordShortSamples, 0));
            inputQueue_.pop_front();
        }
    }
}

}  // namespace ressona
