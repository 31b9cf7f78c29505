#include "audio/wave_pass.h"

#include <string>

#include "audio/latency_estimate.h"
#include "audio/pass_check.h"
#include "audio/wave_devices.h"
#include "platform/clock/clock.h"
#include "platform/messages/message.h"
#include "platform/wave/wave_service.h"
#include "state/measurement_state.h"

namespace ressona {

namespace {

// The waits look at a done flag once per pause: fine pauses around the
// buffer's nominal end (from shortly before it to well after, where devices
// complete), coarse ones elsewhere, so that the completion is seen within a
// fraction of a millisecond without keeping a core busy. Each look also reads
// both positions.
constexpr std::chrono::microseconds kCoarsePause{1000};
constexpr std::chrono::microseconds kFinePause{100};
constexpr std::chrono::milliseconds kFineBefore{5};
constexpr std::chrono::milliseconds kFineAfter{100};

std::int64_t ticksOf(std::chrono::microseconds duration, std::int64_t frequency) {
    return duration.count() * frequency / 1'000'000;
}

struct WaitWindow {
    std::int64_t fineFrom = 0;
    std::int64_t fineUntil = 0;
    std::int64_t deadline = 0;
};

bool buffersFit(const DeviceMemory& memory, std::uint32_t channels) {
    return memory.playBytes > 0 && memory.recordBytes > 0 &&
           memory.playBytes <= memory.playBuffer.size() &&
           std::uint64_t{memory.recordBytes} * channels <=
               memory.recordBuffer.size() * sizeof(std::int16_t);
}

// A two-channel capture, interleaved in recordBuffer, taken apart: the
// measurement channel to the buffer's front (where the analysis reads a
// capture; sample i moves down from 2i + c, so in place), the reference
// channel to state.reference.recording.
void separateReference(MeasurementState& state) {
    DeviceMemory& memory = state.device;
    const std::size_t samples = memory.recordBytes / sizeof(std::int16_t);
    const std::size_t reference = state.reference.index();
    const std::size_t measured = 1 - reference;
    std::vector<std::int16_t>& kept = state.reference.recording;
    kept.resize(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        kept[i] = memory.recordBuffer[2 * i + reference];
        memory.recordBuffer[i] = memory.recordBuffer[2 * i + measured];
    }
}

void pointHeader(WAVEHDR& header, std::uint8_t* data, std::uint32_t length) {
    header.lpData = data;
    header.dwBufferLength = length;
    header.dwFlags.store(0);
}

bool done(const WAVEHDR& header) {
    return (header.dwFlags.load() & WHDR_DONE) != 0;
}

// The pass from the start of the recording on: the devices, the clock, the
// readings of both positions, and the first failure a device reports.
class RunningPass {
  public:
    RunningPass(WaveDeviceState& devices, WaveService& wave, Clock& clock, std::int64_t passTicks,
                std::int64_t limitTicks)
        : devices_(devices),
          wave_(wave),
          clock_(clock),
          passTicks_(passTicks),
          limitTicks_(limitTicks),
          frequency_(clock.performanceFrequency()) {}

    // Reads a position; a failing read is the device's failure, and so is a
    // position no running device can reach (beyond 2^48 samples, centuries
    // at any rate), whose differences would not stay in range.
    bool inputPosition(MMTIME& time) {
        return check(wave_.waveInGetPosition(devices_.waveInHandle, &time, kMmTimeSize)) &&
               plausible(time);
    }
    bool outputPosition(MMTIME& time) {
        return check(wave_.waveOutGetPosition(devices_.waveOutHandle, &time, kMmTimeSize)) &&
               plausible(time);
    }
    bool plausible(const MMTIME& time) {
        constexpr std::int64_t kFarthest = std::int64_t{1} << 48;
        if (time.sample >= -kFarthest && time.sample <= kFarthest) return true;
        return fail(WAVERR_DEVICEFAILED);
    }

    // A stepped input: waits until its first cycle has arrived (a start may
    // have waited for it already), so that the playback written next starts
    // clear of the following one. Returns the input's position then. A
    // device whose input never moves times out.
    bool awaitInputStep(const MMTIME& started, MMTIME& now) {
        now = started;
        const std::int64_t deadline = clock_.performanceCounter() + limitTicks_;
        while (now.sample <= 0) {
            if (clock_.performanceCounter() > deadline) return fail(WAVERR_DEVICEFAILED);
            clock_.pause(kFinePause);
            if (!inputPosition(now)) return false;
        }
        return true;
    }

    void beginReadings(std::int64_t inputAtWrite, std::uint32_t step, std::int64_t outputAtWrite,
                       std::int64_t playSamples, std::int64_t recordSamples) {
        estimate_.begin(inputAtWrite, step);
        outputAtWrite_ = outputAtWrite;
        playSamples_ = playSamples;
        recordSamples_ = recordSamples;
    }

