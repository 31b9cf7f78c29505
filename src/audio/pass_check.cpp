#include "audio/pass_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "analysis/real_transform.h"
#include "audio/pass_agreement.h"
#include "audio/wire_check.h"
#include "state/measurement_state.h"

namespace ressona {

namespace {

constexpr int kRestCode = 128;
// A slice is judged when its correlation peak is this many times the RMS of
// its correlation over all the lags searched: noise alone peaks at about 4.
constexpr double kStandsClear = 8.0;
// A judged slice still holds this share of its peak at the first judged
// slice's lag, unless the recording slipped between them (a room's later
// reflections can outweigh the direct sound in one slice, never halve it).
constexpr double kSameLagShare = 0.5;
// A judged slice is at least this alike to its recording as the judged
// slices are in the median: a stretch the stream spoilt in place (a cycle lost
// and one repeated, or garbled) is far less alike, while the noise moves the
// likeness of a slice of a thousand samples by a few per cent.
constexpr double kLikenessShare = 0.85;
// ... and further below the median than this many times the spread of a
// likeness measured over that many samples of noise and reverberation.
constexpr double kLikenessSpreads = 5.0;
// ... and its peak at least this share of the product of the energies of the
// timed stretch and of the recording under it there: a real match gives 1
// through a wire and well over a third in a reverberant room, while a lag at
// which the stretch meets the excitation's first samples only with its end
// (an excitation that landed just past the lags searched, after digital
// silence, where the correlation at every other lag is zero) gives a tenth.
constexpr double kLeastMatch = 0.25;
// The sounding samples of a slice that its lag search correlates, and the
// longest stretch they may span (sparse codes, never an excitation's).
constexpr std::int64_t kTimedSamples = 512;
constexpr std::int64_t kLongestTimed = 4096;
// A slice shorter than this is not timed (a pass of 64 samples).
constexpr std::int64_t kShortestSlice = 64;
// Samples an arrival may lie before the latency, or move between passes: a
// rounding of the devices' positions.
constexpr std::int64_t kArrivalSlack = 2;

struct SliceCorrelation {
    std::int64_t first = 0;           // the slice's first played sample
    std::int64_t firstLag = 0;        // lag of correlation[0]
    std::vector<double> correlation;  // over the lags searched
    std::int64_t best = 0;            // index of the largest |correlation|
    bool judged = false;
    double at(std::int64_t lag) const {
        const std::int64_t i = lag - firstLag;
        return i >= 0 && i < std::int64_t(correlation.size()) ? std::fabs(correlation[i]) : 0.0;
    }
    double peak() const { return std::fabs(correlation[std::size_t(best)]); }
};

// The transforms of the lag search, one per size the slices need (a pass's
// slices mostly share one); made once per pass, as their factors cost more
// than a transform.
class LagTransforms {
  public:
    RealTransform& of(std::uint32_t size) {
        for (const auto& transform : transforms_)
            if (transform->size() == size) return *transform;
        // Only peaks are looked for: the one-step transform is precise enough.
        transforms_.push_back(std::make_unique<RealTransform>(size, TransformPrecision::Coarse));
        return *transforms_.back();
    }

