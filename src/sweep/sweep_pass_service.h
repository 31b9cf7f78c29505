#pragma once
// The sweep measurement under the program's own passes: a wave service
// between the program and the sound card that opens the card's output with
// 16-bit samples and, for each pass the program runs, plays the exponential
// sweep and its silence on the card while recording, deconvolves the
// recording and hands the program, as its capture, the linear impulse
// response cut at its peak. The program then analyses it as it analyses any
// capture (averaging, cuts, taper, transform, smoothing), so every view,
// picture, saved file and report shows it. The harmonic responses of all
// passes are averaged here for the distortion figures.
//
// The program's pass starts recording, then writes its excitation: the sweep
// is played and recorded inside the recording's start, and both of the
// program's buffers complete at once. A sweep that cannot be played or
// recorded fails the program's write, so its pass fails as on a broken card;
// so does a recording that did not keep time with the sweep (a slip found by
// sweep_slip_check.h), which the program reports as a device failure, once
// the sweep has been played again in the same pass and slipped again: a
// sound server may drop or add a cycle now and then, and the sweep played
// again is judged by the same check. Each sweep played again is reported.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/latency_estimate.h"
#include "platform/clock/clock.h"
#include "platform/wave/wave_service.h"
#include "response/transfer_function.h"
#include "state/reference_channel.h"
#include "sweep/harmonic_distortion.h"
#include "sweep/log_sweep.h"
#include "sweep/sweep_deconvolution.h"
#include "sweep/sweep_slip_check.h"

namespace ressona {

struct MeasurementState;

// Samples recorded per sweep: the sweep, the system's decay (at least the
// analysis length) and a quarter of a second for the card's own delay.
std::uint32_t sweepRecordSamples(const LogSweepSettings& settings, std::uint32_t length);

// How many times a pass plays its sweep at most while its recording slips;
// with a reference channel, which finds a slip for certain.
inline constexpr int kSweepPlaysPerPass = 3;
inline constexpr int kSweepPlaysWithReference = 8;

// A sweep whose recording slipped or broke and that was played again.
struct RepeatedSweep {
    std::uint32_t pass = 0;  // 1 for the first pass
    std::string why;         // what happened to its recording, for people
};

class SweepPassService final : public WaveService {
  public:
    // `card` and `clock` (the card's) must outlive the service; length is the
    // program's sample length N, the length of the response handed over.
    // With a reference channel the card's input is opened with two channels
    // (the program still sees one): each sweep's time zero is where it arrived
    // on the reference, the transfer function is the measurement channel's
    // linear response over the reference's, a slip the reference shows is
    // played again up to kSweepPlaysWithReference times, and a reference in
    // which the sweep cannot be found fails the pass (failure() says so).
    SweepPassService(WaveService& card, Clock& clock, const LogSweepSettings& settings,
                     std::uint32_t length, ReferenceChannel reference = ReferenceChannel::kNone);

    const LogSweep& sweep() const { return sweep_; }
    // False when the sweep's recording needs a transform beyond the largest.
    bool ready() const { return deconvolver_.ready(); }
    std::uint32_t sweepsDone() const { return sweepsDone_; }
    // Why the last sweep failed, for people, when the service knows more
    // than its result code says (a slip, a recording that broke); empty otherwise.
    const std::string& failure() const { return failure_; }
    const std::vector<RepeatedSweep>& repeatedSweeps() const { return repeated_; }
    // The timing check of the last sweep recorded.
    const SweepTiming& lastTiming() const { return lastTiming_; }
    // What the card recorded for the last sweep (empty before the first):
    // the capture the program's record buffer stands for.
    std::span<const std::int16_t> lastRecording() const {
        return std::span(recordBuffer_).first(recordedSamples_);
    }

    // Puts the last response into the program's record buffer where the
    // analysis of its capture will start (the record delay plus the latency
    // the pass measured, within 0..N), silence elsewhere. Called just before
    // the program handles the capture.
    void handOver(MeasurementState& state) const;

    // The harmonic spectra of the average of every sweep so far; nothing before the first.
    std::optional<HarmonicSpectra> harmonicSpectra() const;

