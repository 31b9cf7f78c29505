#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "state/measurement_state.h"
#include "audio/capture_figures.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "platform/sim/simulated_card.h"
#include "platform/sim/simulated_sound_card.h"

namespace ressona {
namespace {

using Json = nlohmann::json;

// What a wave service in the middle saw, kept by the test beyond the run.
struct WaveLog {
    int writes = 0;       // buffers played: one per pass
    int failAddFrom = 0;  // from this pass on (1-based) adding the record buffer fails; 0: never
};

// Forwards to the card and counts; fails a pass when told to.
class LoggingWave final : public WaveService {
  public:
    LoggingWave(std::unique_ptr<WaveService> inner, std::shared_ptr<WaveLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}
    MMRESULT waveOutOpen(HWAVEOUT* h, UINT d, const WAVEFORMATEX* f, std::uintptr_t c,
                         std::uintptr_t i, std::uint32_t fl) override {
        return inner_->waveOutOpen(h, d, f, c, i, fl);
    }
    MMRESULT waveOutPrepareHeader(HWAVEOUT h, WAVEHDR* w, UINT s) override {
        return inner_->waveOutPrepareHeader(h, w, s);
    }
    MMRESULT waveOutUnprepareHeader(HWAVEOUT h, WAVEHDR* w, UINT s) override {
        return inner_->waveOutUnprepareHeader(h, w, s);
    }
    MMRESULT waveOutWrite(HWAVEOUT h, WAVEHDR* w, UINT s) override {
        ++log_->writes;
        return inner_->waveOutWrite(h, w, s);
    }
    MMRESULT waveOutReset(HWAVEOUT h) override { return inner_->waveOutReset(h); }
    MMRESULT waveOutClose(HWAVEOUT h) override { return inner_->waveOutClose(h); }
    MMRESULT waveOutGetPosition(HWAVEOUT h, MMTIME* t, UINT s) override {
        return inner_->waveOutGetPosition(h, t, s);
    }
    MMRESULT waveInOpen(HWAVEIN* h, UINT d, const WAVEFORMATEX* f, std::uintptr_t c,
                        std::uintptr_t i, std::uint32_t fl) override {
        return inner_->waveInOpen(h, d, f, c, i, fl);
    }
    MMRESULT waveInPrepareHeader(HWAVEIN h, WAVEHDR* w, UINT s) override {
        return inner_->waveInPrepareHeader(h, w, s);
    }
    MMRESULT waveInUnprepareHeader(HWAVEIN h, WAVEHDR* w, UINT s) override {
        return inner_->waveInUnprepareHeader(h, w, s);
    }
    MMRESULT waveInAddBuffer(HWAVEIN h, WAVEHDR* w, UINT s) override {
        ++adds_;
        if (log_->failAddFrom > 0 && adds_ >= log_->failAddFrom) return MMSYSERR_ERROR;
        return inner_->waveInAddBuffer(h, w, s);
    }
    MMRESULT waveInStart(HWAVEIN h) override { return inner_->waveInStart(h); }
    MMRESULT waveInReset(HWAVEIN h) override { return inner_->waveInReset(h); }
    MMRESULT waveInClose(HWAVEIN h) override { return inner_->waveInClose(h); }
    MMRESULT waveInGetPosition(HWAVEIN h, MMTIME* t, UINT s) override {
        return inner_->waveInGetPosition(h, t, s);
    }

  private:
    std::unique_ptr<WaveService> inner_;
    std::shared_ptr<WaveLog> log_;
    int adds_ = 0;
};

struct PictureCall {
    MeasurePicture picture = MeasurePicture::Time;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string path;
    std::uint32_t samplesAnalysed = 0;  // the sample counter when it was drawn
};

// The simulated backends with a logging wave service, optional faults and a
// picture writer that records its calls.
struct Harness {
    std::shared_ptr<WaveLog> log = std::make_shared<WaveLog>();
    SimulatedCardFaults faults;
    std::vector<PictureCall> pictures;
    int pictureStatus = 0;
    int prepared = 0;

