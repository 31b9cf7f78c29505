// A room with a known response on a real path: the private PipeWire's
// convolver plays the loopback through an impulse response this test writes
// (the simulated room's loudspeaker and reflections with a reverberation of
// its own), and the room parameters the measurer finds through it with a
// logsweep must be those it computes from the same WAV file with --ir-wav.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "audio/audio_server.h"
#include "exchange/wav_file.h"
#include "measure/measure_backends.h"
#include "measure/measurement_run.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/sim/acoustic_presets.h"

namespace ressona {
namespace {

using Json = nlohmann::json;

constexpr std::uint32_t kRate = 48000;
// A living room's times, short enough that a sweep of 1.4 s and the
// recording after it hold the decay 60 dB down in every band from 250 Hz up.
constexpr OctaveReverberation kRoomTimes[] = {
    {63, 0.60},   {125, 0.60},  {250, 0.55},  {500, 0.50},
    {1000, 0.45}, {2000, 0.40}, {4000, 0.35}, {8000, 0.30},
};
// The response at half its level, and the sweep 12 dB below full scale: the
// reverberation builds up where the sweep passes its tones slowly (low
// frequencies), and the path must not clip there.
constexpr double kResponseGain = 0.5;

// The room's response as a float WAV at kRate; empty when written.
std::string writeRoomWav(const std::string& path) {
    const std::vector<double> response = reverberantResponse(kRate, kRoomTimes);
    std::vector<float> samples;
    for (double tap : response) samples.push_back(static_cast<float>(kResponseGain * tap));
    return writeFloatWav(path, kRate, samples);
}

Json measured(const std::vector<std::string>& arguments, const MeasureBackends& backends,
              std::string& problems) {
    std::ostringstream out, err;
    const int status = measureMain(arguments, backends, out, err);
    problems += err.str();
    if (status != kMeasureDone) return nullptr;
    return Json::parse(out.str());
}

const Json* octave(const Json& room, double hz) {
    for (const Json& band : room["bands"])
        if (band["kind"] == "octave" && std::fabs(band["centreHz"].get<double>() - hz) < 0.2 * hz)
            return &band;
    return nullptr;
}

// What can come between the two: the sweep's band (20 Hz to 20 kHz), the
// recording's 16-bit rounding (about 120 dB below the direct sound after the
// deconvolution) and the noise after the file's end. None of them reach the
// bands' decays from -5 to -35 dB, so 3 % is far more than the path needs; a
// response cut short, a slipped cycle or a convolver that resampled fail it.
TEST(RoomPipeWire, TheConvolvedRoomMeasuresAsItsFile) {
    RESSONA_NEED_SOUND_SERVER(testing::SoundServer::kPipeWire);
    const std::string wav = ::testing::TempDir() + "ressona-room-pipewire.wav";
    ASSERT_EQ(writeRoomWav(wav), "");
    std::string problems;
    const Json file = measured({"--ir-wav", wav, "--json"}, simulatedMeasureBackends(), problems);
    ASSERT_FALSE(file.is_null()) << problems;

    ASSERT_EQ(testing::pipewireServerScript("convolve", wav), 0) << "the convolver did not load";
    MeasureBackends alsa = simulatedMeasureBackends();
    alsa.makeCard = [](std::string_view name, const SoundCardOptions& options, SoundCard& card) {
        return makeSoundCard(name, options, card);
    };
    const Json through =
        measured({"--device", "alsa:ressona_room", "--rate", "48000", "--excitation", "logsweep",
                  "--sweep-samples", "65536", "--sweep-level", "-12", "--length", "16384",
                  "--speaker-level", "100", "--mic-level", "100", "--room", "--json"},
                 alsa, problems);
    testing::pipewireServerScript("remove");
    std::filesystem::remove(wav);
    ASSERT_FALSE(through.is_null()) << problems;
    const Json& room = through["room"];
    EXPECT_EQ(room["source"], "logsweep");
    std::printf("[ figures  ] PipeWire convolver: sweeps played again %d, warnings %s\n",
                through["sweep"]["sweepsRepeated"].get<int>(),
                through.value("warnings", Json::array()).dump().c_str());

    for (const OctaveReverberation& band : kRoomTimes) {
        if (band.bandHz < 250 || band.bandHz > 4000) continue;
        const Json* fromFile = octave(file["room"], band.bandHz);
        const Json* fromPath = octave(room, band.bandHz);
        ASSERT_TRUE(fromFile != nullptr && fromPath != nullptr) << band.bandHz;
        EXPECT_TRUE((*fromPath)["noiseReached"].get<bool>()) << band.bandHz;
        for (const char* time : {"t20", "t30"}) {
            const Json& expected = (*fromFile)[time];
            const Json& got = (*fromPath)[time];
            ASSERT_TRUE(expected["seconds"].is_number() && got["seconds"].is_number())
                << time << " at " << band.bandHz << " Hz";
            const double ratio = got["seconds"].get<double>() / expected["seconds"].get<double>();
            EXPECT_NEAR(ratio, 1.0, 0.03) << time << " at " << band.bandHz << " Hz";
            // The same reasons, if any: the 250 Hz octave's B x T is below the
            // least the band filter allows.
            EXPECT_EQ(got["reasons"], expected["reasons"]) << time << " at " << band.bandHz;
            std::printf(
                "[ figures  ] PipeWire convolver %5.0f Hz %s %.4f s measured, %.4f s from the "
                "file (%+.2f %%; made with %.2f s)\n",
                band.bandHz, time, got["seconds"].get<double>(), expected["seconds"].get<double>(),
                100.0 * (ratio - 1.0), band.seconds);
        }
    }
}

}  // namespace
}  // namespace ressona
