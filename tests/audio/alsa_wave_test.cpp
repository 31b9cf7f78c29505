// Passes through ALSA into the test server's null sinks and back from their
// monitors: what is played must come back bit-exact, wherever it lands (the
// offset can move by a period depending on when the streams connect).

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>

#include "audio/wave_devices.h"
#include "audio/wave_pass.h"
#include "audio_server.h"
#include "common/pass_rig.h"
#include "control/error_dialogs.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/clock/clock.h"
#include "platform/dialog/error_dialog_service.h"
#include "signals/excitation.h"
#include "state/excitation_mode.h"
#include "signals/sample_arrays.h"

namespace ressona {
namespace {

using testing::PassRig;

void openBoth(PassRig& rig, WaveService& wave) {
    ASSERT_EQ(openPlayDevice(rig.state, rig.devices, wave), 0);
    ASSERT_EQ(openRecordDevice(rig.state, rig.devices, wave), 0);
}

void closeBoth(PassRig& rig, WaveService& wave) {
    closePlayDevice(rig.state, rig.devices, wave);
    closeRecordDevice(rig.state, rig.devices, wave);
}

// The index of the one sample that is not silent, or -1 when there is not exactly one.
long onlyNonSilent(std::span<const std::int16_t> samples) {
    long found = -1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] == 0) continue;
        if (found >= 0) return -1;
        found = static_cast<long>(i);
    }
    return found;
}

class AlsaPulsePass : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(AlsaPulsePass, PulseComesBackBitExact) {
    RESSONA_NEED_AUDIO_SERVER();
    const std::uint32_t rate = GetParam();
    auto wave = makeAlsaWaveService("ressona_r" + std::to_string(rate));
    SystemClock clock;
    PassRig rig(rate, 2048);
    openBoth(rig, *wave);
    for (int pass = 0; pass < 3; ++pass) {
        rig.writePulse(10);
        std::fill(rig.state.device.recordBuffer.begin(), rig.state.device.recordBuffer.end(), 1);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(runPass(rig.state, rig.devices, *wave, clock, rig.poster), kPassDone);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long at = onlyNonSilent(rig.recording());
        ASSERT_GE(at, 0) << "pass " << pass;
        EXPECT_EQ(rig.recording()[static_cast<std::size_t>(at)], -17408);
        EXPECT_EQ(rig.state.device.recordHeader.dwBytesRecorded, rig.state.device.recordBytes);
        EXPECT_GE(seconds, 4096.0 / rate * 0.9);
        std::printf("[ figures  ] %u Hz pass %d: pulse at %ld, latency %d samples, %.3f s\n", rate,
                    pass, at, rig.state.latencySamples, seconds);
    }
    EXPECT_EQ(rig.capturesPosted(), 3u);
    closeBoth(rig, *wave);
}

INSTANTIATE_TEST_SUITE_P(Rates, AlsaPulsePass,
                         ::testing::Values(8000u, 11025u, 22050u, 44100u, 48000u));

// One period of the recording correlated with the sequence: the impulse
// response of the path, circularly, scaled so that a perfect loop gives
// -8704 (half the drive level's step) at its delay.
std::vector<double> correlate(std::span<const std::int16_t> recording, std::size_t from,
                              const std::vector<int>& sequence) {
    const std::size_t length = sequence.size();
    std::vector<double> response(length, 0.0);
    for (std::size_t lag = 0; lag < length; ++lag) {
        long long sum = 0;
        for (std::size_t k = 0; k < length; ++k) {
            const std::size_t n = from + k;
            sum += static_cast<long long>(recording[n]) * sequence[(n + length - lag) % length];
        }
        response[lag] = static_cast<double>(sum) / static_cast<double>(length + 1);
    }
    return response;
}

class AlsaMlsPass : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(AlsaMlsPass, ImpulseResponsePeaksOnceAndTheMagnitudeIsFlat) {
    RESSONA_NEED_AUDIO_SERVER();
    const std::uint32_t rate = GetParam();
    constexpr std::uint32_t kLength = 4096;
    PassRig rig(rate, kLength);
    SampleArrays arrays;
    rig.state.excitationMode = kModeMls;
    ASSERT_EQ(prepareExcitation(rig.state, arrays, TimeOfDay{}), kPrepareDone);
    std::vector<int> sequence(static_cast<std::size_t>(arrays.mlsLength));
    for (std::size_t k = 0; k < sequence.size(); ++k) sequence[k] = arrays.mls.mlsSequence[k + 1];

    auto wave = makeAlsaWaveService("ressona_r" + std::to_string(rate));
    SystemClock clock;
    openBoth(rig, *wave);
    ASSERT_EQ(runPass(rig.state, rig.devices, *wave, clock, rig.poster), kPassDone);
    closeBoth(rig, *wave);

