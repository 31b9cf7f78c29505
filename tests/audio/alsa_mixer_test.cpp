// The mixer set-up over ALSA on the test server, whose mixer has only the
// elements "Master" (the default sink) and "Capture" (the default source).

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "audio/mixer_control.h"
#include "audio/wave_devices.h"
#include "audio/wave_pass.h"
#include "audio_server.h"
#include "common/pass_rig.h"
#include "platform/alsa/alsa_sound_card.h"
#include "platform/dialog/dialog_item_text.h"
#include "platform/dialog/error_dialog_service.h"

namespace ressona {
namespace {

constexpr std::uint32_t kSpeakersIndex = 0;
constexpr std::uint32_t kRecordingIndex = 1;

// Reads and writes the server's mixer through a mixer service of its own,
// so that what it sees is what the server holds.
class MixerProbe {
  public:
    MixerProbe() : service_(makeAlsaMixerService("default")) {
        EXPECT_EQ(service_->mixerOpen(&handle_, 0, 0, 0, 0), MMSYSERR_NOERROR);
    }
    ~MixerProbe() { service_->mixerClose(handle_); }

    // The first control of that type on the destination, or on its source of that name.
    std::optional<MIXERCONTROLA> control(std::uint32_t destination, const char* source,
                                         std::uint32_t type) {
        MIXERLINEA line;
        line.dwDestination = destination;
        if (service_->mixerGetLineInfoA(handle_, &line,
                                        MIXER_GETLINEINFOF_DESTINATION | MIXER_OBJECTF_HMIXER))
            return std::nullopt;
        if (source != nullptr) {
            bool found = false;
            const std::uint32_t sources = line.cConnections;
            for (std::uint32_t s = 0; s < sources && !found; ++s) {
                MIXERLINEA candidate;
                candidate.dwDestination = destination;
                candidate.dwSource = s;
                service_->mixerGetLineInfoA(handle_, &candidate,
                                            MIXER_GETLINEINFOF_SOURCE | MIXER_OBJECTF_HMIXER);
                if (std::strcmp(candidate.szName, source) == 0) {
                    line = candidate;
                    found = true;
                }
            }
            if (!found) return std::nullopt;
        }
        std::vector<MIXERCONTROLA> controls(line.cControls);
        MIXERLINECONTROLSA request;
        request.dwLineID = line.dwLineID;
        request.cControls = line.cControls;
        request.pamxctrl = controls.data();
        service_->mixerGetLineControlsA(handle_, &request, MIXER_OBJECTF_HMIXER);
        for (const MIXERCONTROLA& c : controls) {
            if (c.dwControlType == type) return c;
        }
        return std::nullopt;
    }

    std::int32_t get(std::uint32_t destination, const char* source, std::uint32_t type) {
        const auto c = control(destination, source, type);
        EXPECT_TRUE(c.has_value());
        MIXERCONTROLDETAILS_SIGNED value;
        MIXERCONTROLDETAILS details{
            sizeof(MIXERCONTROLDETAILS), c ? c->dwControlID : 0, 1, 0, sizeof value, &value};
        EXPECT_EQ(service_->mixerGetControlDetailsA(handle_, &details, MIXER_OBJECTF_HMIXER), 0u);
        return value.lValue;
    }

    void set(std::uint32_t destination, const char* source, std::uint32_t type, std::int32_t v) {
        const auto c = control(destination, source, type);
        ASSERT_TRUE(c.has_value());
        MIXERCONTROLDETAILS_SIGNED value{v};
        MIXERCONTROLDETAILS details{
            sizeof(MIXERCONTROLDETAILS), c->dwControlID, 1, 0, sizeof value, &value};
        EXPECT_EQ(service_->mixerSetControlDetails(handle_, &details, MIXER_OBJECTF_HMIXER), 0u);
    }