  private:
    std::vector<std::unique_ptr<RealTransform>> transforms_;
};

// correlation[m] = sum over k of timed[k] x recording[start + m + k], for
// m = 0 .. lags - 1, where the recording is zero outside what it holds: the
// lag search as one cross-correlation through a transform long enough that
// none of it wraps round.
void correlateAtLags(const std::vector<float>& timed, std::span<const std::int16_t> recording,
                     std::int64_t start, std::int64_t lags, LagTransforms& transforms,
                     std::vector<double>& correlation) {
    const auto width = std::int64_t(timed.size());
    const std::int64_t span = width + lags - 1;
    std::uint32_t size = 4;
    while (size < span) size *= 2;
    RealTransform& transform = transforms.of(size);
    std::vector<float> window(size, 0.0f);
    const std::int64_t from = std::max<std::int64_t>(0, -start);
    const std::int64_t to = std::min<std::int64_t>(span, std::int64_t(recording.size()) - start);
    for (std::int64_t j = from; j < to; ++j)
        window[std::size_t(j)] = recording[std::size_t(start + j)];
    std::vector<float> stretch(size, 0.0f);
    std::copy(timed.begin(), timed.end(), stretch.begin());
    std::vector<ComplexValue> recorded, played;
    transform.forward(window, recorded);
    transform.forward(stretch, played);
    for (std::size_t k = 0; k < recorded.size(); ++k) {
        const ComplexValue a = played[k], b = recorded[k];  // conj(a) x b
        recorded[k] = {a.re * b.re + a.im * b.im, a.re * b.im - a.im * b.re};
    }
    std::vector<float> lagged;
    transform.inverse(recorded, lagged);
    correlation.assign(lagged.begin(), lagged.begin() + lags);
}

double energyOf(const std::vector<float>& values) {
    double sum = 0.0;
    for (const float v : values) sum += double(v) * v;
    return sum;
}

// The energy of recording[from .. from + count - 1], zero outside it.
double recordedEnergy(std::span<const std::int16_t> recording, std::int64_t from,
                      std::int64_t count) {
    double sum = 0.0;
    const std::int64_t first = std::max<std::int64_t>(from, 0);
    const std::int64_t end = std::min<std::int64_t>(from + count, std::int64_t(recording.size()));
    for (std::int64_t i = first; i < end; ++i)
        sum += double(recording[std::size_t(i)]) * recording[std::size_t(i)];
    return sum;
}

SliceCorrelation correlateSlice(std::span<const std::uint8_t> played,
                                std::span<const std::int16_t> recording, std::int64_t first,
                                std::int64_t length, std::int64_t fromLag, std::int64_t toLag,
                                LagTransforms& transforms) {
    SliceCorrelation slice;
    slice.first = first;
    slice.firstLag = fromLag;
    // The slice less its mean (the codes swing from rest to one side, and a
    // mean would correlate at every lag); only samples clear of that mean
    // take part, so a pulse is one sample, and at most kTimedSamples of
    // them: enough to stand clear of the noise, few enough that the check
    // costs a fraction of a millisecond between passes (the likeness, at one
    // lag, then covers the whole slice).
    double mean = 0.0;
    for (std::int64_t n = first; n < first + length; ++n) mean += played[std::size_t(n)];
    mean = mean / double(length) - kRestCode;
    // The timed stretch from its first sounding sample to its last, as dense
    // values (zero where not sounding).
    std::vector<float> timed;
    std::int64_t start = -1;
    std::int64_t sounding = 0;
    for (std::int64_t n = first; n < first + length && sounding < kTimedSamples &&
                                 std::int64_t(timed.size()) < kLongestTimed;
         ++n) {
        const double x = double(played[std::size_t(n)]) - kRestCode - mean;
        const bool sounds = std::fabs(x) >= 0.5;
        if (!sounds && start < 0) continue;
        if (start < 0) start = n;
        timed.push_back(sounds ? float(x) : 0.0f);
        if (sounds) ++sounding;
    }
    if (sounding == 0) return slice;
    while (timed.back() == 0.0f) timed.pop_back();
    correlateAtLags(timed, recording, start + fromLag, toLag - fromLag + 1, transforms,
                    slice.correlation);
    double squares = 0.0;
    for (std::size_t i = 0; i < slice.correlation.size(); ++i) {
        const double c = slice.correlation[i];
        squares += c * c;
        if (std::fabs(c) > slice.peak()) slice.best = std::int64_t(i);
    }
    const double rms = std::sqrt(squares / double(slice.correlation.size()));
    slice.judged =
        rms > 0.0 && slice.peak() >= kStandsClear * rms &&
        slice.peak() >=
            kLeastMatch *
                std::sqrt(energyOf(timed) * recordedEnergy(recording, start + fromLag + slice.best,
                                                           std::int64_t(timed.size())));
    return slice;
}

// How alike the slice and the recording are at one lag: the correlation
// over the product of both energies, over the samples the recording holds,
// each less its mean there. The codes swing from rest to one side, and a card
// whose input is coupled through a capacitor records their mean as a step
// that dies away over tens of milliseconds: counted in the recording's
// energy, it made the first slices of an MLS through a 1 to 5 Hz high-pass
// seem spoilt, and every such pass was refused.
struct Likeness {
    double value = 0.0;
    std::int64_t samples = 0;  // the slice's samples the recording holds at that lag
};

Likeness likeness(std::span<const std::uint8_t> played, std::span<const std::int16_t> recording,
                  std::int64_t first, std::int64_t length, std::int64_t lag) {
    double mean = 0.0;
    for (std::int64_t n = first; n < first + length; ++n) mean += played[std::size_t(n)];
    mean = mean / double(length) - kRestCode;
    const std::int64_t held = std::max<std::int64_t>(first, -lag);
    const std::int64_t heldEnd =
        std::min<std::int64_t>(first + length, std::int64_t(recording.size()) - lag);
    double recordedMean = 0.0;
    for (std::int64_t n = held; n < heldEnd; ++n) recordedMean += recording[std::size_t(n + lag)];
    if (heldEnd > held) recordedMean /= double(heldEnd - held);
    Likeness alike;
    double product = 0.0, playedEnergy = 0.0, recordedEnergy = 0.0;
    for (std::int64_t n = held; n < heldEnd; ++n) {
        const double x = double(played[std::size_t(n)]) - kRestCode - mean;
        const double y = recording[std::size_t(n + lag)] - recordedMean;
        product += x * y;
        playedEnergy += x * x;
        recordedEnergy += y * y;
    }
    alike.samples = std::max<std::int64_t>(0, heldEnd - held);
    const double energies = std::sqrt(playedEnergy * recordedEnergy);
    alike.value = energies > 0.0 ? std::fabs(product) / energies : 0.0;
    return alike;
}

// Whether a slice's likeness lies so far below the median of the pass's that
// the stream must have spoilt it: below kLikenessShare of the median and
// further below it than the spread of a likeness over that many samples
// allows. The likeness of a reverberant room is well below 1 and varies by
// about sqrt((1 - median^2) / samples) from slice to slice (more for the
// short stretch that the recording's end leaves of the last slice); a
// loopback's barely varies, so there the share alone decides.
bool spoilt(const Likeness& slice, double median) {
    if (slice.value >= kLikenessShare * median) return false;
    const double spread = std::sqrt(std::max(0.0, 1.0 - median * median) /
                                    double(std::max<std::int64_t>(1, slice.samples)));
    return slice.value < median - kLikenessSpreads * spread;
}

// The slices that stand clear somewhere in fromLag..toLag; with `inRecording`
// a slice's lags stop where its first sample would land past the
// recording's end (lags that meet no recording would make the noise's
// correlation look smaller than it is).
std::vector<SliceCorrelation> judgedSlices(std::span<const std::uint8_t> played,
                                           std::span<const std::int16_t> recording,
                                           std::int64_t length, std::int64_t fromLag,
                                           std::int64_t toLag, bool inRecording,
                                           LagTransforms& transforms) {
    std::vector<SliceCorrelation> judged;
    for (std::int64_t s = 0; s < kPassCheckSlices; ++s) {
        const std::int64_t last =
            inRecording ? std::min(toLag, std::int64_t(recording.size()) - s * length - 1) : toLag;
        if (last < fromLag) continue;
        SliceCorrelation slice =
            correlateSlice(played, recording, s * length, length, fromLag, last, transforms);
        if (slice.judged) judged.push_back(std::move(slice));
    }
    return judged;
}

}  // namespace

PassTiming timePass(std::span<const std::uint8_t> played, std::span<const std::int16_t> recording,
                    std::int64_t latency, std::int64_t period) {
    PassTiming timing;
    const std::int64_t length = std::int64_t(played.size()) / kPassCheckSlices;
    if (length < kShortestSlice) return timing;
    std::int64_t search = kPassCheckSearchSamples;
    if (period > 0) search = std::clamp<std::int64_t>(period / 2 - 1, 0, search);
    LagTransforms transforms;
    std::vector<SliceCorrelation> judged = judgedSlices(played, recording, length, latency - search,
                                                        latency + search, false, transforms);
    // Nothing near the latency: a server on a busy machine may start the
    // playback thousands of samples later than its positions say, so the
    // excitation is looked for further on before the pass counts as one in
    // which nothing could be found: up to the recording's end, or for a
    // periodic one over a period of lags (beyond, it would match one period
    // early or late as well).
    const std::int64_t recordingEnd = std::int64_t(recording.size());
    const std::int64_t farthest =
        period > 0 ? std::min(recordingEnd, latency - search + period - 1) : recordingEnd;
    if (judged.empty() && latency + search < farthest)
        judged =
            judgedSlices(played, recording, length, latency - search, farthest, true, transforms);
    if (judged.empty()) return timing;
    timing.judged = true;
    timing.judgedSlices = std::int64_t(judged.size());
    timing.arrival = judged.front().firstLag + judged.front().best;
    // A periodic excitation found only in its later periods was found one
    // period early: it arrived more than half a period after the latency,
    // and the recording before it is silent where its first period should be.
    if (period > 0 && judged.size() >= 2 && judged.front().first >= period) {
        timing.periodLate = true;
        return timing;
    }
    for (const SliceCorrelation& slice : judged) {
        if (slice.at(timing.arrival) >= kSameLagShare * slice.peak()) continue;
        timing.slipped = true;
        timing.slipSamples = slice.firstLag + slice.best - timing.arrival;
        return timing;
    }
    if (judged.size() < 3) return timing;
    std::vector<Likeness> likenesses;
    std::vector<double> sorted;
    for (const SliceCorrelation& slice : judged) {
        likenesses.push_back(likeness(played, recording, slice.first, length, timing.arrival));
        sorted.push_back(likenesses.back().value);
    }
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                     sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (std::size_t i = 0; i < judged.size(); ++i) {
        if (!spoilt(likenesses[i], median)) continue;
        timing.spoiltFrom = judged[i].first;
        break;
    }
    return timing;
}

std::string passFault(const PassTiming& timing, std::int64_t latency,
                      std::optional<std::int64_t> reference) {
    if (!timing.judged) return {};
    if (timing.periodLate) {
        return "the excitation arrived more than half its period after the latency (the "
               "playback started late unreported)";
    }
    if (timing.slipped) {
        return "the recording slipped by " + std::to_string(timing.slipSamples) +
               " samples during the pass (the sound stream lost or repeated samples unreported)";
    }
    if (timing.spoiltFrom >= 0) {
        return "the recording does not match the excitation from its sample " +
               std::to_string(timing.spoiltFrom + timing.arrival) +
               " on for a while (the sound stream spoilt samples unreported)";
    }
    const std::int64_t offset = timing.arrival - latency;
    if (offset < -kArrivalSlack) {
        return "the excitation arrived " + std::to_string(-offset) +
               " samples before where the latency puts it (the positions the devices gave are off)";
    }
    if (reference && std::llabs(offset - *reference) > kArrivalSlack) {
        return "the excitation arrived " + std::to_string(offset) +
               " samples after the latency, where the run's first pass had it at " +
               std::to_string(*reference) + " (the playback started late or early unreported)";
    }
    return {};
}

namespace {

// With a reference channel the excitation is timed where it arrived on that
// channel, and the latency becomes that arrival: a playback that started
// late, a latency the positions got wrong or a clock that drifted move both
// channels alike, and the measurement over the reference with them. A slip
// inside the pass is found there for certain, but it is not harmless:
// through a system with memory the cut stream is not what the system gives
// for the excitation on either channel (an MLS through a 1 kHz low-pass came
// out up to 14 dB off), so the pass is played again. A reference that holds
// no excitation is a conclusive fault (the run ends if the next play holds
// none either).
PassVerdict checkByReference(MeasurementState& state) {
    const PassCheckRecord& check = state.passCheck;
    const DeviceMemory& memory = state.device;
    const std::size_t playSamples =
        std::min<std::size_t>(memory.playBytes, memory.playBuffer.size());
    const PassTiming timing =
        timePass({memory.playBuffer.data(), playSamples}, state.reference.recording,
                 state.latencySamples, check.period);
    if (!timing.judged) return {std::string(kSilentReference), false, true};
    state.latencySamples = static_cast<std::int32_t>(timing.arrival);
    PassVerdict verdict;
    verdict.arrival = timing.arrival;
    if (timing.slipped || timing.spoiltFrom >= 0 || timing.periodLate) {
        verdict.fault = "the reference channel shows that " +
                        passFault(timing, state.latencySamples, std::nullopt);
        return verdict;
    }
    const std::int64_t mismatch = wireMismatchFrom({memory.playBuffer.data(), playSamples},
                                                   state.reference.recording, timing.arrival);
    if (mismatch >= 0)
        verdict.fault = "the reference channel does not repeat the excitation from its sample " +
                        std::to_string(mismatch + timing.arrival) +
                        " on (the sound stream lost, repeated or spoilt samples unreported)";
    return verdict;
}

// The analysis takes its N samples from where the latency (and a record
// delay) puts the excitation, and no later than sample N of the 2N recorded:
// a latency beyond that would have it analyse another stretch than the
// excitation's (31 dB off for an MLS that PulseAudio under a build started
// 5760 samples late), so such a pass is played again.
// An excitation whose first samples landed before the recording began (a
// stream that lost its first cycle, timed on a reference) is not all there.
std::string latencyFault(const MeasurementState& state) {
    if (state.latencySamples < 0)
        return "the excitation arrived " + std::to_string(-state.latencySamples) +
               " samples before the recording began (the sound stream lost samples unreported)";
    const std::int64_t start = std::int64_t(state.latencySamples) + state.recordDelaySamples;
    if (start <= std::int64_t(state.sampleLength)) return {};
    return "the excitation arrived " + std::to_string(state.latencySamples) +
           " samples into the recording, later than the " + std::to_string(state.sampleLength) +
           " a pass leaves for the latency (the playback started late unreported)";
}

// Whether a recording holds nothing but the converter's last step: a
// hall or a buried signal still holds their noise, while a playback that
// never reached the input (a busy server that did not start it within the
// pass, twice in a row, gave a response of zeros as the first pass) or a
// muted input holds nothing to analyse.
bool silent(std::span<const std::int16_t> recording) {
    return std::all_of(recording.begin(), recording.end(),
                       [](std::int16_t v) { return std::abs(int(v)) <= 1; });
}

// The samples the pass recorded, as far as the buffer holds them.
std::span<const std::int16_t> recordedSamples(const DeviceMemory& memory) {
    return {memory.recordBuffer.data(),
            std::min<std::size_t>(memory.recordBytes / sizeof(std::int16_t),
                                  memory.recordBuffer.size())};
}

// Where the excitation arrived, or where it was not found: where the run's
// timing puts it.
std::int64_t arrivalOf(const MeasurementState& state, const PassVerdict& verdict) {
    const PassCheckRecord& check = state.passCheck;
    return verdict.arrival >= 0
               ? verdict.arrival
               : state.latencySamples + (check.hasReference ? check.referenceOffset : 0);
}

PassVerdict checkTiming(MeasurementState& state) {
    PassCheckRecord& check = state.passCheck;
    if (state.reference.present()) return checkByReference(state);
    const DeviceMemory& memory = state.device;
    const std::size_t playSamples =
        std::min<std::size_t>(memory.playBytes, memory.playBuffer.size());
    const std::span<const std::int16_t> recording = recordedSamples(memory);
    const PassTiming timing = timePass({memory.playBuffer.data(), playSamples}, recording,
                                       state.latencySamples, check.period);
    const std::optional<std::int64_t> reference =
        check.hasReference ? std::optional(check.referenceOffset) : std::nullopt;
    PassVerdict verdict{passFault(timing, state.latencySamples, reference)};
    if (timing.judged) verdict.arrival = timing.arrival;
    // The same system gives the same slices a clear peak in every pass: far
    // fewer of them means positions that put the excitation off the recording
    // (a server's latency of thousands of samples, where a periodic
    // excitation's few slices left in the recording still match at an alias).
    if (verdict.fault.empty() && check.hasReference &&
        2 * timing.judgedSlices < check.referenceSlices)
        verdict.fault = "only " + std::to_string(timing.judgedSlices) + " of the pass's " +
                        std::to_string(kPassCheckSlices) +
                        " slices were found in the recording, where the run's first pass had " +
                        std::to_string(check.referenceSlices) + " (the latency the devices gave, " +
                        std::to_string(state.latencySamples) + " samples, is off)";
    if (!verdict.fault.empty() || check.hasReference) return verdict;
    if (!timing.judged && silent(recording)) {
        verdict.fault = kSilentRecording;
        return verdict;
    }
    if (!timing.judged) {
        // Nothing found in the run's first recording may be a hall or a
        // buried signal, or an excitation that landed beyond the lags
        // searched (a playback started thousands of samples later than its
        // positions say): it is played once more before it counts.
        if (!check.firstOffset && !check.unjudgedReplayed) {
            check.unjudgedReplayed = true;
            verdict.confirming = true;
        }
        return verdict;
    }
    const std::int64_t offset = timing.arrival - state.latencySamples;
    if (!check.firstOffset) {
        check.firstOffset = offset;
        verdict.confirming = true;
    } else if (std::llabs(offset - *check.firstOffset) <= kArrivalSlack) {
        check.hasReference = true;
        check.referenceOffset = offset;
        check.referenceSlices = timing.judgedSlices;
    } else {
        verdict.fault = "two recordings put the excitation " + std::to_string(*check.firstOffset) +
                        " and " + std::to_string(offset) +
                        " samples after the latency (a playback started late or early unreported)";
        // A late start only adds to the distance: the earlier landing is the likelier.
        check.firstOffset = std::min(offset, *check.firstOffset);
    }
    return verdict;
}

// The pass's recording from the excitation's arrival on (where it was not
// found: where the run's timing puts it), N samples long or up to its end,
// against the one kept from before; the first is kept and played once more.
// A periodic excitation's is compared from a quarter period before its
// analysed (last) period to the end: that period takes samples of the first
// period after the arrival, which the silence before cannot vouch for, and
// earlier the room may still ring with the pass before.
// A recording that departs from the kept one is kept instead: if the kept
// one was the spoilt recording, the next play agrees with this one; if the
// system changed, the later passes do.
void compareWithKept(MeasurementState& state, PassVerdict& verdict) {
    PassCheckRecord& check = state.passCheck;
    const std::span<const std::int16_t> recording = recordedSamples(state.device);
    const auto size = std::int64_t(recording.size());
    std::int64_t start = std::clamp<std::int64_t>(arrivalOf(state, verdict), 0, size);
    if (check.period > 0)
        start = std::clamp<std::int64_t>(size - check.period - check.period / 4, start, size);
    const std::size_t left = recording.size() - std::size_t(start);
    const std::span<const std::int16_t> window = recording.subspan(
        std::size_t(start),
        check.period > 0 ? left : std::min<std::size_t>(state.sampleLength, left));
    if (check.kept.empty()) {
        check.kept.assign(window.begin(), window.end());
        verdict.confirming = true;
        return;
    }
    const PassDeparture departure = departureFrom(check.kept, window);
    if (departure.from < 0) return;
    check.kept.assign(window.begin(), window.end());
    if (!departure.afterAgreement) return;
    verdict.confirming = false;
    verdict.fault = "the recording departs from the run's previous one from its sample " +
                    std::to_string(start + departure.from) +
                    " on, far beyond their noise (the sound stream lost or repeated samples "
                    "unreported, or the system changed)";
}

// A periodic excitation's recording against itself a period later, from
// where the excitation arrived.
void comparePeriods(const MeasurementState& state, PassVerdict& verdict) {
    const PassCheckRecord& check = state.passCheck;
    const PeriodDeparture departure =
        periodDeparture(recordedSamples(state.device), arrivalOf(state, verdict), check.period);
    if (departure.from < 0) return;
    verdict.confirming = false;
    verdict.fault = "the recording's samples " + std::to_string(departure.from) + " to " +
                    std::to_string(departure.to - 1) +
                    " differ from those a period later far beyond its noise (the sound stream "
                    "lost, repeated or spoilt samples unreported)";
}

}  // namespace

PassVerdict checkRecordedPass(MeasurementState& state) {
    const PassCheckRecord& check = state.passCheck;
    if (check.capturesAreResponses) return {};
    if (!state.reference.present() && !check.armed) return {};
    PassVerdict verdict = checkTiming(state);
    if (!verdict.fault.empty()) return verdict;
    if (std::string late = latencyFault(state); !late.empty()) return {std::move(late)};
    if (check.period > 0) comparePeriods(state, verdict);
    // A spoilt recording is not kept: the next play is compared with the
    // last good one.
    if (verdict.fault.empty() && check.comparesPasses) compareWithKept(state, verdict);
    return verdict;
}

}  // namespace ressona