    // A period from the middle of the pass, clear of the start whatever the offset.
    const std::size_t from = (2 * kLength - sequence.size()) / 2;
    const std::vector<double> h = correlate(rig.recording(), from, sequence);
    std::size_t peakAt = 0;
    for (std::size_t i = 1; i < h.size(); ++i) {
        if (std::abs(h[i]) > std::abs(h[peakAt])) peakAt = i;
    }
    double secondLargest = 0.0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (i != peakAt)
            secondLargest = std::max(secondLargest, std::abs(h[i] - h[(peakAt + 1) % h.size()]));
    }
    EXPECT_NEAR(h[peakAt], -8704.0, 8704.0 * 0.01);
    EXPECT_LT(secondLargest, std::abs(h[peakAt]) * 0.01) << "more than one peak";

    // The magnitude over 100 Hz .. 0.4 fs, relative to its mean.
    const double length = static_cast<double>(h.size());
    double lowest = 1e300;
    double highest = 0.0;
    for (std::size_t k = 1; k < h.size() / 2; ++k) {
        const double frequency = k * rate / length;
        if (frequency < 100.0 || frequency > 0.4 * rate) continue;
        std::complex<double> sum = 0.0;
        for (std::size_t n = 0; n < h.size(); ++n)
            sum += h[n] *
                   std::polar(1.0, -2.0 * M_PI * static_cast<double>(k * n % h.size()) / length);
        lowest = std::min(lowest, std::abs(sum));
        highest = std::max(highest, std::abs(sum));
    }
    const double spreadDb = 20.0 * std::log10(highest / lowest);
    EXPECT_LT(spreadDb, 0.5);
    std::printf("[ figures  ] MLS %u Hz: peak %.1f at lag %zu, magnitude spread %.4f dB\n", rate,
                h[peakAt], peakAt, spreadDb);
    releaseSampleArrays(arrays);
}

INSTANTIATE_TEST_SUITE_P(Rates, AlsaMlsPass, ::testing::Values(22050u, 48000u));

TEST(AlsaSoundCard, DefaultDeviceRunsAPassEndToEnd) {
    RESSONA_NEED_AUDIO_SERVER();
    SoundCard card;
    ASSERT_EQ(makeSoundCard("alsa", {}, card), kSoundCardMade);
    EXPECT_EQ(card.name, "alsa:default");
    EXPECT_FALSE(card.simulated);
    PassRig rig(22050, 1024);  // the server's default sink runs at 22050 Hz
    openBoth(rig, *card.wave);
    rig.writePulse(10);
    ASSERT_EQ(runPass(rig.state, rig.devices, *card.wave, *card.clock, rig.poster), kPassDone);
    EXPECT_EQ(rig.capturesPosted(), 1u);
    EXPECT_GE(onlyNonSilent(rig.recording()), 0);
    EXPECT_LT(std::abs(rig.state.latencySamples), 22050 / 2);
    // Stop: a pass on closed devices fails without posting.
    closeBoth(rig, *card.wave);
    EXPECT_EQ(runPass(rig.state, rig.devices, *card.wave, *card.clock, rig.poster), kPassFailed);
    EXPECT_EQ(rig.capturesPosted(), 1u);
}

TEST(AlsaSoundCard, OpenFailuresGiveTheirCodes) {
    RESSONA_NEED_AUDIO_SERVER();
    struct Case {
        const char* pcm;
        MMRESULT code;
        const char* title;
    };
    for (const Case c : {Case{"ressona_no_such_device", MMSYSERR_BADDEVICEID, "Ressona: Error 52"},
                         Case{"ressona_noserver", MMSYSERR_NODRIVER, "Ressona: Error 53"}}) {
        auto wave = makeAlsaWaveService(c.pcm);
        PassRig rig(22050, 1024);
        EXPECT_EQ(openPlayDevice(rig.state, rig.devices, *wave), static_cast<int>(c.code)) << c.pcm;
        EXPECT_EQ(openRecordDevice(rig.state, rig.devices, *wave), kRecordOpenFailed) << c.pcm;
        EXPECT_EQ(rig.state.lastWaveError, c.code);
        RecordingDialogService dialogs;
        showWaveDeviceError(dialogs, testing::kPanel, rig.state.lastWaveError);
        EXPECT_EQ(dialogs.shown.at(0).title, c.title);
    }
}

TEST(AlsaErrors, OpenErrorsMapOntoTheResultCodes) {
    EXPECT_EQ(waveResultForAlsaOpenError(-EBUSY), MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveResultForAlsaOpenError(-ENOENT), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveResultForAlsaOpenError(-ENODEV), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveResultForAlsaOpenError(-ECONNREFUSED), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveResultForAlsaOpenError(-ENOMEM), MMSYSERR_NOMEM);
    EXPECT_EQ(waveResultForAlsaOpenError(-EINVAL), MMSYSERR_ERROR);
    EXPECT_EQ(waveResultForAlsaOpenError(-EIO), MMSYSERR_ERROR);
}

}  // namespace
}  // namespace ressona