    // Both positions, kept as a reading while both buffers run.
    bool read(const WAVEHDR& play, const WAVEHDR& record) {
        if (done(play) || done(record)) return true;
        MMTIME in;
        MMTIME out;
        if (!inputPosition(in) || !outputPosition(out)) return false;
        const std::int64_t played = out.sample - outputAtWrite_;
        if (played < playSamples_ && in.sample < recordSamples_) estimate_.add(in.sample, played);
        return true;
    }

    // Waits until the header's buffer is done, reading the positions at each
    // look. False after a device failure or once the deadline has passed.
    bool waitUntilDone(const WAVEHDR& header, const WAVEHDR& play, const WAVEHDR& record,
                       std::int64_t start) {
        const WaitWindow window{start + passTicks_ - ticksOf(kFineBefore, frequency_),
                                start + passTicks_ + ticksOf(kFineAfter, frequency_),
                                start + limitTicks_};
        for (;;) {
            if (done(header)) return true;
            const std::int64_t now = clock_.performanceCounter();
            if (now > window.deadline) return fail(WAVERR_DEVICEFAILED);
            const bool fine = now >= window.fineFrom && now <= window.fineUntil;
            clock_.pause(fine ? kFinePause : kCoarsePause);
            if (!read(play, record)) return false;
        }
    }

    std::int32_t latency() const { return estimate_.result(); }
    MMRESULT failure() const { return failure_; }

    bool fail(MMRESULT code) {
        if (failure_ == MMSYSERR_NOERROR) failure_ = code;
        return false;
    }

  private:
    // A device that cannot say where it is has failed, whatever its code says.
    bool check(MMRESULT result) {
        if (result == MMSYSERR_NOERROR) return true;
        return fail(isDeviceFailure(result) ? result : WAVERR_DEVICEFAILED);
    }

