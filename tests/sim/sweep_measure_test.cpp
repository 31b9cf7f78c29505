// Logsweep measurements: the simulated card's 16-bit output and its distortion
// device, and ressona-measure's --excitation logsweep end to end on them.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "platform/canvas/recording_canvas.h"
#include "platform/sim/simulated_card.h"
#include "platform/sim/simulated_sound_card.h"

namespace ressona {
namespace {

using Json = nlohmann::json;

// Plays the samples on the card (16-bit output) and returns what it recorded.
std::vector<std::int16_t> playSixteenBits(SimulatedCard& card, Clock& clock,
                                          std::vector<std::int16_t> samples) {
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
    HWAVEOUT out = 0;
    HWAVEIN in = 0;
    EXPECT_EQ(card.waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(card.waveInOpen(&in, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<std::int16_t> recorded(samples.size() + 200, 0);
    WAVEHDR play;
    play.lpData = reinterpret_cast<std::uint8_t*>(samples.data());
    play.dwBufferLength = static_cast<std::uint32_t>(samples.size() * 2);
    WAVEHDR record;
    record.lpData = reinterpret_cast<std::uint8_t*>(recorded.data());
    record.dwBufferLength = static_cast<std::uint32_t>(recorded.size() * 2);
    card.waveOutPrepareHeader(out, &play, kWaveHeaderSize);
    card.waveInPrepareHeader(in, &record, kWaveHeaderSize);
    card.waveInAddBuffer(in, &record, kWaveHeaderSize);
    card.waveInStart(in);
    EXPECT_EQ(card.waveOutWrite(out, &play, kWaveHeaderSize), MMSYSERR_NOERROR);
    while ((record.dwFlags.load() & WHDR_DONE) == 0) clock.pause(std::chrono::milliseconds(1));
    card.waveInClose(in);
    card.waveOutClose(out);
    return recorded;
}

TEST(SimulatedCardSixteenBits, LoopbackIsExactAndTheDistortionDeviceFollowsItsCurve) {
    const std::vector<std::int16_t> samples = {0, 32767, -32768, 16384, -16384, 1000, -7, 0};
    for (const SimPreset preset : {SimPreset::kLoopback, SimPreset::kDistortion}) {
        ManualClock time;
        SimulatedCardConfig config;
        config.preset = preset;
        SimulatedCard card(config, time);
        const auto recorded = playSixteenBits(card, card.clock(), samples);
        // The output starts 32.5 samples after the write; the recording holds it from sample 32.
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double x = samples[i] / 32768.0;
            double y = samples[i];
            if (preset == SimPreset::kDistortion)
                y = (x + 0.02 * x * x + 0.01 * x * x * x) * 32768.0;
            EXPECT_EQ(recorded[32 + i],
                      static_cast<std::int16_t>(std::clamp(std::nearbyint(y), -32768.0, 32767.0)))
                << presetName(preset) << " sample " << i;
        }
    }
    // Other widths are still refused.
    ManualClock time;
    SimulatedCard card(SimulatedCardConfig{}, time);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 48000, 144000, 3, 24, 0};
    HWAVEOUT out = 0;
    EXPECT_EQ(card.waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    SoundCard made;
    EXPECT_EQ(makeSimulatedSoundCard("distortion", SoundCardOptions{}, made), kSoundCardMade);
    EXPECT_EQ(made.name, "sim:distortion");
}

struct SweepRun {
    int status = -1;
    std::string out;
    std::string err;
    Json json;
    std::vector<std::string> drawings;  // the texts drawn in the distortion picture
};

SweepRun measure(std::vector<std::string> arguments, SimulatedCardFaults faults = {}) {
    MeasureBackends backends = simulatedMeasureBackends();
    const auto plain = backends.makeCard;
    backends.makeCard = [plain, faults](std::string_view name, const SoundCardOptions& options,
                                        SoundCard& card) {
        const int made = plain(name, options, card);
        if (made == kSoundCardMade) dynamic_cast<SimulatedCard&>(*card.wave).faults() = faults;
        return made;
    };
    SweepRun run;
    backends.saveDrawing = [&run](std::int32_t width, std::int32_t height,
                                  const std::function<void(Canvas&)>& draw, const std::string&) {
        RecordingCanvas canvas(width, height);
        draw(canvas);
        for (const CanvasCall& call : canvas.calls())
            if (call.kind == CanvasCallKind::TextOut) run.drawings.push_back(call.text);
        return 0;
    };
    std::ostringstream out;
    std::ostringstream err;
    run.status = measureMain(arguments, backends, out, err);
    run.out = out.str();
    run.err = err.str();
    run.json = Json::parse(run.out, nullptr, false);
    return run;
}

const std::vector<std::string> kSweep = {"--excitation", "logsweep", "--rate",   "48000",
                                         "--length",     "16384",    "--instant"};

std::vector<std::string> with(std::vector<std::string> more) {
    std::vector<std::string> all = kSweep;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

// The values of a distortion array at the frequencies from..to.
std::vector<double> between(const Json& distortion, const char* key, double from, double to) {
    std::vector<double> values;
    const auto& frequencies = distortion["frequencyHz"];
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        const double f = frequencies[i].get<double>();
        if (f >= from && f <= to) values.push_back(distortion[key][i].get<double>());
    }
    return values;
}

TEST(MeasureLogSweepTest, LoopbackIsFlatThroughTheProgramsAnalysisAndHasNoHarmonics) {
    const SweepRun run = measure(with(
        {"--device", "sim:loopback", "--passes", "2", "--average", "2", "--json", "--arrays"}));
    ASSERT_EQ(run.status, kMeasureDone) << run.err;
    ASSERT_FALSE(run.json.is_discarded()) << run.out;
    const Json& json = run.json;
    EXPECT_EQ(json["settings"]["excitation"], "logsweep");
    EXPECT_EQ(json["passes"], 2);
    EXPECT_EQ(json["sweep"]["sweeps"], 2);
    EXPECT_EQ(json["sweep"]["samples"], 65536);
    const auto magnitude = json["magnitudeSpectrum"].get<std::vector<double>>();
    const double binWidth = json["binWidth"].get<double>();
    double low = 1e300;
    double high = 0.0;
    for (std::size_t k = 1; k <= magnitude.size(); ++k) {
        if (k * binWidth < 40.0 || k * binWidth > 18000.0) continue;
        low = std::min(low, magnitude[k - 1]);
        high = std::max(high, magnitude[k - 1]);
    }
    const double spread = 20.0 * std::log10(high / low);
    EXPECT_LT(spread, 0.02);
    std::printf("[ figures  ] loopback logsweep: flat within %.4f dB from 40 Hz to 18 kHz\n",
                spread);
    // The response starts its lead before the peak: the unit response to a sweep at -6 dBFS,
    // 32767 x 10^(-6/20) counts, band-limited to 0 .. 20 kHz with a roll-off over the last
    // eighth of an octave, that is to the share (20000 (1 + 2^-1/8) / 2) / 24000 of the band.
    const auto impulse = json["impulseResponse"].get<std::vector<double>>();
    const auto peak = std::max_element(impulse.begin(), impulse.end());
    EXPECT_EQ(peak - impulse.begin(), json["sweep"]["leadSamples"].get<int>());
    EXPECT_NEAR(*peak, 16423.0 * 10000.0 * (1.0 + std::exp2(-1.0 / 8.0)) / 24000.0, 20.0);
    // Each capture's figures are those of the sweep's recording (the sweep at -6 dBFS on a
    // unit loopback), not of the program's buffer, which holds the response handed over.
    ASSERT_EQ(json["captures"].size(), 2u);
    for (const Json& capture : json["captures"]) {
        ASSERT_TRUE(capture["recordingPeakDbfs"].is_number()) << capture;
        EXPECT_NEAR(capture["recordingPeakDbfs"].get<double>(), -6.0, 0.1);
        EXPECT_EQ(capture["clippedSamples"], 0);
        EXPECT_NEAR(capture["impulsePeakCounts"].get<double>(), *peak, 1.0);
    }
    for (const char* key : {"h2Db", "h3Db", "h4Db", "h5Db", "thdDb"}) {
        for (const Json& level : json["distortion"][key])
            EXPECT_TRUE(level.is_null() || level.get<double>() < -90.0) << key << ' ' << level;
    }
}

TEST(MeasureLogSweepTest, DistortionDeviceReadsItsKnownHarmonicsInJsonTableAndPicture) {
    const SweepRun json = measure(with({"--device", "sim:distortion", "--json"}));
    ASSERT_EQ(json.status, kMeasureDone) << json.err;
    const Json& distortion = json.json["distortion"];
    for (const double h2 : between(distortion, "h2Db", 100.0, 0.9 * 48000 / 4))
        EXPECT_NEAR(h2, -46.0, 0.5);
    for (const double h3 : between(distortion, "h3Db", 100.0, 0.9 * 48000 / 6))
        EXPECT_NEAR(h3, -64.1, 0.5);
    for (const double percent : between(distortion, "h2Percent", 100.0, 10000.0))
        EXPECT_NEAR(percent, 0.5, 0.03);

    const SweepRun table =
        measure(with({"--device", "sim:distortion", "--distortion", "--distortion-png",
                      ::testing::TempDir() + "ressona_distortion.png"}));
    ASSERT_EQ(table.status, kMeasureDone) << table.err;
    std::istringstream lines(table.out.substr(table.out.find("harmonic distortion")));
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    EXPECT_NE(line.find("H2 dB"), std::string::npos);
    int rows = 0;
    while (std::getline(lines, line)) {
        std::istringstream cells(line);
        double hz = 0.0;
        std::string fundamental, h2, h3;
        cells >> hz >> fundamental >> h2 >> h3;
        ++rows;
        if (hz < 100.0) continue;
        if (hz <= 0.9 * 48000 / 4) {
            EXPECT_NEAR(std::stod(h2), -46.0, 0.5) << hz;
        }
        if (hz <= 0.9 * 48000 / 6) {
            EXPECT_NEAR(std::stod(h3), -64.1, 0.5) << hz;
        }
    }
    EXPECT_EQ(rows, 31) << "third-octave centres from 20 Hz to 20 kHz";
    for (const char* name : {"Fundamental", "H2", "H3", "H4", "H5", "1k"})
        EXPECT_NE(std::find(table.drawings.begin(), table.drawings.end(), name),
                  table.drawings.end())
            << name;
}

// A recording that slips during the sweep ends the run as a broken stream
// would, naming the slip; clean recordings through every preset, the room at
// low levels, never do.
TEST(MeasureLogSweepTest, ARecordingThatSlipsFailsTheRunAndCleanOnesNeverDo) {
    const std::string save = ::testing::TempDir() + "ressona_slipped.rsn";
    std::remove(save.c_str());
    for (const std::int64_t slip : {128, -256}) {
        SimulatedCardFaults faults;
        faults.slipAtPosition = 40000;  // two thirds into the sweep
        faults.slipSamples = slip;
        // Every sweep slips, the one played again too.
        const SweepRun run = measure(
            with({"--device", "sim:loopback", "--passes", "2", "--json", "--save", save}), faults);
        EXPECT_EQ(run.status, kMeasureFailed);
        const std::string named =
            "the recording slipped by " + std::to_string(std::llabs(slip)) + " samples";
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Error 4"), std::string::npos) << run.err;
        ASSERT_FALSE(run.json.is_discarded()) << run.out;
        EXPECT_EQ(run.json["passes"], 0);
        EXPECT_EQ(run.json["sweep"]["sweeps"], 0);
        EXPECT_NE(run.json["deviceFailure"]["cause"].get<std::string>().find(named),
                  std::string::npos);
        EXPECT_FALSE(std::ifstream(save).good()) << "nothing of a slipped sweep is saved";
    }
    // Only the first sweep slips: it is played again, and the run goes on and says so.
    SimulatedCardFaults once;
    once.slipAtPosition = 40000;
    once.slipSamples = -128;
    once.slippingStarts = 1;
    const SweepRun repeated = measure(
        with({"--device", "sim:loopback", "--passes", "2", "--json", "--arrays", "--save", save}),
        once);
    ASSERT_EQ(repeated.status, kMeasureDone) << repeated.err;
    EXPECT_EQ(repeated.json["sweep"]["sweeps"], 2);
    EXPECT_EQ(repeated.json["sweep"]["sweepsRepeated"], 1);
    const std::string warning =
        "pass 1: the recording slipped by 128 samples during the sweep (the sound stream lost or "
        "gained samples unreported); the sweep was played again";
    EXPECT_NE(repeated.err.find(warning), std::string::npos) << repeated.err;
    EXPECT_EQ(repeated.json["warnings"], Json::array({warning}));
    const auto impulse = repeated.json["impulseResponse"].get<std::vector<double>>();
    const auto peak = std::max_element(impulse.begin(), impulse.end());
    std::size_t echoes = 0;  // a second peak, where the slipped part would have put it
    for (std::size_t n = 0; n < impulse.size(); ++n) {
        const bool far = n + 32 < std::size_t(peak - impulse.begin()) ||
                         n > std::size_t(peak - impulse.begin()) + 32;
        echoes += far && std::fabs(impulse[n]) > 0.05 * *peak;
    }
    EXPECT_EQ(echoes, 0u) << "the response is that of the sweep played again";
    EXPECT_TRUE(std::ifstream(save).good());
    std::remove(save.c_str());

    const std::vector<std::vector<std::string>> clean = {
        {"--device", "sim:loopback", "--passes", "2"},
        {"--device", "sim:distortion", "--sweep-level", "0"},
        {"--device", "sim:room"},
        {"--device", "sim:room", "--speaker-level", "20", "--mic-level", "20"},
        {"--device", "sim:loopback", "--sweep-level", "-50", "--sweep-samples", "16384"},
    };
    for (const auto& arguments : clean) {
        const SweepRun run = measure(with(arguments));
        EXPECT_EQ(run.status, kMeasureDone) << arguments[1] << ' ' << arguments.back() << run.err;
    }
}

// A sweep that sounds cycles later than the positions say, summed with the
// others, would comb the response; whichever sweep of the run it is (the
// first, the one that confirms it, a later pass's), it is played again and
// the response is the clean run's, sample for sample.
TEST(MeasureLogSweepTest, ASweepThatStartsLateIsPlayedAgainNotSummed) {
    const std::vector<std::string> arguments =
        with({"--device", "sim:loopback", "--passes", "2", "--json", "--arrays"});
    const SweepRun clean = measure(arguments);
    ASSERT_EQ(clean.status, kMeasureDone) << clean.err;
    for (const std::int64_t lateAt : {1, 2, 3}) {
        SimulatedCardFaults faults;
        faults.lateStartAt = lateAt;
        faults.lateStartSamples = 256;
        const SweepRun late = measure(arguments, faults);
        ASSERT_EQ(late.status, kMeasureDone) << "sweep " << lateAt << ": " << late.err;
        EXPECT_EQ(late.json["sweep"]["sweepsRepeated"], 1) << "sweep " << lateAt;
        ASSERT_EQ(late.json["warnings"].size(), 1u) << "sweep " << lateAt;
        EXPECT_NE(late.json["warnings"][0].get<std::string>().find(
                      "(a playback started late or early unreported); the sweep was played again"),
                  std::string::npos)
            << late.json["warnings"][0];
        EXPECT_EQ(late.json["impulseResponse"], clean.json["impulseResponse"])
            << "sweep " << lateAt;
        EXPECT_EQ(late.json["transferFunction"], clean.json["transferFunction"])
            << "sweep " << lateAt;
    }
}

TEST(MeasureLogSweepTest, SweepOptionsAreCheckedBeforeAnythingIsMeasured) {
    const std::vector<std::vector<std::string>> bad = {
        {"--sweep-from", "20"},                               // without logsweep
        {"--distortion"},                                     // without logsweep
        {"--excitation", "logsweep", "--sweep-to", "22000"},  // above 0.45 x 48000... at 22050 Hz
        {"--excitation", "logsweep", "--sweep-samples", "30000"},
        {"--excitation", "logsweep", "--sweep-samples", "2097152"},
        {"--excitation", "logsweep", "--sweep-level", "3"},
        {"--excitation", "logsweep", "--sweep-level", "loud"},
        {"--excitation", "logsweep", "--sweep-from", "15000", "--sweep-to", "20000", "--rate",
         "48000"},
        {"--excitation", "logsweep", "--artificial"},
        {"--excitation", "logsweep", "--distortion", "--json"},
        {"--excitation", "logsweep", "--rate", "48000", "--sweep-samples", "1048576",
         "--sweep-from", "5000", "--sweep-to", "10000"},
    };
    for (const auto& arguments : bad) {
        const SweepRun run = measure(arguments);
        EXPECT_EQ(run.status, kMeasureBadCommandLine) << arguments.back();
        EXPECT_EQ(run.out, "");
    }
}

}  // namespace
}  // namespace ressona
