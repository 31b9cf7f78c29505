#pragma once
// A simulated sound card: a wave service that plays what it is given through
// a known acoustic system (acoustic_presets.h) into the recording.
//
// Timing model. The card keeps time on a clock it is given (the system's
// clock in real time, or a manual clock for instant runs) and moves only when
// the program looks at the time: clock() is the program's clock with the card
// attached, and every read or pause of it first completes whatever buffers
// are due (a pause wakes early at the next completion, as a wait on a real
// device would). Both directions run on one sample clock of rate fs; with a
// pass of n samples:
// - input: recording starts at waveInStart (tick tI): stream position p holds
//   the sound at tI + p/fs. A buffer ending at position P is done at
//   tI + P/fs + inputHandOver.
// - output: a write to an idle output takes outputStart to start the output
//   (the call blocks that long), and the buffer sounds from the call's return
//   tW: played sample j at tW + j/fs, so it lands at recording position
//   j + floor((tW - tI) fs), through the preset's response, with the preset's
//   noise, rounded and clipped. A write while a buffer still plays follows it
//   without a pause. The buffer is done once its last sample is in the
//   converter, outputFifo before it sounds.
// Defaults: outputStart 32.5 samples, outputFifo 64, inputHandOver 16: the
// excitation starts 32 samples into the recording.
// Positions run on the same sample clock: the input's is the recording
// position of the moment (floor((t - tI) fs)), the output's the played
// samples of its buffers, so that while both run the input's position less
// the output's (counted from a buffer's start) is exactly where that buffer
// landed. Both move sample by sample (step 1), unless the input moves in
// cycles (captureCycleSamples).
//
// The output takes unsigned 8-bit codes (code c sounds as (c - 128) x 256) or
// signed 16-bit samples (sample s sounds as s); the input records 16 bits,
// one channel, or two: left the acoustic system as above, right the output
// wired straight back (the played sound exactly, past the levels and the
// noise: a cable for a timing reference). A slip of the stream, a late start
// of the output, a failure or a short buffer happen to both channels alike.
//
// Faults (faults(), changeable at any time): an open result, an open that
// succeeds without a handle, a failing prepare, add, write or unprepare,
// buffers that never complete (a reset still ends them), and a card that
// fails for good after a number of recorded samples (a server killed, a card
// pulled out).

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/sim/acoustic_presets.h"
#include "platform/wave/wave_service.h"

namespace ressona {

struct SimulatedCardFaults {
    MMRESULT outOpenResult = MMSYSERR_NOERROR;
    MMRESULT inOpenResult = MMSYSERR_NOERROR;
    bool inOpenGivesNoHandle = false;  // waveInOpen returns 0 with no handle
    MMRESULT outPrepareResult = MMSYSERR_NOERROR;
    MMRESULT inPrepareResult = MMSYSERR_NOERROR;
    MMRESULT outUnprepareResult = MMSYSERR_NOERROR;
    MMRESULT inUnprepareResult = MMSYSERR_NOERROR;
    MMRESULT addBufferResult = MMSYSERR_NOERROR;
    MMRESULT writeResult = MMSYSERR_NOERROR;
    bool recordNeverCompletes = false;
    bool playNeverCompletes = false;
    // Once this many samples have been recorded since the input was opened
    // (-1: never), the card fails: its queued buffers end at once (the
    // recording short) and every later call but unprepare, reset and close
    // returns failureResult until both devices are closed.
    std::int64_t failAfterRecordedSamples = -1;
    MMRESULT failureResult = MMSYSERR_NODRIVER;
    // A recording that slips unreported, as a sound server's may: from this
    // stream position on (-1: never) the recording holds the sound of
    // slipSamples samples earlier (positive: that much silence inserted) or
    // -slipSamples later (negative: samples dropped), in the first
    // slippingStarts starts of the input since the card was made (-1: every one).
    std::int64_t slipAtPosition = -1;
    std::int64_t slipSamples = 0;
    std::int64_t slippingStarts = -1;
    // A positive slip repeats the slipSamples samples before slipAtPosition
    // instead of inserting silence (a server that delivers a cycle twice).
    bool slipRepeats = false;
    // Every input buffer completes on time but this many samples short (its
    // dwBytesRecorded says so; the rest of it is left as it was).
    std::int64_t recordShortSamples = 0;
    // The lateStartAt-th write to an idle output since the card was made
    // (0: none) sounds lateStartSamples later than the output's position says.
    std::int64_t lateStartAt = 0;
    std::int64_t lateStartSamples = 0;
};

// A card that slips now and then of its own accord (`sim:slips`), drawn from
// the card's seed: in one input start in three the recording drops or
// repeats kRandomSlipSamples samples at a random place of the queued buffers,
// and one write to an idle output in eight sounds 1 to 3 cycles of
// kRandomSlipSamples later than the output's position says (its last samples
// cut where the buffer ends, so the next pass starts clean).
inline constexpr std::int64_t kRandomSlipSamples = 128;
inline constexpr int kRandomSlipOneIn = 3;
inline constexpr int kLateExcitationOneIn = 8;
inline constexpr int kLateExcitationMostCycles = 3;

struct SimulatedCardConfig {
    SimPreset preset = SimPreset::kRoom;
    std::uint64_t seed = 1;              // the noise
    double noiseRms = -1.0;              // 16-bit steps; below 0: the preset's
    double outputStartSamples = 32.5;    // how long a write to an idle output takes
    double outputFifoSamples = 64.0;     // output done this long before its last sample sounds
    double inputHandOverSamples = 16.0;  // input done this long after its last sample
    double gain = 1.0;                   // scales the recording, unless a gain source is attached
    // What stands between the card's output and the acoustic system (an
    // equaliser): given the rate and the preset's response, the response with
    // it in front. Empty: nothing.
    std::function<std::vector<double>(std::uint32_t sampleRate, std::vector<double> response)>
        outputFilter;
    // Keep every wave call by name (calls()). Tests look at them; a card that
    // runs for hours must not, or the list grows with every pass.
    bool keepCallLog = true;
    bool randomSlips = false;  // slips and late starts as `sim:slips` (above)
    std::uint64_t slipSeed = 1;  // randomSlips' draws
    // Above 0: the input moves in whole cycles of this many samples, as a
    // sound server's that hands samples over per cycle (step() of its
    // position), and a write to an idle output sounds from the cycle the
    // input's position stood at when the call came; before the first cycle
    // has arrived (position 0) the stream is not yet running and the
    // playback starts a cycle later than that position says.
    std::int64_t captureCycleSamples = 0;
};

class BlockConvolver;

class SimulatedCard final : public WaveService {
  public:
    // `timeBase` must outlive the card.
    SimulatedCard(SimulatedCardConfig config, Clock& timeBase);
    ~SimulatedCard() override;