    WaveDeviceState& devices_;
    WaveService& wave_;
    Clock& clock_;
    const std::int64_t passTicks_;
    const std::int64_t limitTicks_;
    const std::int64_t frequency_;
    LatencyEstimate estimate_;
    std::int64_t outputAtWrite_ = 0;
    std::int64_t playSamples_ = 0;
    std::int64_t recordSamples_ = 0;
    MMRESULT failure_ = MMSYSERR_NOERROR;
};

}  // namespace

bool isDeviceFailure(std::uint32_t resultCode) {
    return resultCode == WAVERR_DEVICEFAILED || resultCode == MMSYSERR_NODRIVER ||
           resultCode == MMSYSERR_BADDEVICEID;
}

namespace {

// One play and record of the pass, up to its latency.
int playAndRecord(MeasurementState& state, WaveDeviceState& devices, WaveService& wave,
                  Clock& clock) {
    DeviceMemory& memory = state.device;
    WAVEHDR& playHeader = memory.playHeader;
    WAVEHDR& recordHeader = memory.recordHeader;
    // A failing call before the recording starts: nothing runs yet.
    auto failedCall = [&state](MMRESULT result) {
        if (!isDeviceFailure(result)) return kPassFailed;
        state.lastWaveError = result;
        return kPassDeviceFailed;
    };

    // 1. The counter's frequency.
    const std::int64_t frequency = clock.performanceFrequency();
    const std::uint32_t channels = recordChannels(state);
    if (frequency <= 0 || state.sampleRate == 0 || !buffersFit(memory, channels))
        return kPassFailed;

    // 2. Both headers were prepared by the previous pass, if there was one;
    // unpreparing a never-prepared header succeeds.
    if (const MMRESULT r =
            wave.waveInUnprepareHeader(devices.waveInHandle, &recordHeader, kWaveHeaderSize))
        return failedCall(r);
    if (const MMRESULT r =
            wave.waveOutUnprepareHeader(devices.waveOutHandle, &playHeader, kWaveHeaderSize))
        return failedCall(r);

    // 3. The buffers of this pass, at the lengths set at Start.
    pointHeader(playHeader, memory.playBuffer.data(), memory.playBytes);
    pointHeader(recordHeader, reinterpret_cast<std::uint8_t*>(memory.recordBuffer.data()),
                memory.recordBytes * channels);

    // 4. Prepare both, queue the empty record buffer.
    if (const MMRESULT r =
            wave.waveOutPrepareHeader(devices.waveOutHandle, &playHeader, kWaveHeaderSize))
        return failedCall(r);
    if (const MMRESULT r =
            wave.waveInPrepareHeader(devices.waveInHandle, &recordHeader, kWaveHeaderSize))
        return failedCall(r);
    if (const MMRESULT r =
            wave.waveInAddBuffer(devices.waveInHandle, &recordHeader, kWaveHeaderSize))
        return failedCall(r);

    const std::int64_t recordSamples = memory.recordBytes / sizeof(std::int16_t);
    const std::int64_t passTicks = frequency * recordSamples / state.sampleRate;
    const std::int64_t limitTicks =
        kPassTimeoutPasses * passTicks +
        ticksOf(std::chrono::duration_cast<std::chrono::microseconds>(kPassTimeoutAllowance),
                frequency);
    RunningPass pass(devices, wave, clock, passTicks, limitTicks);
    // From here on a failure stops both devices before the buffers are given up.
    auto failed = [&](int status) {
        wave.waveInReset(devices.waveInHandle);
        wave.waveOutReset(devices.waveOutHandle);
        devices.samplesWritten = 0;
        if (status == kPassDeviceFailed) state.lastWaveError = pass.failure();
        return status;
    };

    // 5, 6. Recording starts before playback, so it begins ahead of the
    // excitation; on a server that moves in cycles, the playback follows a
    // cycle's arrival.
    wave.waveInStart(devices.waveInHandle);
    const std::int64_t tInStart = clock.performanceCounter();
    MMTIME inStarted;
    MMTIME inAtWrite;
    if (!pass.inputPosition(inStarted)) return failed(kPassDeviceFailed);
    if (inStarted.step > 1 && !pass.awaitInputStep(inStarted, inAtWrite))
        return failed(kPassDeviceFailed);
    if (inStarted.step <= 1) inAtWrite = inStarted;
    if (const MMRESULT r = wave.waveOutWrite(devices.waveOutHandle, &playHeader, kWaveHeaderSize)) {
        if (!isDeviceFailure(r)) return failed(kPassFailed);
        pass.fail(r);
        return failed(kPassDeviceFailed);
    }
    const std::int64_t tOutStart = clock.performanceCounter();
    // The buffer's first sample is played at the output position that
    // follows every sample written before, whether or not those have all
    // sounded yet.
    pass.beginReadings(inAtWrite.sample, inAtWrite.step, devices.samplesWritten, memory.playBytes,
                       recordSamples);
    devices.samplesWritten += memory.playBytes;
    if (!pass.read(playHeader, recordHeader)) return failed(kPassDeviceFailed);

    // 7, 8. Wait for both buffers, each for a bounded time.
    if (!pass.waitUntilDone(recordHeader, playHeader, recordHeader, tInStart) ||
        !pass.waitUntilDone(playHeader, playHeader, recordHeader, tOutStart))
        return failed(kPassDeviceFailed);

    // A device that failed at the very end, or a recording cut short.
    MMTIME last;
    if (!pass.inputPosition(last) || !pass.outputPosition(last)) return failed(kPassDeviceFailed);
    if (recordHeader.dwBytesRecorded != memory.recordBytes * channels) {
        pass.fail(WAVERR_DEVICEFAILED);
        return failed(kPassDeviceFailed);
    }
    if (channels == 2) separateReference(state);

    // 9.
    wave.waveInReset(devices.waveInHandle);

    // 10, 11. Where the first played sample lies in the recording.
    state.latencySamples = pass.latency();
    return kPassDone;
}

}  // namespace

int runPass(MeasurementState& state, WaveDeviceState& devices, WaveService& wave, Clock& clock,
            MessagePoster& poster) {
    // A recording that fails its own check is not a result: the pass is
    // played again, and after kPassPlaysAtMost such recordings the device is
    // taken to have failed. The play that confirms the run's first timing
    // is not one of them.
    PassCheckRecord& check = state.passCheck;
    check.failure.clear();
    bool lastConclusive = false;
    for (int failed = 0;;) {
        if (const int status = playAndRecord(state, devices, wave, clock); status != kPassDone)
            return status;
        PassVerdict verdict = checkRecordedPass(state);
        if (verdict.confirming) continue;
        if (verdict.fault.empty()) {
            ++check.passesAccepted;
            break;
        }
        const int playsAtMost =
            state.reference.present() ? kReferencePlaysAtMost : kPassPlaysAtMost;
        // A conclusive fault (a reference that holds no excitation) ends the
        // run at its second play in a row: once may be a playback that a busy
        // server started later than the recording lasted.
        const bool again = failed > 0 && lastConclusive;
        lastConclusive = verdict.conclusive;
        if (++failed == playsAtMost || (verdict.conclusive && again)) {
            check.failure = std::move(verdict.fault);
            check.failedPlays = failed;
            state.lastWaveError = WAVERR_DEVICEFAILED;
            devices.samplesWritten = 0;
            return kPassDeviceFailed;
        }
        check.replays.push_back("pass " + std::to_string(check.passesAccepted + 1) + ": " +
                                verdict.fault + "; the pass was played again");
    }

    // 12.
    if (!poster.PostMessageA(state.panelWindowAudio, WM_COMMAND, makeCommandParam(CMD_CAPTURE_DONE),
                             0))
        return kPassFailed;
    return kPassDone;
}

}  // namespace ressona