    std::int32_t master() { return get(kSpeakersIndex, "Master", MIXERCONTROL_CONTROLTYPE_VOLUME); }
    std::int32_t masterMuted() {
        return get(kSpeakersIndex, nullptr, MIXERCONTROL_CONTROLTYPE_MUTE);
    }
    std::int32_t capture() {
        return get(kRecordingIndex, "Microphone", MIXERCONTROL_CONTROLTYPE_VOLUME);
    }
    std::int32_t captureOn() {
        return get(kRecordingIndex, "Microphone", MIXERCONTROL_CONTROLTYPE_ONOFF);
    }

    // Full levels, switched on: how the other audio tests expect the server.
    void reset() {
        set(kSpeakersIndex, "Master", MIXERCONTROL_CONTROLTYPE_VOLUME, 65536);
        set(kSpeakersIndex, nullptr, MIXERCONTROL_CONTROLTYPE_MUTE, 0);
        set(kRecordingIndex, "Microphone", MIXERCONTROL_CONTROLTYPE_VOLUME, 65536);
        set(kRecordingIndex, "Microphone", MIXERCONTROL_CONTROLTYPE_ONOFF, 1);
    }

  private:
    std::unique_ptr<MixerService> service_;
    HMIXER handle_ = 0;
};

// What the probe reads once the server has caught up: a change made through
// another connection reaches it a moment later.
template <typename Read>
std::int32_t settled(Read read, std::int32_t expected) {
    for (int i = 0; i < 200; ++i) {
        const std::int32_t value = read();
        if (value == expected) return value;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return read();
}

#define EXPECT_SETTLES(read, expected) \
    EXPECT_EQ(settled([&] { return read; }, (expected)), (expected))

class AlsaMixer : public ::testing::Test {
  protected:
    void SetUp() override {
        RESSONA_NEED_AUDIO_SERVER();
        state.panelWindowMixer = testing::kPanel;
        service = makeAlsaMixerService("default");
    }
    void TearDown() override {
        if (service) {
            closeMixer(mixer, *service);
            MixerProbe().reset();
        }
    }
    int open(bool mic) {
        state.mixerInputMic = mic;
        return openMixer(state, mixer, *service, dialogs, text);
    }

    MeasurementState state;
    MixerState mixer;
    std::unique_ptr<MixerService> service;
    RecordingDialogService dialogs;
    RecordingDialogItemText text;
};

TEST_F(AlsaMixer, TheServersTwoElementsBecomeSpeakersAndRecordingLines) {
    ASSERT_GE(service->mixerGetNumDevs(), 1u);
    MIXERCAPSA caps;
    ASSERT_EQ(service->mixerGetDevCapsA(0, &caps, sizeof caps), 0u);
    EXPECT_STREQ(caps.szPname, "PulseAudio (default)");
    EXPECT_EQ(caps.cDestinations, 2u);

    MixerProbe probe;
    // Master: the wave output's volume (0..65536) and the speakers' mute.
    const auto wave = probe.control(kSpeakersIndex, "Master", MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_TRUE(wave.has_value());
    EXPECT_EQ(wave->lMinimum, 0);
    EXPECT_EQ(wave->lMaximum, 65536);
    EXPECT_TRUE(probe.control(kSpeakersIndex, nullptr, MIXERCONTROL_CONTROLTYPE_MUTE).has_value());
    EXPECT_FALSE(
        probe.control(kSpeakersIndex, nullptr, MIXERCONTROL_CONTROLTYPE_VOLUME).has_value());
    // Capture: shown as a microphone and a line input, each with volume and switch.
    for (const char* source : {"Microphone", "Line In"}) {
        EXPECT_TRUE(probe.control(kRecordingIndex, source, MIXERCONTROL_CONTROLTYPE_VOLUME))
            << source;
        EXPECT_TRUE(probe.control(kRecordingIndex, source, MIXERCONTROL_CONTROLTYPE_ONOFF))
            << source;
    }
}

TEST_F(AlsaMixer, SetUpRoutesAndRestorePutsTheServerBack) {
    {
        MixerProbe probe;
        probe.set(kSpeakersIndex, "Master", MIXERCONTROL_CONTROLTYPE_VOLUME, 30000);
        probe.set(kSpeakersIndex, nullptr, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
        // The capture element follows the louder of its two sources and either switch.
        for (const char* source : {"Microphone", "Line In"}) {
            probe.set(kRecordingIndex, source, MIXERCONTROL_CONTROLTYPE_VOLUME, 40000);
            probe.set(kRecordingIndex, source, MIXERCONTROL_CONTROLTYPE_ONOFF, 0);
        }
    }
    {
        MixerProbe check;  // the server holds them before the set-up reads them
        EXPECT_SETTLES(check.master(), 30000);
        EXPECT_SETTLES(check.capture(), 40000);
        EXPECT_SETTLES(check.captureOn(), 0);
    }
    for (const bool mic : {true, false}) {
        ASSERT_EQ(open(mic), kMixerDone) << text.text(testing::kPanel, kMixerStatusText);
        EXPECT_EQ(text.text(testing::kPanel, kMixerNameLabel), "PulseAudio (default)");
        MixerProbe probe;
        EXPECT_SETTLES(probe.master(), 65536);
        EXPECT_SETTLES(probe.masterMuted(), 0);
        EXPECT_SETTLES(probe.capture(), 65536);  // the chosen input at full, the other at 0
        EXPECT_SETTLES(probe.captureOn(), 1);

        setMixerLevels(state, mixer, *service, 0.5f, 0.25f, 0.75f);
        EXPECT_SETTLES(probe.master(), 16384);
        EXPECT_SETTLES(probe.capture(), mic ? 32768 : 49152);
        restoreMixer(mixer, *service);
        if (!mic) continue;
        // Back to what the first set-up found, then set up again for LINE.
        EXPECT_SETTLES(probe.master(), 30000);
        EXPECT_SETTLES(probe.masterMuted(), 1);
        EXPECT_SETTLES(probe.capture(), 40000);
        EXPECT_SETTLES(probe.captureOn(), 0);
    }
    MixerProbe probe;
    EXPECT_SETTLES(probe.master(), 30000);
    EXPECT_SETTLES(probe.capture(), 40000);
}

// The peak of a pulse pass on the default device.
int pulsePeak(testing::PassRig& rig, WaveService& wave, Clock& clock) {
    rig.writePulse(10);
    EXPECT_EQ(runPass(rig.state, rig.devices, wave, clock, rig.poster), kPassDone);
    int peak = 0;
    for (const std::int16_t s : rig.recording())
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
}

TEST_F(AlsaMixer, LevelBarsMoveTheRecordedLevel) {
    SoundCard card;
    ASSERT_EQ(makeSoundCard("alsa", {}, card), kSoundCardMade);
    testing::PassRig rig(22050, 1024);
    ASSERT_EQ(openPlayDevice(rig.state, rig.devices, *card.wave), 0);
    ASSERT_EQ(openRecordDevice(rig.state, rig.devices, *card.wave), 0);
    // The server scales by the cube of the volume: half a bar is an eighth of the level.
    struct Case {
        bool mic;
        float micLevel, speaker, line;
        double ratio;
    };
    for (const Case c :
         {Case{true, 1.0f, 1.0f, 1.0f, 1.0},                                         // SPK
          Case{true, 1.0f, 0.5f, 1.0f, 0.125}, Case{true, 0.5f, 1.0f, 1.0f, 0.125},  // MIC
          Case{true, 1.0f, 1.0f, 0.0f, 1.0},     // LINE has no effect with MIC
          Case{false, 1.0f, 1.0f, 0.5f, 0.125},  // LINE
          Case{false, 0.0f, 1.0f, 1.0f, 1.0}}) {
        ASSERT_EQ(open(c.mic), kMixerDone);
        setMixerLevels(state, mixer, *service, c.micLevel, c.speaker, c.line);
        const int peak = pulsePeak(rig, *card.wave, *card.clock);
        EXPECT_NEAR(peak / 17408.0, c.ratio, 0.01 + c.ratio * 0.03)
            << (c.mic ? "MIC " : "LINE ") << c.micLevel << " " << c.speaker << " " << c.line;
        restoreMixer(mixer, *service);
    }
    closePlayDevice(rig.state, rig.devices, *card.wave);
    closeRecordDevice(rig.state, rig.devices, *card.wave);
}

}  // namespace
}  // namespace ressona