    // The clock the program must time its passes with.
    Clock& clock();
    SimulatedCardFaults& faults() { return faults_; }
    const SimulatedCardConfig& config() const { return config_; }
    // Makes the level of each recording come from `source` (the simulated
    // mixer's settings) instead of config().gain.
    void setGainSource(std::function<double()> source) { gainSource_ = std::move(source); }
    // Every wave call so far but the position reads, by name, oldest first
    // (empty without keepCallLog).
    const std::vector<std::string>& calls() const { return calls_; }
    // The impulse response the recording is made with at that rate.
    std::vector<double> impulseResponse(std::uint32_t sampleRate) const;

    MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                         std::uintptr_t callback, std::uintptr_t instance,
                         std::uint32_t flags) override;
    MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutReset(HWAVEOUT handle) override;
    MMRESULT waveOutClose(HWAVEOUT handle) override;
    MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) override;
    MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                        std::uintptr_t callback, std::uintptr_t instance,
                        std::uint32_t flags) override;
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInStart(HWAVEIN handle) override;
    MMRESULT waveInReset(HWAVEIN handle) override;
    MMRESULT waveInClose(HWAVEIN handle) override;
    MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) override;

    // Completes every buffer due by `tick` (called by clock()).
    void advanceTo(std::int64_t tick);
    // The tick of the next completion, or -1 when none is scheduled.
    std::int64_t nextEventTick() const;

  private:
    struct Segment;  // one written output buffer
    struct Pending;  // one queued input buffer
    class CardClock;

    MMRESULT log(const char* call, MMRESULT result);
    void forgetLastCall();
    bool formatAccepted(const WAVEFORMATEX* format, std::uint16_t bits,
                        std::uint16_t mostChannels = 1) const;
    std::int64_t ticksFor(double samples, std::uint32_t rate) const;
    void completeInput(Pending& buffer, std::int64_t samplesFilled);
    // `wire`, when given, receives the right channel: the output wired back.
    void fillRecording(std::int16_t* out, std::int16_t* wire, std::int64_t firstPosition,
                       std::int64_t count);
    void fillContinuous(std::int16_t* out, std::int16_t* wire, std::int64_t firstPosition,
                        std::int64_t count);
    double shaped(double value) const;
    std::int64_t inputPositionAt(std::int64_t tick) const;
    std::int64_t reportedInputPosition(std::int64_t tick) const;
    std::int64_t cycleLandingTick(std::int64_t tick, std::int64_t positionAtCall) const;
    void scheduleInput();
    std::int64_t failureTick() const;
    void failNow(std::int64_t tick);
    std::int64_t outputPlayedAt(std::int64_t tick) const;
    void stopOutputAt(std::int64_t tick);
    void drawRandomSlip();
    std::int64_t drawLateStart();

    SimulatedCardConfig config_;
    Clock& timeBase_;
    std::unique_ptr<CardClock> clock_;
    SimulatedCardFaults faults_;
    std::vector<std::string> calls_;
    std::mt19937_64 noiseEngine_;
    std::mt19937_64 slipEngine_;  // randomSlips' draws, apart from the noise's
    std::normal_distribution<double> noise_{0.0, 1.0};
    std::function<double()> gainSource_;
    std::vector<double> response_;  // back to front
    // A response longer than this many taps (a hall's) is convolved by
    // transforms; shorter ones (the room's) by exact sums of products.
    static constexpr std::size_t kLongestSummedResponse = 32768;
    std::unique_ptr<BlockConvolver> longResponse_;
    std::uint32_t responseRate_ = 0;
    SimNonlinearity nonlinearity_;

    std::uintptr_t nextHandle_ = 0x51;
    HWAVEOUT outHandle_ = 0;
    HWAVEIN inHandle_ = 0;
    std::uint32_t outRate_ = 0;
    std::uint16_t outBits_ = 8;
    std::uint32_t inRate_ = 0;
    std::uint16_t inChannels_ = 1;
    std::deque<Segment> segments_;
    std::deque<Pending> inputQueue_;
    bool inputStarted_ = false;
    std::int64_t inputStartTick_ = 0;
    std::int64_t inputPosition_ = 0;   // stream position where the next queued buffer starts
    std::int64_t recordedBefore_ = 0;  // samples recorded since the input's open, earlier starts
    bool failed_ = false;              // the card has failed (faults().failAfterRecordedSamples)
    std::int64_t inputStarts_ = 0;     // since the card was made
    std::int64_t outputStarts_ = 0;    // writes to an idle output, likewise
    std::int64_t outputDropped_ = 0;   // played samples of the buffers no longer kept
    std::int64_t outputOrigin_ = 0;    // the played samples' count at the open or last reset
};

}  // namespace ressona