    MeasureBackends backends() {
        MeasureBackends b = simulatedMeasureBackends();
        const auto plain = b.makeCard;
        b.prepare = [this] { ++prepared; };
        b.makeCard = [this, plain](std::string_view name, const SoundCardOptions& options,
                                   SoundCard& card) {
            const int made = plain(name, options, card);
            if (made != kSoundCardMade) return made;
            dynamic_cast<SimulatedCard&>(*card.wave).faults() = faults;
            card.wave = std::make_unique<LoggingWave>(std::move(card.wave), log);
            return made;
        };
        b.savePicture = [this](MeasurementState& state, SampleArrays&, const SpectrumTools&,
                               MeasurePicture picture, std::int32_t w, std::int32_t h,
                               const std::string& path) {
            pictures.push_back({picture, w, h, path, state.sampleCounter});
            // Writes what it is given, as the real writer does, unless told to fail.
            if (pictureStatus == 0) std::ofstream(path, std::ios::binary) << "picture " << w;
            return pictureStatus;
        };
        return b;
    }

    struct Result {
        int status = -1;
        std::string out;
        std::string err;
        std::optional<Json> json;
    };
    Result run(std::vector<std::string> arguments) {
        std::ostringstream out;
        std::ostringstream err;
        Result result;
        result.status = measureMain(arguments, backends(), out, err);
        result.out = out.str();
        result.err = err.str();
        if (Json parsed = Json::parse(result.out, nullptr, false); !parsed.is_discarded()) {
            result.json = std::move(parsed);
        }
        return result;
    }
};

std::vector<std::string> withArgs(std::vector<std::string> base, std::vector<std::string> more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

const std::vector<std::string> kLoopbackMls = {
    "--device", "sim:loopback", "--excitation", "mls", "--length",  "4096",
    "--rate",   "48000",        "--passes",     "3",   "--instant", "--json"};

// Max - min of the magnitude in dB over positions 2..M (position 1 is 0 Hz).
double spreadDb(const std::vector<double>& magnitude) {
    const auto [low, high] = std::minmax_element(magnitude.begin() + 1, magnitude.end());
    return 20.0 * std::log10(*high / *low);
}

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + name;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MeasureCommandLineTest, BadValuesEndWithStatusTwoAndMeasureOrWriteNothing) {
    const std::string save = tempPath("measure_never_written.rsn");
    std::filesystem::remove(save);
    const std::vector<std::vector<std::string>> bad = {
        {"--rate", "12345"},
        {"--length", "100"},
        {"--length", "32768"},
        {"--excitation", "chirp"},
        {"--passes", "0"},
        {"--cuts", "900,100"},
        {"--db", "5,5"},
        {"--hz", "0,20000"},
        {"--tone", "12000"},
        {"--delay", "1025"},
        {"--steps", "1025"},
        {"--size", "10x10"},
        {"--view", "3d"},
        {"--device", "oss"},
        {"--bogus"},
        {"--passes"},
        {"--json=yes"},
        {"--subtract"},
        {"--read", "a.rsn", "--capture"},
        {"--read", std::string(251, 'x')},
        {"--read", "trailing.rsn "},
    };
    for (const auto& arguments : bad) {
        Harness harness;
        const auto result = harness.run(withArgs(arguments, {"--save", save}));
        EXPECT_EQ(result.status, kMeasureBadCommandLine) << arguments[0];
        EXPECT_TRUE(result.out.empty()) << arguments[0];
        const std::string option = arguments[0].substr(0, arguments[0].find('='));
        EXPECT_NE(result.err.find(option), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("--help"), std::string::npos);
        EXPECT_EQ(harness.prepared, 0) << "nothing is started for " << arguments[0];
    }
    EXPECT_FALSE(std::filesystem::exists(save));

    Harness harness;
    const auto help = harness.run({"--passes", "3", "--help"});
    EXPECT_EQ(help.status, kMeasureDone);
    EXPECT_NE(help.out.find("--time-png"), std::string::npos);
    EXPECT_EQ(harness.prepared, 0);
    EXPECT_EQ(harness.log->writes, 0);
}

TEST(MeasureRunTest, MlsOnTheLoopbackIsFlatAndReportsEveryField) {
    Harness harness;
    const auto result = harness.run(withArgs(kLoopbackMls, {"--arrays"}));
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    ASSERT_TRUE(result.json) << "not JSON:\n" << result.out;
    const Json& json = *result.json;
    EXPECT_EQ(json["device"]["name"].get<std::string>(), "sim:loopback");
    EXPECT_EQ(json["device"]["chosenBy"].get<std::string>(), "option");
    EXPECT_TRUE(json["device"]["thread"].is_null()) << "no thread waits on a simulated card";
    EXPECT_EQ(json["passes"].get<double>(), 3);
    EXPECT_EQ(json["sampleCounter"].get<double>(), 3);
    EXPECT_EQ(json["latencySamples"].get<double>(), 32);
    EXPECT_EQ(json["triggerSample"].get<double>(), 32);
    EXPECT_EQ(json["binWidth"].get<double>(), 48000.0 / 4096.0);
    EXPECT_EQ(json["settings"]["excitation"].get<std::string>(), "mls");
    EXPECT_EQ(json["settings"]["sampleRate"].get<double>(), 48000);
    EXPECT_EQ(json["settings"]["sampleLength"].get<double>(), 4096);
    EXPECT_EQ(json["monitor"]["sample"].get<std::string>(), "Sample 3");
    EXPECT_EQ(json["monitor"]["trigger"].get<std::string>(), "Trigger at 32");
    EXPECT_EQ(json["monitor"]["latency"].get<std::string>(), "Latency 32 Samples");
    EXPECT_TRUE(json["errors"].empty());
    EXPECT_EQ(harness.log->writes, 4)
        << "the passes asked for are played, and once more the first to confirm its timing";

    ASSERT_EQ(json["passSeconds"].size(), 3u);
    ASSERT_EQ(json["processSeconds"].size(), 2u);
    for (double seconds : json["passSeconds"].get<std::vector<double>>()) EXPECT_GE(seconds, 0.0);
    for (double seconds : json["processSeconds"].get<std::vector<double>>())
        EXPECT_GE(seconds, 0.0);

    const std::vector<double> magnitude = json["magnitudeSpectrum"].get<std::vector<double>>();
    ASSERT_EQ(magnitude.size(), 2048u);
    EXPECT_EQ(json["phaseSpectrum"].size(), 2048u);
    EXPECT_EQ(json["timeTrace"].size(), 4096u);
    EXPECT_FALSE(json.contains("capturedSpectrum"));
    const std::vector<double> impulse = json["impulseResponse"].get<std::vector<double>>();
    ASSERT_EQ(impulse.size(), 4096u);
    const auto peak = std::max_element(impulse.begin(), impulse.end(), [](double a, double b) {
        return std::abs(a) < std::abs(b);
    });
    EXPECT_EQ(peak - impulse.begin(), 0) << "the trigger sits where the excitation starts";
    const double spread = spreadDb(magnitude);
    EXPECT_LT(spread, 0.05) << "flat across the band within " << spread << " dB";
    std::printf(
        "[ figures  ] loopback MLS 4096/48000: magnitude within %.6f dB over positions 2..2048\n",
        spread);
}

TEST(MeasureRunTest, TheSimulatedRoomIsNotFlat) {
    Harness harness;
    auto arguments = kLoopbackMls;
    arguments[1] = "sim:room";
    const auto result = harness.run(withArgs(arguments, {"--arrays"}));
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    const std::vector<double> magnitude =
        (*result.json)["magnitudeSpectrum"].get<std::vector<double>>();
    const double spread = spreadDb(magnitude);
    EXPECT_GT(spread, 10.0);
    // A loudspeaker in a room: little below its low cut-off, most in the middle.
    const double binWidth = (*result.json)["binWidth"].get<double>();
    auto levelAt = [&](double hz) { return magnitude.at(static_cast<std::size_t>(hz / binWidth)); };
    EXPECT_LT(levelAt(30.0), levelAt(1000.0) / 4);
    std::printf("[ figures  ] simulated room MLS 4096/48000: magnitude spans %.1f dB\n", spread);
}

TEST(MeasureRunTest, EverySettingReachesTheProgramThroughThePanel) {
    Harness harness;
    const auto result = harness.run({"--device",
                                     "sim:loopback",
                                     "--instant",
                                     "--json",
                                     "--rate",
                                     "44100",
                                     "--length",
                                     "1024",
                                     "--excitation",
                                     "sine",
                                     "--tone",
                                     "1000",
                                     "--average",
                                     "3",
                                     "--frequency-domain",
                                     "--hanning",
                                     "--third-octave",
                                     "--artificial",
                                     "--delay",
                                     "-100",
                                     "--cuts",
                                     "100,900",
                                     "--db",
                                     "-60,10",
                                     "--fix-db",
                                     "--hz",
                                     "20,20000",
                                     "--shift",
                                     "-5",
                                     "--steps",
                                     "12",
                                     "--waterfall-start",
                                     "200",
                                     "--view",
                                     "waterfall",
                                     "--line",
                                     "--passes",
                                     "4"});
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    const Json& s = (*result.json)["settings"];
    EXPECT_EQ(s["sampleRate"].get<double>(), 44100);
    EXPECT_EQ(s["sampleLength"].get<double>(), 1024);
    EXPECT_EQ(s["excitation"].get<std::string>(), "sine");
    EXPECT_EQ(s["toneHz"].get<double>(), 1000);
    EXPECT_EQ(s["average"].get<double>(), 3);
    EXPECT_EQ(s["averageIn"].get<std::string>(), "frequency");
    EXPECT_TRUE(s["halfHanning"].get<bool>());
    EXPECT_TRUE(s["thirdOctave"].get<bool>());
    EXPECT_TRUE(s["artificial"].get<bool>());
    EXPECT_EQ(s["delaySamples"].get<double>(), -100);
    EXPECT_EQ(s["lowerCut"].get<double>(), 100);
    EXPECT_EQ(s["upperCut"].get<double>(), 900);
    EXPECT_TRUE(s["fixDb"].get<bool>());
    EXPECT_EQ(s["dbLow"].get<double>(), -60) << "a fixed scale keeps the typed range";
    EXPECT_EQ(s["dbHigh"].get<double>(), 10);
    EXPECT_EQ(s["hzLow"].get<double>(), 20);
    EXPECT_EQ(s["hzHigh"].get<double>(), 20000);
    EXPECT_EQ(s["shiftDb"].get<double>(), -5);
    EXPECT_EQ(s["waterfallSteps"].get<double>(), 12);
    EXPECT_EQ(s["waterfallStart"].get<double>(), 200);
    EXPECT_EQ(s["view"].get<std::string>(), "waterfall");
    EXPECT_EQ(s["input"].get<std::string>(), "line");
    // Average of 3 over 4 passes counts 1, 2, 3, 1; Artificial analyses from the delay alone.
    EXPECT_EQ((*result.json)["sampleCounter"].get<double>(), 1);
    EXPECT_EQ((*result.json)["triggerSample"].get<double>(), 0) << "clamped: never below 0";
    EXPECT_EQ((*result.json)["monitor"]["delay"].get<std::string>(), "Adjust by -2.27 mSecs");
    EXPECT_EQ(harness.log->writes, 4);
}

TEST(MeasureRunTest, RangesAboveThePresentOnesAreEnteredWithoutClamping) {
    // The panel keeps low below high in each edit: entering 10 as the low dB
    // while the high one is still 3 would be clamped.
    Harness harness;
    const auto result =
        harness.run(withArgs(kLoopbackMls, {"--db", "10,40", "--fix-db", "--hz", "40000,50000"}));
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    const Json& s = (*result.json)["settings"];
    EXPECT_EQ(s["dbLow"].get<double>(), 10);
    EXPECT_EQ(s["dbHigh"].get<double>(), 40);
    EXPECT_EQ(s["hzLow"].get<double>(), 40000);
    EXPECT_EQ(s["hzHigh"].get<double>(), 50000);
}

TEST(MeasureRunTest, DbRangeWithoutFixingIsWhereTheAutomaticScaleStarts) {
    Harness harness;
    const auto result = harness.run(withArgs(kLoopbackMls, {"--db", "-200,-150"}));
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    const Json& s = (*result.json)["settings"];
    EXPECT_FALSE(s["fixDb"].get<bool>());
    // The loopback's flat response lies far above -150 dB: the scale moved to it.
    EXPECT_GT(s["dbHigh"].get<double>(), -150);
    EXPECT_GT(s["dbLow"].get<double>(), -200);
}

TEST(MeasureRunTest, SavedResultReadsBackAsTheCapturedCurve) {
    const std::string path = tempPath("measure_round_trip.rsn");
    std::filesystem::remove(path);
    auto room = kLoopbackMls;
    room[1] = "sim:room";
    Harness first;
    const auto saved = first.run(withArgs(room, {"--arrays", "--save", path}));
    ASSERT_EQ(saved.status, kMeasureDone) << saved.err;
    ASSERT_TRUE(std::filesystem::exists(path));

    Harness second;
    const auto read = second.run(withArgs(room, {"--arrays", "--read", path, "--subtract"}));
    ASSERT_EQ(read.status, kMeasureDone) << read.err;
    const Json& json = *read.json;
    EXPECT_TRUE(json["settings"]["showCaptured"].get<bool>());
    EXPECT_TRUE(json["settings"]["subtract"].get<bool>());
    const std::vector<double> original =
        (*saved.json)["magnitudeSpectrum"].get<std::vector<double>>();
    const std::vector<double> captured = json["capturedSpectrum"].get<std::vector<double>>();
    ASSERT_EQ(captured.size(), original.size());
    for (std::size_t k = 0; k < original.size(); ++k) {
        // The file holds five decimals.
        ASSERT_NEAR(captured[k], original[k], 0.51e-5) << "position " << k + 1;
    }
    std::filesystem::remove(path);
}

TEST(MeasureRunTest, CaptureInAnotherViewGoesThroughTheStandardViewAndBack) {
    Harness harness;
    const auto result = harness.run(
        withArgs(kLoopbackMls, {"--arrays", "--view", "phase", "--capture", "--subtract"}));
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    const Json& json = *result.json;
    EXPECT_EQ(json["settings"]["view"].get<std::string>(), "phase");
    EXPECT_TRUE(json["settings"]["subtract"].get<bool>());
    EXPECT_EQ(json["capturedSpectrum"].get<std::vector<double>>(),
              json["magnitudeSpectrum"].get<std::vector<double>>());
}

// Each picture is drawn into a file beside its target and renamed over it
// once written; one that cannot be written leaves the target as it was.
TEST(MeasureRunTest, PicturesAreDrawnAfterThePassesInTheChosenView) {
    const std::string time = tempPath("measure_t.png");
    const std::string freq = tempPath("measure_f.png");
    std::ofstream(freq, std::ios::binary) << "an older picture";
    Harness harness;
    const auto result =
        harness.run(withArgs(kLoopbackMls, {"--view", "histogram", "--time-png", time, "--freq-png",
                                            freq, "--size", "640x300"}));
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    ASSERT_EQ(harness.pictures.size(), 2u);
    EXPECT_EQ(harness.pictures[0].picture, MeasurePicture::Time);
    EXPECT_EQ(harness.pictures[1].picture, MeasurePicture::Histogram);
    for (const PictureCall& call : harness.pictures) {
        EXPECT_EQ(call.width, 640);
        EXPECT_EQ(call.height, 300);
        EXPECT_EQ(call.samplesAnalysed, 3u);
        EXPECT_EQ(std::filesystem::path(call.path).parent_path(),
                  std::filesystem::path(time).parent_path());  // beside the target
    }
    EXPECT_NE(harness.pictures[0].path, time);
    EXPECT_EQ(contents(time), "picture 640");
    EXPECT_EQ(contents(freq), "picture 640");
    EXPECT_FALSE(std::filesystem::exists(harness.pictures[0].path)) << "renamed into place";

    Harness failing;
    failing.pictureStatus = 1;
    std::ofstream(freq, std::ios::binary) << "an older picture";
    const auto failed = failing.run(withArgs(kLoopbackMls, {"--freq-png", freq}));
    EXPECT_EQ(failed.status, kMeasureFailed);
    EXPECT_NE(failed.err.find(freq), std::string::npos);
    EXPECT_EQ((*failed.json)["failures"].size(), 1u);
    EXPECT_EQ(contents(freq), "an older picture");
    const auto nowhere = failing.run(withArgs(kLoopbackMls, {"--freq-png", "/nowhere/f.png"}));
    EXPECT_EQ(nowhere.status, kMeasureFailed);
    EXPECT_NE(nowhere.err.find("/nowhere/f.png"), std::string::npos);

    // A path of bytes that are not UTF-8 still gives valid JSON, the bytes replaced.
    Harness oddName;
    oddName.pictureStatus = 1;
    const auto odd =
        oddName.run(withArgs(kLoopbackMls, {"--freq-png", "/nowhere/\xff\xC0\xAF.png"}));
    ASSERT_TRUE(odd.json) << odd.out;
    const std::string failure = (*odd.json)["failures"][0].get<std::string>();
    EXPECT_NE(failure.find("/nowhere/\xEF\xBF\xBD"), std::string::npos) << failure;
    EXPECT_NE(odd.out.find("\"delayMs\": 0.0,"), std::string::npos)
        << "floats in their shortest form";
}

TEST(MeasureFailureTest, ErrorDialogsArePrintedAndEndWithStatusOne) {
    {  // a file that is not there: "Error 8", and the run itself still reported
        Harness harness;
        const auto result =
            harness.run(withArgs(kLoopbackMls, {"--read", tempPath("no_such.rsn")}));
        EXPECT_EQ(result.status, kMeasureFailed);
        EXPECT_NE(result.err.find("Ressona: Error 8: "), std::string::npos) << result.err;
        ASSERT_TRUE(result.json);
        ASSERT_EQ((*result.json)["errors"].size(), 1u);
        EXPECT_EQ((*result.json)["errors"][0]["number"].get<double>(), 8);
        EXPECT_EQ((*result.json)["errors"][0]["title"].get<std::string>(), "Ressona: Error 8");
        EXPECT_EQ((*result.json)["passes"].get<double>(), 3);
    }
    {  // a file that cannot be written: "Error 10"
        Harness harness;
        const auto result =
            harness.run(withArgs(kLoopbackMls, {"--save", "/nonexistent/dir/x.rsn"}));
        EXPECT_EQ(result.status, kMeasureFailed);
        EXPECT_NE(result.err.find("Ressona: Error 10: "), std::string::npos) << result.err;
    }
    {  // the output device in use: "Error 51", nothing played, nothing saved
        const std::string path = tempPath("measure_not_saved.rsn");
        std::filesystem::remove(path);
        Harness harness;
        harness.faults.outOpenResult = MMSYSERR_ALLOCATED;
        const auto result = harness.run(withArgs(kLoopbackMls, {"--save", path}));
        EXPECT_EQ(result.status, kMeasureFailed);
        EXPECT_NE(result.err.find("Ressona: Error 51: "), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("stopped after"), std::string::npos) << "the dialog says it all";
        EXPECT_EQ((*result.json)["passes"].get<double>(), 0);
        EXPECT_EQ(harness.log->writes, 0);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

// A --read that fails leaves nothing to subtract: the result the user asked
// for cannot be made, so no file is written and none that was there replaced.
TEST(MeasureFailureTest, AFailedReadWritesNothingAndReplacesNothing) {
    const std::string important = tempPath("measure_important.rsn");
    const std::string keep = tempPath("measure_keep.txt");
    const std::string picture = tempPath("measure_withheld.png");
    for (const std::string& path : {important, keep}) {
        std::ofstream(path, std::ios::binary) << "the user's own file\n";
    }
    std::filesystem::remove(picture);
    Harness harness;
    const auto subtracted =
        harness.run(withArgs(kLoopbackMls, {"--read", tempPath("missing.rsn"), "--subtract",
                                            "--save", important, "--freq-png", picture}));
    EXPECT_EQ(subtracted.status, kMeasureFailed);
    EXPECT_NE(subtracted.err.find("Ressona: Error 8: "), std::string::npos) << subtracted.err;
    EXPECT_TRUE(contents(important) == "the user's own file\n") << "replaced";
    EXPECT_TRUE(harness.pictures.empty());
    EXPECT_FALSE(std::filesystem::exists(picture));
    EXPECT_NE(subtracted.err.find("nothing was written"), std::string::npos) << subtracted.err;

    const auto plain =
        harness.run(withArgs(kLoopbackMls, {"--read", tempPath("missing.rsn"), "--save", keep}));
    EXPECT_EQ(plain.status, kMeasureFailed);
    EXPECT_TRUE(contents(keep) == "the user's own file\n") << "replaced";
}

// A run that stops before its last pass, or an error dialog at Start, writes nothing either.
TEST(MeasureFailureTest, ARunThatDidNotGoAsAskedWritesNoOutput) {
    const std::string path = tempPath("measure_stopped.rsn");
    std::ofstream(path, std::ios::binary) << "kept\n";
    Harness stopped;
    stopped.log->failAddFrom = 3;
    const auto result = stopped.run(
        withArgs(kLoopbackMls, {"--passes", "5", "--save", path, "--time-png", tempPath("t.png")}));
    EXPECT_EQ(result.status, kMeasureFailed);
    EXPECT_TRUE(contents(path) == "kept\n") << "replaced";
    EXPECT_TRUE(stopped.pictures.empty());

    Harness busy;
    busy.faults.inOpenResult = MMSYSERR_ALLOCATED;
    const auto refused = busy.run(withArgs(kLoopbackMls, {"--save", path}));
    EXPECT_EQ(refused.status, kMeasureFailed);
    EXPECT_TRUE(contents(path) == "kept\n") << "replaced";
}

TEST(MeasureFailureTest, APassThatFailsStopsTheRunWithStatusOne) {
    Harness harness;
    // The third pass cannot queue its record buffer (the first is played twice).
    harness.log->failAddFrom = 4;
    const auto result = harness.run(withArgs(kLoopbackMls, {"--passes", "5"}));
    EXPECT_EQ(result.status, kMeasureFailed);
    EXPECT_NE(result.err.find("stopped after 2 of 5 passes"), std::string::npos) << result.err;
    EXPECT_EQ((*result.json)["passes"].get<double>(), 2);
    EXPECT_EQ((*result.json)["passSeconds"].size(), 2u);
    EXPECT_TRUE((*result.json)["errors"].empty()) << "a failing pass shows no dialog";
}

// A card that fails for good in the middle of a run (its server killed): the
// dialog, the failure named on stderr and in the JSON, status 1, the passes
// before it reported, and nothing saved.
TEST(MeasureFailureTest, ADeviceThatFailsDuringTheRunIsNamedAndNothingIsSaved) {
    struct Case {
        MMRESULT code;
        const char* dialog;
        const char* cause;
    };
    for (const Case c : {Case{MMSYSERR_NODRIVER, "Ressona: Error 53: ", "sound server went away"},
                         Case{MMSYSERR_BADDEVICEID, "Ressona: Error 52: ", "sound card went away"},
                         Case{WAVERR_DEVICEFAILED, "Ressona: Error 4: ", "broke off"}}) {
        const std::string path = tempPath("measure_failed_run.rsn");
        std::filesystem::remove(path);
        Harness harness;
        // In the fourth pass (the first is played twice).
        harness.faults.failAfterRecordedSamples = 4 * 8192 + 100;
        harness.faults.failureResult = c.code;
        const auto result = harness.run(withArgs(kLoopbackMls, {"--passes", "10", "--save", path}));
        EXPECT_EQ(result.status, kMeasureFailed);
        EXPECT_NE(result.err.find(c.dialog), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("the run stopped after 3 of 10 passes"), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find(c.cause), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(path)) << "nothing of a broken run is saved";
        ASSERT_TRUE(result.json);
        const Json& json = *result.json;
        EXPECT_EQ(json["passes"].get<int>(), 3);
        EXPECT_EQ(json["captures"].size(), 3u);
        EXPECT_EQ(json["deviceFailure"]["afterPasses"].get<int>(), 3);
        EXPECT_EQ(json["deviceFailure"]["resultCode"].get<std::uint32_t>(), c.code);
        EXPECT_NE(json["deviceFailure"]["cause"].get<std::string>().find(c.cause),
                  std::string::npos);
    }
    Harness harness;  // a run without trouble has none
    const auto result = harness.run(kLoopbackMls);
    EXPECT_TRUE((*result.json)["deviceFailure"].is_null());
}

// The level bars set from the command line as a user drags them, and the
// captures' figures: the room's recording follows the levels (its mixer sets
// the gain), so at low levels the response is coarse and warned of, at full
// levels not.
TEST(MeasureRunTest, LevelsMoveTheBarsAndTheCapturesSayHowFarToTrustThem) {
    const std::vector<std::string> room = {"--device", "sim:room", "--excitation", "mls",
                                           "--length", "4096",     "--rate",       "48000",
                                           "--passes", "2",        "--instant",    "--json"};
    Harness half;
    const auto atHalf = half.run(room);
    EXPECT_EQ((*atHalf.json)["settings"]["speakerLevel"].get<double>(), 50.0) << "the panel's own";
    Harness quiet;
    const auto atLow = quiet.run(withArgs(room, {"--speaker-level", "20", "--mic-level", "20"}));
    ASSERT_EQ(atLow.status, kMeasureDone) << atLow.err;
    const Json& low = *atLow.json;
    EXPECT_EQ(low["settings"]["speakerLevel"].get<double>(), 20.0);
    ASSERT_EQ(low["captures"].size(), 2u);
    EXPECT_EQ(low["captures"][1]["pass"].get<int>(), 2);
    const int lowPeak = low["captures"][0]["impulsePeakCounts"].get<int>();
    EXPECT_LT(lowPeak, kCoarseImpulsePeak);
    ASSERT_EQ(low["warnings"].size(), 1u);
    EXPECT_NE(atLow.err.find("raise --speaker-level or --mic-level"), std::string::npos)
        << atLow.err;

    Harness full;
    const auto atFull = full.run(withArgs(room, {"--speaker-level", "100", "--mic-level", "100"}));
    ASSERT_EQ(atFull.status, kMeasureDone) << atFull.err;
    const Json& high = *atFull.json;
    EXPECT_EQ(high["settings"]["speakerLevel"].get<double>(), 100.0);
    EXPECT_EQ(high["settings"]["micLevel"].get<double>(), 100.0);
    EXPECT_GT(high["captures"][0]["impulsePeakCounts"].get<int>(), 1000);
    EXPECT_GT(high["captures"][0]["recordingPeakDbfs"].get<double>(),
              low["captures"][0]["recordingPeakDbfs"].get<double>() + 20.0);
    EXPECT_TRUE(high["warnings"].empty()) << atFull.err;
    EXPECT_EQ(atFull.err.find("coarse"), std::string::npos);

    // The line input's bar moves like the others.
    Harness line;
    const auto onLine = line.run(withArgs(room, {"--line", "--line-level", "10"}));
    EXPECT_EQ((*onLine.json)["settings"]["lineLevel"].get<double>(), 10.0);
    EXPECT_EQ((*onLine.json)["settings"]["input"].get<std::string>(), "line");
}

TEST(MeasureRunTest, RealTimePassesLastAsLongAsTheirSamples) {
    Harness harness;
    const auto result = harness.run({"--device", "sim:loopback", "--length", "64", "--rate",
                                     "48000", "--passes", "3", "--json"});
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    const double samples = 2 * 64 / 48000.0;  // 2N samples recorded per pass
    for (double seconds : (*result.json)["passSeconds"].get<std::vector<double>>()) {
        EXPECT_GE(seconds, samples);
        EXPECT_LT(seconds, samples + 0.05);
    }
}

TEST(MeasureRunTest, WithoutADeviceTheSimulatedRoomIsChosenAndSaid) {
    Harness harness;
    const auto result = harness.run({"--instant"});
    ASSERT_EQ(result.status, kMeasureDone) << result.err;
    EXPECT_NE(result.err.find("no --device given; measuring with sim:room"), std::string::npos);
    EXPECT_NE(result.out.find("device: sim:room"), std::string::npos);
    EXPECT_NE(result.out.find("Sample 1"), std::string::npos);

    const auto alsa = harness.run({"--device", "alsa", "--instant"});
    EXPECT_EQ(alsa.status, kMeasureFailed) << "this build has simulated cards only";
    EXPECT_NE(alsa.err.find("not available"), std::string::npos);
}

}  // namespace
}  // namespace ressona