    // Where the last sweep's first sample landed in its recording, from the
    // card's positions as a pass reads them: the sweep's time zero.
    std::int64_t lastArrival() const { return arrival_; }
    // The transfer function of the average of every sweep so far: the whole
    // linear response, as many samples as the sweep, from each sweep's
    // arrival on (what rang before it at the end), over the sweep's
    // amplitude. Empty before the first sweep.
    TransferFunction transferFunction() const;

    MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                         std::uintptr_t callback, std::uintptr_t instance,
                         std::uint32_t flags) override;
    MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveOutReset(HWAVEOUT handle) override;
    MMRESULT waveOutClose(HWAVEOUT handle) override;
    // The program's pass reads both positions as 0: its buffers complete at
    // once, so it finds the latency 0, and handOver() puts the response there.
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

  private:
    // Records a sweep, checks it and adds it to the sums; a failure is in failure_.
    MMRESULT playSweep();
    MMRESULT recordSweep();
    MMRESULT checkArrival();
    void accumulate();
    bool startPlaying(LatencyEstimate& estimate);
    void readPositions(LatencyEstimate& estimate);
    void addToLinearSum(const SweepResponses& responses, std::vector<double>& sum) const;
    void separateReference();
    bool referenceHoldsSweep() const;
    static MMRESULT prepare(WAVEHDR* header, UINT size);
    static MMRESULT startOfPass(MMTIME* time, UINT size);
    static MMRESULT unprepare(WAVEHDR* header, UINT size);
    static void complete(WAVEHDR* header, std::uint32_t bytes);

    WaveService& card_;
    Clock& clock_;
    LogSweep sweep_;
    std::uint32_t length_;
    std::uint32_t recordSamples_;
    SweepDeconvolver deconvolver_;
    SweepSlipCheck slipCheck_;
    // The transfer function's transform, of the sweep's length, set up with
    // the service so that none is set up after the last sweep; scratch space
    // only, hence mutable.
    mutable RealTransform wholeTransform_;

    HWAVEOUT outHandle_ = 0;
    HWAVEIN inHandle_ = 0;
    // Whether a call names the device this service opened.
    bool ownsOutput(HWAVEOUT handle) const { return handle != 0 && handle == outHandle_; }
    bool ownsInput(HWAVEIN handle) const { return handle != 0 && handle == inHandle_; }
    std::uint32_t channels() const { return reference_ == ReferenceChannel::kNone ? 1 : 2; }
    WAVEHDR* programRecord_ = nullptr;          // the program's record header while queued
    MMRESULT sweepFailure_ = MMSYSERR_NOERROR;  // the program's write fails with it
    std::string failure_;
    SweepTiming lastTiming_;
    std::vector<RepeatedSweep> repeated_;

    std::vector<std::int16_t> playBuffer_;
    std::vector<std::int16_t> recordBuffer_;
    WAVEHDR playHeader_;
    WAVEHDR recordHeader_;

    SweepResponses responses_;
    std::vector<std::int16_t> response_;  // the last linear response, N samples
    std::vector<double> harmonicSum_;     // harmonic responses, each with its peak at 0
    std::vector<double> linearSum_;       // whole linear responses, each from its arrival
    ReferenceChannel reference_;
    std::vector<std::int16_t> referenceRecording_;  // the last sweep's reference channel
    SweepResponses referenceResponses_;
    std::vector<double> referenceSum_;  // the reference's, likewise
    std::int64_t arrival_ = 0;          // where the positions put the last sweep
    std::int64_t lag_ = 0;              // where its response peaked
    bool timedByPositions_ = false;     // arrival_ from the positions, not the peak
    // The offset of the peak from the arrival: the first sweep's, until a
    // second one confirms it as the run's.
    std::optional<std::int64_t> firstOffset_;
    std::optional<std::int64_t> runOffset_;
    bool replayable_ = false;  // the last sweep failed in a way playing again can mend
    std::int64_t outputWritten_ =
        0;  // samples written to the card's output since its open or reset
    std::int64_t sweepOutputStart_ = 0;  // outputWritten_ when the last sweep was written
    bool stepped_ = false;               // the card's input moves in cycles
    std::uint32_t sweepsDone_ = 0;
    std::size_t recordedSamples_ = 0;  // of recordBuffer_, by the last complete sweep
};

}  // namespace ressona
