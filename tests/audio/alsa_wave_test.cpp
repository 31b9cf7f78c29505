// Passes through ALSA into the test servers' loopback sinks and back from
// their monitors, on PulseAudio and PipeWire: what is played must come back
// bit-exact, and the pass's latency must say where it landed (the landing
// place itself moves by a server cycle depending on when the streams meet).

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <tuple>

#include "audio/wave_devices.h"
#include "audio/wave_pass.h"
#include "audio_server.h"
#include "common/pass_rig.h"
#include "control/error_dialogs.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/clock/clock.h"
#include "platform/dialog/error_dialog_service.h"
#include "signals/excitation.h"
#include "signals/sample_arrays.h"
#include "state/excitation_mode.h"

namespace ressona {
namespace {

using testing::PassRig;
using testing::SoundServer;

// The loopback of a server at a rate.
using ServerRate = std::tuple<SoundServer, std::uint32_t>;

std::string serverRateName(const ::testing::TestParamInfo<ServerRate>& info) {
    return std::string(testing::serverName(std::get<0>(info.param))) + "_" +
           std::to_string(std::get<1>(info.param));
}

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

class AlsaPulsePass : public ::testing::TestWithParam<ServerRate> {};

// Every pass, the first after the open included, holds the pulse, bit-exact,
// and its latency is where the pulse landed less where it was played.
TEST_P(AlsaPulsePass, PulseComesBackBitExactWhereTheLatencySays) {
    const auto [server, rate] = GetParam();
    RESSONA_NEED_SOUND_SERVER(server);
    auto wave = makeAlsaWaveService(testing::loopbackPcm(server, rate));
    SystemClock clock;
    PassRig rig(rate, 2048);
    rig.armPassCheck();
    openBoth(rig, *wave);
    for (int pass = 0; pass < 3; ++pass) {
        rig.writePulse(10);
        std::fill(rig.state.device.recordBuffer.begin(), rig.state.device.recordBuffer.end(), 1);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(runPass(rig.state, rig.devices, *wave, clock, rig.poster), kPassDone)
            << "device failure " << rig.state.lastWaveError << ", pass " << pass;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long at = onlyNonSilent(rig.recording());
        ASSERT_GE(at, 0) << "pass " << pass;
        EXPECT_EQ(rig.recording()[static_cast<std::size_t>(at)], -17408);
        EXPECT_EQ(rig.state.device.recordHeader.dwBytesRecorded, rig.state.device.recordBytes);
        EXPECT_NEAR(rig.state.latencySamples, at - 10, 2) << "pass " << pass;
        EXPECT_GE(seconds, 4096.0 / rate * 0.9);
        std::printf("[ figures  ] %s %u Hz pass %d: pulse at %ld, latency %d samples, %.3f s\n",
                    testing::serverName(server), rate, pass, at, rig.state.latencySamples, seconds);
        for (const std::string& replay : rig.state.passCheck.replays)
            std::printf("[ figures  ]   %s\n", replay.c_str());
    }
    EXPECT_EQ(rig.capturesPosted(), 3u);
    closeBoth(rig, *wave);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, AlsaPulsePass,
    ::testing::Combine(::testing::Values(SoundServer::kPulseAudio, SoundServer::kPipeWire),
                       ::testing::Values(8000u, 11025u, 22050u, 44100u, 48000u)),
    serverRateName);

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

class AlsaMlsPass : public ::testing::TestWithParam<ServerRate> {};

TEST_P(AlsaMlsPass, ImpulseResponsePeaksOnceAndTheMagnitudeIsFlat) {
    const auto [server, rate] = GetParam();
    RESSONA_NEED_SOUND_SERVER(server);
    constexpr std::uint32_t kLength = 4096;
    PassRig rig(rate, kLength);
    SampleArrays arrays;
    rig.state.excitationMode = kModeMls;
    ASSERT_EQ(prepareExcitation(rig.state, arrays, TimeOfDay{}), kPrepareDone);
    std::vector<int> sequence(static_cast<std::size_t>(arrays.mlsLength));
    for (std::size_t k = 0; k < sequence.size(); ++k) sequence[k] = arrays.mls.mlsSequence[k + 1];

    auto wave = makeAlsaWaveService(testing::loopbackPcm(server, rate));
    SystemClock clock;
    rig.armPassCheck(arrays.mlsLength);
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
    // The peak's lag is where the sequence landed: the pass's latency, modulo the period.
    const long period = static_cast<long>(sequence.size());
    EXPECT_EQ(static_cast<long>(peakAt), ((rig.state.latencySamples % period) + period) % period);
    std::printf("[ figures  ] MLS %s %u Hz: peak %.1f at lag %zu, latency %d, spread %.4f dB\n",
                testing::serverName(server), rate, h[peakAt], peakAt, rig.state.latencySamples,
                spreadDb);
    releaseSampleArrays(arrays);
}

INSTANTIATE_TEST_SUITE_P(Servers, AlsaMlsPass,
                         ::testing::Combine(::testing::Values(SoundServer::kPulseAudio,
                                                              SoundServer::kPipeWire),
                                            ::testing::Values(22050u, 48000u)),
                         serverRateName);

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

// A capture opens with two channels when a reference is asked for, and the
// pass takes them apart: through the server's two-channel loop the right one
// is the pulse as played, the left the pulse through the loop's section.
// Playback stays mono, and no more than two channels are recorded.
TEST(AlsaSoundCard, ACaptureOpensWithTwoChannelsForAReference) {
    RESSONA_NEED_AUDIO_SERVER();
    auto wave = makeAlsaWaveService("ressona_reference");
    SystemClock clock;
    // Long enough that the pulse comes back within the recording on a busy
    // machine too, where the server's latency grows to several cycles.
    PassRig rig(48000, 8192);
    rig.state.reference.channel = ReferenceChannel::kRight;
    rig.writePulse(10);
    ASSERT_EQ(openPlayDevice(rig.state, rig.devices, *wave), 0);
    ASSERT_EQ(openRecordDevice(rig.state, rig.devices, *wave), 0);
    EXPECT_EQ(rig.devices.recordFormat.nChannels, 2);
    ASSERT_EQ(runPass(rig.state, rig.devices, *wave, clock, rig.poster), kPassDone)
        << "device failure " << rig.state.lastWaveError << ": " << rig.state.passCheck.failure
        << " (latency " << rig.state.latencySamples << ")";
    const std::vector<std::int16_t>& wire = rig.state.reference.recording;
    ASSERT_EQ(wire.size(), rig.passSamples());
    const long at = onlyNonSilent(wire);
    ASSERT_GE(at, 0) << "the right channel holds the pulse alone";
    EXPECT_EQ(wire[std::size_t(at)], (60 - 128) * 256);
    EXPECT_GT(std::abs(rig.recording()[std::size_t(at)]), 256) << "the left holds its response";
    closeRecordDevice(rig.state, rig.devices, *wave);
    closePlayDevice(rig.state, rig.devices, *wave);

    WAVEFORMATEX stereoOut = recordFormatFor(48000, 2);
    stereoOut.wBitsPerSample = 8;
    stereoOut.nBlockAlign = 2;
    HWAVEOUT out = 0;
    EXPECT_EQ(wave->waveOutOpen(&out, WAVE_MAPPER, &stereoOut, 0, 0, CALLBACK_NULL),
              WAVERR_BADFORMAT);
    WAVEFORMATEX three = recordFormatFor(48000, 2);
    three.nChannels = 3;
    HWAVEIN in = 0;
    EXPECT_EQ(wave->waveInOpen(&in, WAVE_MAPPER, &three, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
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
