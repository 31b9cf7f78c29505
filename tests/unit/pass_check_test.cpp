// The passes' own check: what a loopback, a room and noise give is accepted;
// a slip, an excitation before the latency and one that moved between passes
// are named.

#include "audio/pass_check.h"
#include "signals/mls.h"
#include "state/measurement_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

namespace ressona {
namespace {

constexpr std::int64_t kLatency = 256;

std::vector<std::uint8_t> randomCodes(std::size_t count, unsigned seed) {
    std::mt19937 engine(seed);
    std::vector<std::uint8_t> codes(count);
    for (std::uint8_t& c : codes) c = engine() % 2 ? 60 : 128;  // two levels, as the MLS
    return codes;
}

// The played codes through h (taps from 0), landing at `landing`, with
// Gaussian noise; from `slipAt` on the recording holds the sound of
// `slip` samples earlier (a repeat) or later (a drop).
std::vector<std::int16_t> record(const std::vector<std::uint8_t>& played,
                                 const std::vector<double>& h, std::int64_t landing,
                                 double noise = 0.0, std::int64_t slipAt = -1,
                                 std::int64_t slip = 0, unsigned noiseSeed = 7) {
    const std::int64_t size = std::int64_t(played.size());
    std::vector<double> clean(static_cast<std::size_t>(size), 0.0);
    for (std::int64_t p = 0; p < size; ++p) {
        for (std::size_t k = 0; k < h.size(); ++k) {
            const std::int64_t n = p - landing - std::int64_t(k);
            if (n >= 0 && n < size) clean[std::size_t(p)] += h[k] * (played[n] - 128) * 256.0;
        }
    }
    std::mt19937 engine(noiseSeed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<std::int16_t> out(static_cast<std::size_t>(size));
    for (std::int64_t p = 0; p < size; ++p) {
        const std::int64_t from = slipAt >= 0 && p >= slipAt ? p - slip : p;
        const double y = from >= 0 && from < size ? clean[std::size_t(from)] : 0.0;
        out[std::size_t(p)] =
            std::int16_t(std::lround(std::clamp(y + noise * gauss(engine), -32768.0, 32767.0)));
    }
    return out;
}

// Taps of a band-limited wire: a sinc cutting at 0.45 of the rate under a
// Hamming window, `taps` long, centred half way and `delay` samples later.
std::vector<double> bandLimitedWire(std::size_t taps, double delay, double gain) {
    const double centre = double(taps / 2);
    std::vector<double> h(taps, 0.0);
    for (std::size_t k = 0; k < h.size(); ++k) {
        const double t = double(k) - centre - delay;
        const double x = std::numbers::pi * 0.9 * t;
        h[k] = gain * (t == 0.0 ? 1.0 : std::sin(x) / x) *
               (0.54 + 0.46 * std::cos(std::numbers::pi * t / centre));
    }
    return h;
}

// `h` behind a card's coupling capacitor: a one-pole high-pass at `hz` of
// 48000, over as many taps as a pass's recording can hold.
std::vector<double> acCoupled(std::vector<double> h, double hz) {
    h.resize(8192, 0.0);
    const double pole = std::exp(-2 * std::numbers::pi * hz / 48000.0);
    double out = 0.0, previous = 0.0;
    for (double& tap : h) {
        out = pole * out + tap - previous;
        previous = tap;
        tap = out;
    }
    return h;
}

std::string faultOf(const std::vector<std::uint8_t>& played, const std::vector<std::int16_t>& r,
                    std::int64_t period = 0, std::optional<std::int64_t> reference = {}) {
    return passFault(timePass(played, r, kLatency, period), kLatency, reference);
}

constexpr std::int64_t kPeriod = 4095;

// An MLS of kPeriod as the pass plays it: 8192 codes, its period twice and a bit.
std::vector<std::uint8_t> mlsCodes() {
    std::vector<std::int32_t> sequence(kPeriod);
    fillMlsSequence(12, OneBasedSpan<std::int32_t>(std::span(sequence)));
    std::vector<std::uint8_t> played(8192);
    for (std::size_t i = 0; i < played.size(); ++i)
        played[i] = sequence[i % kPeriod] > 0 ? 60 : 128;
    return played;
}

// Taps of Gaussian noise from `from` on, `level` times exp(-k / samples).
std::vector<double> noisyDecay(std::size_t taps, std::size_t from, double level, double samples,
                               unsigned seed) {
    std::vector<double> h(taps, 0.0);
    std::mt19937 engine(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (std::size_t k = from; k < h.size(); ++k)
        h[k] = level * gauss(engine) * std::exp(-double(k) / samples);
    return h;
}

// A room: direct sound after 20 samples, two strong reflections, a noisy decay.
std::vector<double> roomResponse() {
    std::vector<double> h = noisyDecay(600, 20, 0.05, 150.0, 5);
    h[20] = 0.4;
    h[57] = 0.3;
    h[90] = -0.25;
    return h;
}

TEST(PassCheck, FaithfulRoomNoisyAndBuriedRecordingsPass) {
    const std::vector<std::uint8_t> played = randomCodes(8192, 1);
    const PassTiming wire = timePass(played, record(played, {1.0}, kLatency), kLatency, 4095);
    EXPECT_TRUE(wire.judged);
    EXPECT_EQ(wire.arrival, kLatency);
    EXPECT_EQ(faultOf(played, record(played, {1.0}, kLatency), 4095, 0), "");
    EXPECT_EQ(faultOf(played, record(played, roomResponse(), kLatency, 300.0)), "");
    EXPECT_EQ(faultOf(played, record(played, roomResponse(), kLatency), 0, 20), "");
    // Far below the noise: nothing judged, nothing refused.
    const PassTiming buried =
        timePass(played, record(played, {0.0005}, kLatency, 2000.0), kLatency, 0);
    EXPECT_FALSE(buried.judged);
    // A pulse, as the pulse excitation plays it, at a low level with noise.
    std::vector<std::uint8_t> pulse(8192, 128);
    pulse[10] = 60;
    EXPECT_EQ(faultOf(pulse, record(pulse, {0.02}, kLatency + 3, 20.0), 0, 3), "");
    // Through converters and an input coupled through a capacitor (a
    // high-pass at 1 to 5 Hz): the codes' mean comes back as a step that dies
    // away over the first slices.
    const std::vector<std::uint8_t> mls = mlsCodes();
    for (const double hz : {1.0, 5.0}) {
        const std::vector<double> coupled = acCoupled(bandLimitedWire(48, 0.25, 0.8), hz);
        EXPECT_EQ(faultOf(mls, record(mls, coupled, kLatency, 30.0), kPeriod), "") << hz;
        EXPECT_EQ(faultOf(pulse, record(pulse, coupled, kLatency, 30.0)), "") << hz;
    }
}

TEST(PassCheck, SlipsEitherWayAnywhereAreNamed) {
    const std::vector<std::uint8_t> played = randomCodes(8192, 2);
    for (const std::int64_t slip : {128, -128}) {
        for (const std::int64_t at : {1500, 4300, 7000}) {
            const std::string fault =
                faultOf(played, record(played, {1.0}, kLatency, 0.0, at, slip), 4095);
            EXPECT_NE(fault.find("slipped by " + std::to_string(slip)), std::string::npos)
                << "slip " << slip << " at " << at << ": " << fault;
            EXPECT_NE(faultOf(played, record(played, roomResponse(), kLatency, 100.0, at, slip)),
                      "")
                << "room, slip " << slip << " at " << at;
        }
    }
}

TEST(PassCheck, ExcitationBeforeTheLatencyOrMovedSinceTheFirstPassIsNamed) {
    const std::vector<std::uint8_t> played = randomCodes(8192, 3);
    const std::string early = faultOf(played, record(played, {1.0}, kLatency - 128), 4095);
    EXPECT_NE(early.find("128 samples before"), std::string::npos) << early;
    const std::string late = faultOf(played, record(played, {1.0}, kLatency + 384), 4095, 0);
    EXPECT_NE(late.find("arrived 384 samples after the latency"), std::string::npos) << late;
    // Without a first pass to compare with, a late start looks like a distance.
    EXPECT_EQ(faultOf(played, record(played, {1.0}, kLatency + 384), 4095), "");
    // A pulse or noise that landed thousands of samples after the latency
    // (a playback started late on a busy server) is still found, and then
    // compared with the run's first pass like any other.
    std::vector<std::uint8_t> pulse(4096, 128);
    pulse[10] = 60;
    for (const std::vector<std::uint8_t>& excitation : {pulse, randomCodes(4096, 5)}) {
        const std::int64_t lateBy = 2656;
        const PassTiming timing =
            timePass(excitation, record(excitation, {1.0}, kLatency + lateBy), kLatency, 0);
        EXPECT_TRUE(timing.judged);
        EXPECT_EQ(timing.arrival, kLatency + lateBy);
        const std::string moved = passFault(timing, kLatency, std::optional<std::int64_t>(0));
        EXPECT_NE(moved.find("arrived 2656 samples after the latency"), std::string::npos) << moved;
    }
}

// An MLS of two periods that arrived far after the latency is found where
// it arrived, up to a period's lags away; one that arrived so late that only
// its second period matches near the latency (a period early) is named, with
// or without a reference channel, as the recording lacks its steady period.
TEST(PassCheck, AnMlsThatArrivedLateIsFoundOrNamedNotTakenAPeriodEarly) {
    const std::vector<std::uint8_t> played = mlsCodes();
    // A little noise, as every real input has: before the excitation arrives
    // the recording is not digital silence.
    const auto timed = [&](std::int64_t landing) {
        return timePass(played, record(played, {1.0}, landing, 20.0), kLatency, kPeriod);
    };
    const PassTiming aliased = timed(kLatency + 3744);
    EXPECT_TRUE(aliased.periodLate);
    EXPECT_NE(passFault(aliased, kLatency, std::nullopt).find("more than half its period"),
              std::string::npos);
    for (const std::int64_t late : {700, 2500}) {
        const PassTiming found = timed(kLatency + late);
        EXPECT_FALSE(found.periodLate) << late;
        EXPECT_EQ(found.arrival, kLatency + late);
    }
    EXPECT_FALSE(
        timePass(played, record(played, roomResponse(), kLatency, 300.0), kLatency, kPeriod)
            .periodLate);
}

TEST(PassCheck, AStretchSpoiltInPlaceIsNamed) {
    const std::vector<std::uint8_t> played = randomCodes(8192, 4);
    std::vector<std::int16_t> recording = record(played, {1.0}, kLatency, 20.0);
    // A cycle lost and the next one repeated: the samples around stay in place.
    std::copy(recording.begin() + 5000, recording.begin() + 5256, recording.begin() + 5256);
    std::fill(recording.begin() + 5000, recording.begin() + 5256, std::int16_t{0});
    const std::string fault = faultOf(played, recording, 4095);
    EXPECT_NE(fault.find("does not match the excitation"), std::string::npos) << fault;
    EXPECT_EQ(faultOf(played, record(played, roomResponse(), kLatency, 300.0), 4095), "");
    // A quarter of an MLS slice silenced, as the private PipeWire now and
    // then records it: the codes' mean, counted in, had hidden it (the slice
    // stood at 0.88 of the median).
    const std::vector<std::uint8_t> mls = mlsCodes();
    std::vector<std::int16_t> silenced = record(mls, {1.0}, kLatency, 2.0);
    std::fill_n(silenced.begin() + 4100, 252, std::int16_t{0});
    EXPECT_NE(faultOf(mls, silenced, kPeriod).find("from its sample 3328 on"), std::string::npos)
        << faultOf(mls, silenced, kPeriod);
}

// The MLS plays its period twice over, and the response is taken from the
// recording's last period: a cycle lost or repeated so near the end that no
// slice's timing moves still spoils that period (16 dB on a loopback), and
// shows as the recording no longer repeating itself a period later.
TEST(PassCheck, AnMlsRecordingThatStopsRepeatingNearItsEndIsPlayedAgain) {
    const std::vector<std::uint8_t> played = mlsCodes();
    MeasurementState state;
    state.sampleLength = 4096;
    state.device.playBuffer = played;
    state.device.playBytes = 8192;
    state.device.recordBytes = 2 * 8192;
    const auto check = [&](const std::vector<double>& h, double noise, std::int64_t slipAt = -1,
                           std::int64_t slip = 0) {
        state.passCheck = {};
        state.passCheck.armed = true;
        state.passCheck.period = kPeriod;
        state.latencySamples = kLatency;
        state.device.recordBuffer = record(played, h, kLatency, noise, slipAt, slip);
        checkRecordedPass(state);  // the run's first recording, confirmed by the second
        return checkRecordedPass(state).fault;
    };
    EXPECT_EQ(check({1.0}, 2.0), "");
    // (A shift of a few samples leaves a two-level sequence alike in some of
    // them: the sample named is where the difference first stands out.)
    const std::string named = "the recording's samples ";
    for (const auto& [at, slip] : {std::pair{8100, -40}, {8150, 25}, {8180, -3}, {8120, 1}}) {
        const std::string fault = check({1.0}, 2.0, at, slip);
        const std::size_t where = fault.find(named);
        ASSERT_NE(where, std::string::npos) << at << ": " << fault;
        EXPECT_NEAR(std::stol(fault.substr(where + named.size())) + kPeriod, at, 8) << fault;
    }
    // A room answers the first period before it has built up, and a hall
    // whose decay outlasts the period never repeats exactly: neither is a slip.
    EXPECT_EQ(check(roomResponse(), 300.0), "");
    std::vector<double> hall = noisyDecay(6000, 0, 0.03, 2500.0, 3);
    hall[0] = 0.3;
    EXPECT_EQ(check(hall, 50.0), "");
}

// A cycle the stream spoilt in place (zeros, or the cycle before twice)
// moves nothing, yet through a loopback's analysed period it puts the
// response tens of dB off. The periods find it where a later one is there to
// compare with; the analysed period's first samples, which only the silence
// before the arrival precedes, are vouched for by the run's previous pass.
TEST(PassCheck, AnMlsRecordingSpoiltInPlaceIsPlayedAgain) {
    const std::vector<std::uint8_t> played = mlsCodes();
    MeasurementState state;
    state.sampleLength = 4096;
    state.device.playBuffer = played;
    state.device.playBytes = 8192;
    state.device.recordBytes = 2 * 8192;
    constexpr std::size_t kCycle = 256;
    // The fault of the second of two passes, the second spoilt at `at` by `spoil`.
    const auto secondFault = [&](const std::vector<double>& h, double noise, std::size_t at,
                                 auto spoil) {
        state.passCheck = {};
        state.passCheck.armed = true;
        state.passCheck.period = kPeriod;
        state.passCheck.comparesPasses = true;
        state.latencySamples = kLatency;
        state.device.recordBuffer = record(played, h, kLatency, noise);
        EXPECT_EQ(checkRecordedPass(state).fault, "");
        state.device.recordBuffer = record(played, h, kLatency, noise, -1, 0, 8);
        spoil(state.device.recordBuffer, at);
        return checkRecordedPass(state).fault;
    };
    const auto zeros = [](std::vector<std::int16_t>& r, std::size_t at) {
        std::fill_n(r.begin() + std::ptrdiff_t(at), kCycle, std::int16_t{0});
    };
    const auto twice = [](std::vector<std::int16_t>& r, std::size_t at) {
        std::copy_n(r.begin() + std::ptrdiff_t(at - kCycle), kCycle,
                    r.begin() + std::ptrdiff_t(at));
    };
    const auto none = [](std::vector<std::int16_t>&, std::size_t) {};
    const std::string periods = "differ from those a period later";
    const std::string named = "the recording's samples ";
    for (const auto& [at, shift] : {std::pair{3200, 0}, {6250, kPeriod}}) {
        for (const std::string& fault :
             {secondFault({1.0}, 2.0, at, zeros), secondFault({1.0}, 2.0, at, twice)}) {
            ASSERT_NE(fault.find(periods), std::string::npos) << at << ": " << fault;
            EXPECT_NEAR(std::stol(fault.substr(named.size())) + shift, at, 8) << fault;
        }
    }
    const std::string kept = "departs from the run's previous one";
    EXPECT_NE(secondFault({1.0}, 2.0, 4200, zeros).find(kept), std::string::npos);
    // (A cycle twice there stands out of its slice as well.)
    EXPECT_NE(secondFault({1.0}, 2.0, 4200, twice), "");
    EXPECT_EQ(secondFault({1.0}, 2.0, 0, none), "");
    EXPECT_EQ(secondFault(roomResponse(), 300.0, 0, none), "");
    std::vector<double> hall = noisyDecay(6000, 0, 0.03, 2500.0, 3);
    hall[0] = 0.3;
    EXPECT_EQ(secondFault(hall, 50.0, 0, none), "");
}

// A reverberant room: the direct sound well under the reverberation's
// energy, so that the likeness of a slice is near 0.5 and varies by several
// per cent from slice to slice; with the recording's end cutting into the
// last slice it varies more. None of it may be taken for a spoilt stretch.
TEST(PassCheck, AReverberantRoomIsNotTakenForASpoiltStretch) {
    int falseAlarms = 0;
    for (unsigned seed = 0; seed < 40; ++seed) {
        const std::vector<std::uint8_t> played = randomCodes(4096, 100 + seed);
        std::vector<double> h(400, 0.0);
        std::mt19937 engine(seed);
        std::normal_distribution<double> gauss(0.0, 1.0);
        for (std::size_t k = 1; k < h.size(); ++k)
            h[k] = 0.12 * gauss(engine) * std::exp(-double(k) / 120.0);
        h[0] = 0.5;
        const std::string fault = faultOf(played, record(played, h, kLatency, 200.0), 2047);
        if (fault.find("does not match") != std::string::npos) ++falseAlarms;
    }
    EXPECT_EQ(falseAlarms, 0);
}

// The run's first timing needs a second recording that agrees; of two that
// do not, the earlier landing is kept, as a late start only adds delay.
TEST(PassCheck, TheFirstTimingIsConfirmedByASecondRecording) {
    MeasurementState state;
    state.passCheck.armed = true;
    state.passCheck.period = 4095;
    state.latencySamples = kLatency;
    const std::vector<std::uint8_t> played = randomCodes(8192, 5);
    state.device.playBuffer = played;
    state.device.playBytes = 8192;
    state.device.recordBytes = 2 * 8192;
    const auto recordAt = [&](std::int64_t landing) {
        state.device.recordBuffer = record(played, {1.0}, landing);
        return checkRecordedPass(state);
    };
    PassVerdict first = recordAt(kLatency + 480);
    EXPECT_TRUE(first.confirming);
    EXPECT_EQ(first.fault, "");
    PassVerdict second = recordAt(kLatency);
    EXPECT_NE(second.fault.find("480 and 0 samples"), std::string::npos) << second.fault;
    PassVerdict third = recordAt(kLatency);
    EXPECT_FALSE(third.confirming);
    EXPECT_EQ(third.fault, "");
    ASSERT_TRUE(state.passCheck.hasReference);
    EXPECT_EQ(state.passCheck.referenceOffset, 0);
    EXPECT_NE(recordAt(kLatency + 480).fault, "");
    // Positions that put the excitation a period and more off (a server's
    // latency of thousands of samples): the few slices left in the recording
    // match at the periodic excitation's alias, the others not at all.
    const std::vector<std::uint8_t> periodic = [&] {
        std::vector<std::uint8_t> codes = randomCodes(4095, 6);
        codes.resize(8192);
        for (std::size_t n = 4095; n < codes.size(); ++n) codes[n] = codes[n - 4095];
        return codes;
    }();
    state.device.playBuffer = periodic;
    state.passCheck.referenceSlices = 8;
    state.latencySamples = 7200;  // as PulseAudio gave it once beside a build
    state.device.recordBuffer = record(periodic, {1.0}, 7200 - 4095);
    const PassVerdict off = checkRecordedPass(state);
    EXPECT_NE(off.fault.find("slices were found in the recording"), std::string::npos) << off.fault;
}

// A pulse that landed far beyond the lags around the latency (PulseAudio
// once started the playback 2176 samples later than its positions said) is
// looked for through the whole recording, and its timing is confirmed by a
// second recording like any other. A first recording in which nothing is
// found anywhere is played once more, and only a second such recording (a
// hall, a buried signal) counts as one.
TEST(PassCheck, TheRunsFirstRecordingWithNothingFoundIsPlayedOnceMore) {
    std::vector<std::uint8_t> pulse(4096, 128);
    pulse[10] = 0;
    const auto arm = [&](MeasurementState& state, std::vector<std::int16_t> recording) {
        state.passCheck.armed = true;
        state.latencySamples = kLatency;
        state.device.playBuffer = pulse;
        state.device.playBytes = 4096;
        state.device.recordBytes = 2 * 8192;
        state.device.recordBuffer = std::move(recording);
    };
    MeasurementState far;
    arm(far, record(pulse, {1.0}, kLatency + 2176));
    EXPECT_TRUE(checkRecordedPass(far).confirming);
    const PassVerdict confirmed = checkRecordedPass(far);
    EXPECT_FALSE(confirmed.confirming);
    EXPECT_EQ(confirmed.fault, "");
    EXPECT_TRUE(far.passCheck.hasReference);
    EXPECT_EQ(far.passCheck.referenceOffset, 2176);

    // A latency beyond the N samples a pass leaves for it would have the
    // analysis take another stretch: the pass is played again.
    MeasurementState slow;
    // The pulse lands past the recording, which holds a little hum.
    std::vector<std::int16_t> hum = record(pulse, {1.0}, 5000);
    for (std::int16_t& v : hum) v = std::int16_t(v + 2);
    arm(slow, hum);
    slow.sampleLength = 4096;
    slow.latencySamples = 5000;
    const PassVerdict tooLate = checkRecordedPass(slow);
    EXPECT_NE(tooLate.fault.find("5000 samples into the recording, later than the 4096"),
              std::string::npos)
        << tooLate.fault;
    slow.latencySamples = 4000;
    EXPECT_EQ(checkRecordedPass(slow).fault, "");

    MeasurementState buried;
    arm(buried, record(pulse, {0.0005}, kLatency, 2000.0));
    const PassVerdict nothing = checkRecordedPass(buried);
    EXPECT_TRUE(nothing.confirming);
    EXPECT_EQ(nothing.fault, "");
    const PassVerdict again = checkRecordedPass(buried);
    EXPECT_FALSE(again.confirming) << "played once more only";
    EXPECT_EQ(again.fault, "");
    EXPECT_FALSE(buried.passCheck.hasReference);

    // Nothing but the converter's last step is no hall and no buried signal:
    // the playback never reached the input.
    MeasurementState muted;
    std::vector<std::int16_t> lastStep(8192, 0);
    for (std::size_t i = 0; i < lastStep.size(); i += 3) lastStep[i] = i % 2 ? 1 : -1;
    arm(muted, lastStep);
    EXPECT_EQ(checkRecordedPass(muted).fault, kSilentRecording);
    EXPECT_EQ(checkRecordedPass(muted).fault, kSilentRecording) << "every time";
}

// The sample a fault names as where a recording departs from the one before; -1 for none.
std::int64_t departureIn(const std::string& fault) {
    const std::string named = "departs from the run's previous one from its sample ";
    const std::size_t at = fault.find(named);
    return at == std::string::npos ? -1 : std::stoll(fault.substr(at + named.size()));
}

// A pulse's recordings are compared pass with pass: a drop in the silence
// after it, which nothing else shows, is played again wherever it cut the
// tail; what noise, a level or a moved microphone change is not a fault.
TEST(PassCheck, APulseWhoseTailWasCutIsPlayedAgainAChangedSystemIsNot) {
    std::vector<std::uint8_t> pulse(4096, 128);
    pulse[10] = 0;
    std::vector<double> lowPass(200);
    for (std::size_t k = 0; k < lowPass.size(); ++k) lowPass[k] = 0.123 * std::pow(0.877, k);
    MeasurementState state;
    const auto newRun = [&state] {
        state.passCheck = {};
        state.passCheck.armed = true;
        state.passCheck.comparesPasses = true;
    };
    newRun();
    state.sampleLength = 4096;
    state.device.playBuffer = pulse;
    state.device.playBytes = 4096;
    state.device.recordBytes = 2 * 8192;
    unsigned seed = 1;
    const auto check = [&](const std::vector<double>& h, std::int64_t dropAt = -1,
                           double noise = 2.0) {
        state.latencySamples = kLatency;
        state.device.recordBuffer = record(pulse, h, kLatency, noise, dropAt, -128, ++seed);
        return checkRecordedPass(state);
    };
    EXPECT_TRUE(check(lowPass).confirming);
    EXPECT_EQ(check(lowPass).fault, "");
    // Drops 5 and 34 samples after the pulse (the pulse's own stretch, and
    // one that put an average 0.1 dB off); the good play after a drop is
    // compared with the dropped one, the next with it.
    // (The sample named is where the cut tail first stands out of the noise.)
    for (const std::int64_t after : {5, 34}) {
        const std::int64_t at = kLatency + 10 + after;
        EXPECT_NEAR(departureIn(check(lowPass, at).fault), at, 4) << after;
        EXPECT_NEAR(departureIn(check(lowPass).fault), at, 4) << after;
        EXPECT_EQ(check(lowPass).fault, "") << after;
    }
    // A drop where the tail has died into the noise changes nothing.
    EXPECT_EQ(check(lowPass, kLatency + 10 + 200).fault, "");

    std::vector<double> moved(lowPass.size() + 2, 0.0);
    for (std::size_t k = 0; k < lowPass.size(); ++k) moved[k + 2] = -0.7 * lowPass[k];
    EXPECT_EQ(check(moved).fault, "");
    std::vector<double> quieter = moved;
    for (double& tap : quieter) tap *= 0.5;
    EXPECT_EQ(check(quieter).fault, "");

    // A server that resamples lands each pass's pulse elsewhere between two
    // samples: a band-limited pulse half a sample later differs by much of itself.
    const auto bandLimited = [](double delay) { return bandLimitedWire(64, delay, 0.4); };
    newRun();
    for (const double delay : {0.0, 0.3, -0.45, 0.5, 0.1})
        EXPECT_EQ(check(bandLimited(delay)).fault, "") << delay;
    EXPECT_NE(check(bandLimited(0.2), kLatency + 10 + 40).fault, "");

    newRun();
    for (int pass = 0; pass < 20; ++pass)
        EXPECT_EQ(check(roomResponse(), -1, 300.0).fault, "") << pass;
}

// With a reference channel the pass is timed there: the latency becomes the
// reference's arrival (a late start is harmless), a slip on it is found and
// named, and a reference without the excitation is a fault that playing again
// cannot mend.
TEST(PassCheck, AReferenceChannelTimesThePassAndFindsItsSlips) {
    MeasurementState state;
    state.passCheck.armed = true;
    state.passCheck.period = 4095;
    state.reference.channel = ReferenceChannel::kRight;
    const std::vector<std::uint8_t> played = randomCodes(8192, 9);
    state.device.playBuffer = played;
    state.device.playBytes = 8192;
    state.device.recordBytes = 2 * 8192;
    state.device.recordBuffer = record(played, {0.5}, kLatency + 384);
    // Three cycles late, as an unreported late start lands it: no confirming
    // play is needed, each pass is timed by its own reference.
    for (int pass = 0; pass < 2; ++pass) {
        state.latencySamples = kLatency;
        state.reference.recording = record(played, {1.0}, kLatency + 384);
        const PassVerdict late = checkRecordedPass(state);
        EXPECT_EQ(late.fault, "");
        EXPECT_FALSE(late.confirming);
        EXPECT_EQ(state.latencySamples, kLatency + 384);
    }
    // A slip in the middle is found by the slices; one between the stretches
    // they are timed by, in the recording's last samples, by comparing the
    // whole wire. A wire that only adds noise is not taken for either.
    const auto faultWithSlipAt = [&](std::int64_t at, double noise = 0.0, double gain = 1.0) {
        state.latencySamples = kLatency;
        state.reference.recording = record(played, {gain}, kLatency, noise, at, 128);
        const PassVerdict verdict = checkRecordedPass(state);
        EXPECT_FALSE(verdict.conclusive);
        return verdict.fault;
    };
    const std::string slipped = faultWithSlipAt(5000);
    EXPECT_NE(slipped.find("the reference channel shows that the recording slipped by 128"),
              std::string::npos)
        << slipped;
    const std::string atTheEnd = faultWithSlipAt(8150);
    EXPECT_NE(atTheEnd.find("does not repeat the excitation from its sample 7936"),
              std::string::npos)
        << atTheEnd;
    EXPECT_EQ(faultWithSlipAt(-1, 100.0, 0.3), "");
    // One wrong sample, the recording's last, spoils its block's likeness by
    // less than noise does, yet put a response 0.6 dB off behind a low-pass.
    std::int64_t last = 8191;  // the last where a repeat of 128 samples gives another code
    while (played[std::size_t(last - kLatency)] == played[std::size_t(last - kLatency - 128)])
        --last;
    ASSERT_GT(last, 8180);
    const std::string lastSamples = faultWithSlipAt(last);
    EXPECT_NE(lastSamples.find("does not repeat the excitation from its sample " +
                               std::to_string(last) + " on"),
              std::string::npos)
        << lastSamples;
    // A stream that lost its first cycle puts the excitation's start before
    // the recording's.
    state.latencySamples = kLatency;
    state.reference.recording = record(played, {1.0}, -100);
    EXPECT_NE(checkRecordedPass(state).fault.find("arrived 100 samples before the recording began"),
              std::string::npos);

    for (const double noise : {0.0, 300.0}) {
        state.reference.recording = record(played, {0.0}, kLatency, noise);
        const PassVerdict silent = checkRecordedPass(state);
        EXPECT_EQ(silent.fault, kSilentReference) << noise;
        EXPECT_TRUE(silent.conclusive);
    }
    state.reference.recording.clear();  // a recording too short to hold the excitation
    EXPECT_EQ(checkRecordedPass(state).fault, kSilentReference);
}

// A reference through a real card's converters is the codes band-limited
// (their filters cut near 0.45 of the rate) and delayed by a fraction of a
// sample, or through a filter that rings on or an input's coupling
// capacitor, with noise: that is a faithful wire for the MLS and the pulse,
// and a slip on it, even in its last samples, is still named.
TEST(PassCheck, AReferenceThroughConvertersIsAWireAndItsSlipsAreFound) {
    MeasurementState state;
    state.passCheck.armed = true;
    state.reference.channel = ReferenceChannel::kRight;
    const auto converters = [](double delay) { return bandLimitedWire(48, delay, 0.8); };
    // The audio EQ cookbook's low-pass at 0.42 of the rate, Q 0.8.
    std::vector<double> ringing(120, 0.0);
    const double w = 2 * std::numbers::pi * 0.42, alpha = std::sin(w) / 1.6;
    const double b0 = (1 - std::cos(w)) / 2 / (1 + alpha), a1 = -2 * std::cos(w) / (1 + alpha),
                 a2 = (1 - alpha) / (1 + alpha);
    for (std::size_t k = 0; k < ringing.size(); ++k) {
        const double in = k == 0 ? b0 : k == 1 ? 2 * b0 : k == 2 ? b0 : 0.0;
        ringing[k] = in - (k > 0 ? a1 * ringing[k - 1] : 0.0) - (k > 1 ? a2 * ringing[k - 2] : 0.0);
    }
    const std::vector<double> coupled = acCoupled(converters(0.25), 5.0);
    const auto check = [&](const std::vector<std::uint8_t>& played, const std::vector<double>& wire,
                           double noise, std::int64_t slipAt = -1, std::int64_t slip = 0) {
        state.device.playBuffer = played;
        state.device.playBytes = std::uint32_t(played.size());
        state.device.recordBytes = std::uint32_t(2 * played.size());
        state.device.recordBuffer = record(played, {0.5}, kLatency);
        state.latencySamples = kLatency;
        state.reference.recording = record(played, wire, kLatency, noise, slipAt, slip);
        return checkRecordedPass(state).fault;
    };
    std::vector<std::uint8_t> pulse(8192, 128);
    pulse[100] = 255;
    const std::vector<std::uint8_t> mls = mlsCodes();
    for (const auto& wire :
         {converters(0.0), converters(0.25), converters(0.5), converters(-0.4), ringing, coupled}) {
        for (const double noise : {0.0, 30.0}) {
            state.passCheck.period = 0;
            EXPECT_EQ(check(pulse, wire, noise), "") << wire[0] << " " << noise;
            state.passCheck.period = kPeriod;
            EXPECT_EQ(check(mls, wire, noise), "") << wire[0] << " " << noise;
        }
    }
    // The slices find the slips in the middle; the wire the ones in the last
    // block, which it names.
    const std::int64_t arrival = kLatency + 24;
    const std::int64_t lastBlock = 7424 + arrival;
    for (const std::int64_t at : {3000, 6000, 8150}) {
        for (const std::int64_t slip : {128, -128, 3}) {
            const std::string fault = check(mls, converters(0.5), 30.0, at, slip);
            EXPECT_NE(fault.find(at < lastBlock ? "the reference channel shows that the "
                                                  "recording slipped"
                                                : "the reference channel does not repeat the "
                                                  "excitation from its sample " +
                                                      std::to_string(lastBlock)),
                      std::string::npos)
                << at << " " << slip << ": " << fault;
        }
    }
}

}  // namespace
}  // namespace ressona
