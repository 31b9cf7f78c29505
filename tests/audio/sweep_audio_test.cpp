// A logsweep through the private PulseAudio's loopback (a null sink at the
// sweep's rate, recorded through its monitor): 16-bit samples out, the
// deconvolved linear response as flat as the cable it is.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>

#include "audio/audio_server.h"
#include "audio/wave_pass.h"
#include "common/pass_rig.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "sweep/sweep_pass_service.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/clock/clock.h"
#include "analysis/real_transform.h"

namespace ressona {
namespace {

MeasureBackends alsaBackends() {
    MeasureBackends backends = simulatedMeasureBackends();
    backends.makeCard = [](std::string_view name, const SoundCardOptions& options,
                           SoundCard& card) { return makeSoundCard(name, options, card); };
    return backends;
}

// Max - min in dB of the response's spectrum from 40 Hz to 18 kHz: an octave
// above the sweep's start (its fade-in) to a tenth below its end (the roll-off
// of the band's edge).
double spreadDb(std::span<const std::int16_t> response, double rate) {
    std::vector<float> signal(response.begin(), response.end());
    RealTransform transform(static_cast<std::uint32_t>(signal.size()));
    std::vector<ComplexValue> spectrum;
    transform.forward(signal, spectrum);
    double low = 1e300;
    double high = 0.0;
    for (std::size_t k = 1; k < spectrum.size(); ++k) {
        const double hz = k * rate / signal.size();
        if (hz < 40.0 || hz > 18000.0) continue;
        const double magnitude = std::hypot(spectrum[k].re, spectrum[k].im);
        low = std::min(low, magnitude);
        high = std::max(high, magnitude);
    }
    return low > 0.0 ? 20.0 * std::log10(high / low) : 1e9;
}

// The program's own pass over the sweep service on the server's 48 kHz sink,
// without the mixer's levels: the linear response the program is handed.
TEST(AlsaLogSweep, LoopbackResponseIsFlatOverTheSweepsBandEveryRun) {
    RESSONA_NEED_AUDIO_SERVER();
    constexpr std::uint32_t kRate = 48000;
    constexpr std::uint32_t kLength = 4096;
    for (int run = 0; run < 3; ++run) {
        testing::PassRig rig(kRate, kLength);
        auto alsa = makeAlsaWaveService("ressona_r48000");
        SystemClock clock;
        LogSweepSettings settings;
        settings.sampleRate = kRate;
        SweepPassService sweep(*alsa, clock, settings, kLength);
        ASSERT_EQ(openPlayDevice(rig.state, rig.devices, sweep), 0);
        ASSERT_EQ(openRecordDevice(rig.state, rig.devices, sweep), 0);
        ASSERT_EQ(runPass(rig.state, rig.devices, sweep, clock, rig.poster), kPassDone);
        sweep.handOver(rig.state);
        closeRecordDevice(rig.state, rig.devices, sweep);
        closePlayDevice(rig.state, rig.devices, sweep);
        const std::int32_t start = std::clamp<std::int32_t>(rig.state.latencySamples, 0, kLength);
        const std::span<const std::int16_t> response(rig.state.device.recordBuffer.data() + start,
                                                     kLength);
        const double spread = spreadDb(response, kRate);
        EXPECT_LT(spread, 0.05) << "run " << run;
        const auto spectra = sweep.harmonicSpectra();
        ASSERT_TRUE(spectra);
        const DistortionPoint at1k = spectra->at(1000.0, 1.0 / 3.0);
        EXPECT_NEAR(at1k.fundamentalDb, -6.0, 0.05);
        EXPECT_LT(at1k.thdDb, -90.0);
        std::printf(
            "[ figures  ] Pulse loopback logsweep run %d: flat within %.4f dB from 40 Hz "
            "to 18 kHz, peak %d counts, THD at 1 kHz %.1f dB\n",
            run, spread, int(*std::max_element(response.begin(), response.end())), at1k.thdDb);
    }
}

// The whole measurer on the same loopback: the panel's level bars (half way)
// put -36 dB on the server's volumes, so the response the program keeps in
// 16-bit counts peaks near 200 and its rounding alone ripples by about 0.3 dB.
TEST(AlsaLogSweep, MeasurerRunsTheSweepThroughTheServer) {
    RESSONA_NEED_AUDIO_SERVER();
    std::ostringstream out;
    std::ostringstream err;
    const int status =
        measureMain({"--device", "alsa:ressona_r48000", "--rate", "48000", "--excitation",
                     "logsweep", "--length", "4096", "--json", "--arrays"},
                    alsaBackends(), out, err);
    ASSERT_EQ(status, kMeasureDone) << err.str();
    const nlohmann::json json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json["sweep"]["sweeps"], 1);
    const auto impulse = json["impulseResponse"].get<std::vector<std::int16_t>>();
    const auto peak = std::max_element(impulse.begin(), impulse.end());
    EXPECT_EQ(peak - impulse.begin(), json["sweep"]["leadSamples"].get<int>());
    EXPECT_NEAR(*peak, 13117 / 63.1, 10.0) << "the loopback at -36 dB";
    std::printf(
        "[ figures  ] Pulse loopback logsweep through the measurer: peak %d counts, "
        "flat within %.4f dB from 40 Hz to 18 kHz\n",
        int(*peak), spreadDb(impulse, 48000.0));
}

}  // namespace
}  // namespace ressona
