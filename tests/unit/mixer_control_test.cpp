// The mixer set-up, levels and restore on simulated mixers of several kinds.

#include "audio/mixer_control.h"

#include <gtest/gtest.h>

#include <string>

#include "state/measurement_state.h"
#include "platform/dialog/dialog_item_text.h"
#include "platform/dialog/error_dialog_service.h"
#include "platform/sim/mixer_topologies.h"
#include "platform/sim/simulated_mixer.h"

namespace ressona {
namespace {

constexpr WindowHandle kPanel = 9;
constexpr const char* kSpeakers = "Speakers";
constexpr const char* kRecording = "Recording Control";
constexpr std::uint32_t kVolume = MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr std::uint32_t kMute = MIXERCONTROL_CONTROLTYPE_MUTE;
constexpr std::uint32_t kOnOff = MIXERCONTROL_CONTROLTYPE_ONOFF;
constexpr std::uint32_t kMux = MIXERCONTROL_CONTROLTYPE_MUX;

struct MixerBench {
    explicit MixerBench(std::vector<SimMixerDevice> devices) : sim(std::move(devices)) {
        state.panelWindowMixer = kPanel;
    }
    explicit MixerBench(SimMixerDevice device) : MixerBench(std::vector<SimMixerDevice>{device}) {}

    int open(bool mic) {
        state.mixerInputMic = mic;
        return openMixer(state, mixer, sim, dialogs, text);
    }
    void levels(float mic, float speaker, float line) {
        setMixerLevels(state, mixer, sim, mic, speaker, line);
    }
    std::string status() const { return text.text(kPanel, kMixerStatusText); }
    std::string label() const { return text.text(kPanel, kMixerNameLabel); }
    SimControl& control(const char* destination, const char* source, std::uint32_t type) {
        SimControl* found = sim.findControl(0, destination, source, type);
        EXPECT_NE(found, nullptr) << destination << "/" << source;
        return *found;
    }
    std::vector<std::int32_t> values(const char* destination, const char* source,
                                     std::uint32_t type) {
        return control(destination, source, type).values;
    }
    // The values written to a control by the calls made since `from`.
    std::vector<std::vector<std::int32_t>> writes(std::uint32_t controlId, std::size_t from = 0) {
        std::vector<std::vector<std::int32_t>> result;
        const auto& calls = sim.calls();
        for (std::size_t i = from; i < calls.size(); ++i) {
            if (calls[i].name == "mixerSetControlDetails" && calls[i].controlId == controlId)
                result.push_back(calls[i].written);
        }
        return result;
    }

    MeasurementState state;
    MixerState mixer;
    SimulatedMixer sim;
    RecordingDialogService dialogs;
    RecordingDialogItemText text;
};

using Values = std::vector<std::int32_t>;

TEST(OpenMixer, MultiplexerSelectsOnlyTheMicrophoneAndLeavesSourceMutesAlone) {
    MixerBench bench(multiplexerCardMixer());
    ASSERT_EQ(bench.open(true), kMixerDone);
    EXPECT_EQ(bench.label(), "Simulated Sound Card");
    EXPECT_EQ(bench.status(), "");
    // Recording: the multiplexer routes; each source keeps its mute.
    EXPECT_EQ(bench.values(kRecording, "", kMux), (Values{1, 0, 0, 0}));
    EXPECT_EQ(bench.values(kRecording, "", kVolume), Values{65535});
    for (const char* source : {"Microphone", "Line In", "CD Audio", "Line 2"})
        EXPECT_EQ(bench.values(kRecording, source, kMute), Values{1}) << source;
    EXPECT_EQ(bench.values(kRecording, "Microphone", kVolume), Values{65535});
    EXPECT_EQ(bench.values(kRecording, "Line In", kVolume), Values{0});
    EXPECT_EQ(bench.values(kRecording, "Line 2", kVolume), Values{0});
    // Speakers: master at full and unmuted, tone flat, only the wave output heard.
    EXPECT_EQ(bench.values(kSpeakers, "", kVolume), Values{65535});
    EXPECT_EQ(bench.values(kSpeakers, "", kMute), Values{0});
    EXPECT_EQ(bench.values(kSpeakers, "", MIXERCONTROL_CONTROLTYPE_BASS), Values{0});
    EXPECT_EQ(bench.values(kSpeakers, "", MIXERCONTROL_CONTROLTYPE_TREBLE), Values{0});
    EXPECT_EQ(bench.values(kSpeakers, "Wave", kVolume), Values{65535});
    EXPECT_EQ(bench.values(kSpeakers, "Wave", kMute), Values{0});
    for (const char* source : {"Microphone", "Line In", "CD Audio", "Aux"}) {
        EXPECT_EQ(bench.values(kSpeakers, source, kVolume), Values{0}) << source;
        EXPECT_EQ(bench.values(kSpeakers, source, kMute), Values{1}) << source;
    }
    // The meter is left alone, and never written.
    EXPECT_TRUE(
        bench
            .writes(
                bench.control(kRecording, "Microphone", MIXERCONTROL_CONTROLTYPE_SIGNEDMETER).id)
            .empty());
    EXPECT_TRUE(bench.mixer.recordRouted);
    EXPECT_FALSE(bench.mixer.outputRouted);
    // 4 speaker controls + 5 sources x 2, recording volume + multiplexer + 4 source volumes.
    EXPECT_EQ(bench.mixer.restoreCount, 20u);
    EXPECT_EQ(bench.mixer.micLevelSlot.details.dwControlID,
              bench.control(kRecording, "Microphone", kVolume).id);
    EXPECT_EQ(bench.mixer.outputLevelSlot.details.dwControlID,
              bench.control(kSpeakers, "Wave", kVolume).id);
    EXPECT_FALSE(bench.mixer.lineLevelSlot.filled);
}

TEST(OpenMixer, MultiplexerInLineModeAsksForTheLineItemsOnly) {
    MixerBench bench(multiplexerCardMixer());
    ASSERT_EQ(bench.open(false), kMixerDone);
    const SimControl& mux = bench.control(kRecording, "", kMux);
    // Line In and the auxiliary input "Line 2" are asked for; a single-select keeps the first.
    EXPECT_EQ(bench.writes(mux.id), (std::vector<Values>{{0, 1, 0, 1}}));
    EXPECT_EQ(mux.values, (Values{0, 1, 0, 0}));
    EXPECT_EQ(bench.values(kRecording, "Line In", kVolume), Values{65535});
    EXPECT_EQ(bench.values(kRecording, "Line 2", kVolume), Values{65535});
    EXPECT_EQ(bench.values(kRecording, "Microphone", kVolume), Values{0});
    EXPECT_TRUE(bench.mixer.lineLevelSlot.filled);
    EXPECT_FALSE(bench.mixer.micLevelSlot.filled);
}

TEST(OpenMixer, WithoutSelectControlEverySourceButTheWantedOneIsSilenced) {
    for (const bool mic : {true, false}) {
        MixerBench bench(noSelectCardMixer());
        ASSERT_EQ(bench.open(mic), kMixerDone);
        EXPECT_FALSE(bench.mixer.recordRouted);
        for (const char* source : {"Microphone", "Line In", "CD Audio", "Line 2"}) {
            const std::string name = source;
            // "Line 2" is an auxiliary input whose name makes it a line input.
            const bool wanted =
                mic ? name == "Microphone" : (name == "Line In" || name == "Line 2");
            EXPECT_EQ(bench.values(kRecording, source, kVolume), Values{wanted ? 65535 : 0})
                << source;
            EXPECT_EQ(bench.values(kRecording, source, kMute), Values{wanted ? 0 : 1}) << source;
            EXPECT_EQ(bench.values(kRecording, source, kOnOff), Values{wanted ? 1 : 0}) << source;
        }
    }
}

TEST(OpenMixer, AnAuxiliaryInputCountsAsLineOnlyWhenItsNameSaysSo) {
    SimMixerDevice device = noSelectCardMixer();
    device.destinations[1].sources[3].name = "Synth Aux";  // was "Line 2"
    MixerBench bench(device);
    ASSERT_EQ(bench.open(false), kMixerDone);
    EXPECT_EQ(bench.values(kRecording, "Synth Aux", kVolume), Values{0});
    EXPECT_EQ(bench.values(kRecording, "Synth Aux", kOnOff), Values{0});
    // ... but it still drives the line level, whatever its name.
    EXPECT_EQ(bench.mixer.lineLevelSlot.details.dwControlID,
              bench.control(kRecording, "Synth Aux", kVolume).id);
}

TEST(OpenMixer, MasterVolumeAtZeroStaysAtZero) {
    MixerBench bench(multiplexerCardMixer());
    SimControl& master = bench.control(kSpeakers, "", kVolume);
    master.values = {0};
    ASSERT_EQ(bench.open(true), kMixerDone);
    EXPECT_EQ(master.values, Values{0});
    EXPECT_EQ(bench.writes(master.id), (std::vector<Values>{{0}}));
    restoreMixer(bench.mixer, bench.sim);
    EXPECT_EQ(master.values, Values{0});
}

TEST(SetMixerLevels, TheUnusedInputGetsItsMinimumAndLevelsAreTruncated) {
    SimMixerDevice device = multiplexerCardMixer();
    MixerBench bench(device);
    SimControl& micVolume = bench.control(kRecording, "Microphone", kVolume);
    SimControl& lineVolume = bench.control(kRecording, "Line 2", kVolume);
    SimControl& waveVolume = bench.control(kSpeakers, "Wave", kVolume);
    micVolume.minimum = 1000;
    lineVolume.minimum = -2000;
    // LINE first (fills the line slot), then MIC (fills the microphone slot).
    ASSERT_EQ(bench.open(false), kMixerDone);
    ASSERT_EQ(bench.open(true), kMixerDone);

    std::size_t from = bench.sim.calls().size();
    bench.levels(0.5f, 0.5f, 0.8f);
    EXPECT_EQ(bench.writes(micVolume.id, from),
              (std::vector<Values>{{33267}}));  // 1000 + 64535 / 2
    EXPECT_EQ(bench.writes(waveVolume.id, from), (std::vector<Values>{{32767}}));
    EXPECT_EQ(bench.writes(lineVolume.id, from),
              (std::vector<Values>{{-2000}}));  // MIC: line minimum

    ASSERT_EQ(bench.open(false), kMixerDone);
    from = bench.sim.calls().size();
    bench.levels(0.3f, 1.0f, 0.01f);
    EXPECT_EQ(bench.writes(micVolume.id, from),
              (std::vector<Values>{{1000}}));  // LINE: mic minimum
    EXPECT_EQ(bench.writes(waveVolume.id, from), (std::vector<Values>{{65535}}));
    // -2000 + 67535 x 0.01 = -1324.65: truncated towards zero, not floored.
    EXPECT_EQ(bench.writes(lineVolume.id, from), (std::vector<Values>{{-1324}}));
}

TEST(SetMixerLevels, EmptySlotsAndOddFractionsAreHarmless) {
    MixerBench bench(multiplexerCardMixer());
    // Before any set-up every slot is empty: the writes fail and are ignored.
    EXPECT_EQ(setMixerLevels(bench.state, bench.mixer, bench.sim, 0.5f, 0.5f, 0.5f), 0);
    for (const MixerCall& call : bench.sim.calls()) EXPECT_NE(call.result, MMSYSERR_NOERROR);
    ASSERT_EQ(bench.open(true), kMixerDone);
    const SimControl& wave = bench.control(kSpeakers, "Wave", kVolume);
    bench.levels(0.5f, 2.0f, 0.5f);
    EXPECT_EQ(wave.values, Values{65535});
    bench.levels(0.5f, -1.0f, 0.5f);
    EXPECT_EQ(wave.values, Values{0});
    bench.levels(0.5f, std::numeric_limits<float>::quiet_NaN(), 0.5f);
    EXPECT_EQ(wave.values, Values{0});
}

TEST(RestoreMixer, PutsBackWhatTheLastSetUpFound) {
    for (const bool multiplexer : {true, false}) {
        MixerBench bench(multiplexer ? multiplexerCardMixer() : noSelectCardMixer());
        const std::vector<std::int32_t> original = bench.sim.snapshot();
        ASSERT_EQ(bench.open(true), kMixerDone);
        bench.levels(0.2f, 0.7f, 0.9f);
        ASSERT_NE(bench.sim.snapshot(), original);
        restoreMixer(bench.mixer, bench.sim);
        EXPECT_EQ(bench.sim.snapshot(), original);
    }
}

TEST(RestoreMixer, MicThenLineThenMicRestoresTheStateAfterTheFirstSwitch) {
    MixerBench bench(multiplexerCardMixer());
    ASSERT_EQ(bench.open(true), kMixerDone);
    ASSERT_EQ(bench.open(false), kMixerDone);
    const std::vector<std::int32_t> afterLine = bench.sim.snapshot();
    ASSERT_EQ(bench.open(true), kMixerDone);
    ASSERT_NE(bench.sim.snapshot(), afterLine);
    restoreMixer(bench.mixer, bench.sim);
    EXPECT_EQ(bench.sim.snapshot(), afterLine);
}

TEST(MixerChoice, SeveralMixersAskTheUserOnceAndTheChoiceIsUsed) {
    MixerBench bench(severalCardMixers(3));
    bench.dialogs.listAnswers.push_back({DialogEnd::kOk, 2});
    ASSERT_EQ(bench.open(true), kMixerDone);
    ASSERT_EQ(bench.dialogs.shown.size(), 1u);
    const ShownDialog& shown = bench.dialogs.shown[0];
    EXPECT_EQ(shown.templateId, 215);
    EXPECT_EQ(shown.title, "Ressona: Select the Mixer");
    EXPECT_EQ(shown.owner, kPanel);
    EXPECT_EQ(shown.items, (std::vector<std::string>{"Simulated Card 1", "Simulated Card 2",
                                                     "Simulated Card 3"}));
    EXPECT_EQ(shown.initialSelection, 0);
    EXPECT_EQ(bench.mixer.mixerIndex, 2u);
    EXPECT_EQ(bench.label(), "Simulated Card 3");
    EXPECT_EQ(bench.sim.openHandles(), 1u);  // the others were closed again
    // The choice is made once per run.
    ASSERT_EQ(bench.open(false), kMixerDone);
    EXPECT_EQ(bench.dialogs.shown.size(), 1u);
}

TEST(MixerChoice, OkWithoutSelectionTakesTheFirstMixer) {
    MixerBench bench(severalCardMixers(2));
    bench.dialogs.listAnswers.push_back({DialogEnd::kOk, -1});
    ASSERT_EQ(bench.open(true), kMixerDone);
    EXPECT_EQ(bench.mixer.mixerIndex, 0u);
    EXPECT_EQ(bench.label(), "Simulated Card 1");
}

TEST(MixerChoice, ClosedByItsCloseBoxTheSetUpFailsAndAsksAgainNextTime) {
    MixerBench bench(severalCardMixers(3));
    bench.dialogs.listAnswers.push_back({DialogEnd::kCloseBox, 1});
    EXPECT_EQ(bench.open(true), kMixerFailed);
    EXPECT_EQ(bench.status(), "Mixer Error 2");  // no mixer has the id 3
    EXPECT_FALSE(bench.mixer.mixerChosen);
    EXPECT_EQ(bench.mixer.mixerIndex, 3u);
    EXPECT_EQ(bench.sim.openHandles(), 0u);

    bench.dialogs.listAnswers.push_back({DialogEnd::kOk, 1});
    ASSERT_EQ(bench.open(true), kMixerDone);
    EXPECT_EQ(bench.dialogs.shown.size(), 2u);
    EXPECT_EQ(bench.mixer.mixerIndex, 1u);
    EXPECT_EQ(bench.sim.openHandles(), 1u);
}

TEST(MixerChoice, NoMixerAtAll) {
    MixerBench bench(std::vector<SimMixerDevice>{});
    EXPECT_EQ(bench.open(true), kMixerFailed);
    EXPECT_EQ(bench.status(), "No MIXER!");
    EXPECT_TRUE(bench.dialogs.shown.empty());
}

// Fails each call of a whole set-up in turn: the set-up stops there with the
// call's code, except where the result is not looked at.
void failEveryCall(std::vector<SimMixerDevice> devices) {
    std::size_t total = 0;
    std::uint32_t masterMuteId = 0;
    {
        MixerBench clean(devices);
        ASSERT_EQ(clean.open(true), kMixerDone);
        total = clean.sim.calls().size();
        masterMuteId = clean.sim.findControl(clean.mixer.mixerIndex, kSpeakers, "", kMute)->id;
    }
    for (std::size_t k = 1; k <= total; ++k) {
        MixerBench bench(devices);
        bench.sim.failCall(k, 77);
        const int result = bench.open(true);
        const MixerCall& failed = bench.sim.calls().at(k - 1);
        ASSERT_EQ(failed.result, 77u) << k;
        const bool masterMuteRead =
            failed.name == "mixerGetControlDetailsA" && failed.controlId == masterMuteId;
        if (failed.name == "mixerGetNumDevs") {
            EXPECT_EQ(result, kMixerFailed);
            EXPECT_EQ(bench.status(), "No MIXER!");
        } else if (masterMuteRead || failed.name == "mixerClose") {
            EXPECT_EQ(result, kMixerDone) << k << " " << failed.name;
            EXPECT_EQ(bench.status(), "");
        } else {
            EXPECT_EQ(result, kMixerFailed) << k << " " << failed.name;
            EXPECT_EQ(bench.status(), "Mixer Error 77") << k << " " << failed.name;
            EXPECT_EQ(bench.sim.calls().size(), k)
                << "calls made after the failing " << failed.name;
        }
    }
}

TEST(OpenMixer, EveryFailingCallWritesMixerErrorWithItsCode) {
    failEveryCall({multiplexerCardMixer()});
    failEveryCall({noSelectCardMixer()});
    failEveryCall(severalCardMixers(2));
}

TEST(OpenMixer, ChangesBeforeAFailureStayAndAreRestored) {
    MixerBench bench(multiplexerCardMixer());
    const std::vector<std::int32_t> original = bench.sim.snapshot();
    bench.sim.failCall(40, MMSYSERR_ERROR);
    EXPECT_EQ(bench.open(true), kMixerFailed);
    EXPECT_GT(bench.mixer.restoreCount, 0u);
    EXPECT_NE(bench.sim.snapshot(), original);
    restoreMixer(bench.mixer, bench.sim);
    EXPECT_EQ(bench.sim.snapshot(), original);
}

// ---- capacities ----

SimControl volumeAt(std::int32_t value) {
    SimControl control;
    control.type = kVolume;
    control.name = "Volume";
    control.values = {value};
    return control;
}

TEST(MixerCapacity, OnlyTheFirstFiftyControlsOfALineAreTreated) {
    SimMixerDevice device = multiplexerCardMixer();
    SimLine& wave = device.destinations[0].sources[0];
    wave.controls.clear();
    for (int i = 0; i < 60; ++i) wave.controls.push_back(volumeAt(1234));
    MixerBench bench(device);
    ASSERT_EQ(bench.open(true), kMixerDone);
    const SimLine& treated = bench.sim.device(0).destinations[0].sources[0];
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(treated.controls[static_cast<std::size_t>(i)].values,
                  Values{i < 50 ? 65535 : 1234})
            << i;
}

TEST(MixerCapacity, SelectControlsWithMoreThanFiftyItemsAreLeftAlone) {
    for (const std::size_t count : {std::size_t{50}, std::size_t{51}}) {
        SimMixerDevice device = multiplexerCardMixer();
        SimControl& mux = device.destinations[1].controls[1];
        mux.items.assign(count, SimItem{MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD"});
        mux.items[count - 2] = {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone"};
        mux.values.assign(count, 0);
        mux.values[count - 1] = 1;
        MixerBench bench(device);
        ASSERT_EQ(bench.open(true), kMixerDone);
        const SimControl& result = bench.control(kRecording, "", kMux);
        const auto written = bench.writes(result.id);
        if (count == 50) {
            ASSERT_EQ(written.size(), 1u);
            EXPECT_EQ(written[0].size(), 50u);
            EXPECT_EQ(result.values[count - 2], 1);
            EXPECT_TRUE(bench.mixer.recordRouted);
            restoreMixer(bench.mixer, bench.sim);
        } else {
            // Its selection could lie beyond what is read and could not be put back.
            EXPECT_TRUE(written.empty());
            EXPECT_FALSE(bench.mixer.recordRouted);
            // Without the select control the sources' mutes do the routing.
            EXPECT_EQ(bench.values(kRecording, "Microphone", kMute), Values{0});
        }
        EXPECT_EQ(bench.control(kRecording, "", kMux).values[count - 1], 1);
    }
}

TEST(MixerCapacity, BeyondTwoHundredChangesControlsAreLeftExactlyAsTheyAre) {
    SimMixerDevice device = multiplexerCardMixer();
    for (SimLine& source : device.destinations[0].sources) {
        source.controls.clear();
        for (int i = 0; i < 50; ++i) source.controls.push_back(volumeAt(1234));
    }
    MixerBench bench(device);
    const std::vector<std::int32_t> original = bench.sim.snapshot();
    ASSERT_EQ(bench.open(true), kMixerDone);
    EXPECT_EQ(bench.mixer.restoreCount, kMaxRestoreEntries);
    // 4 speaker controls and 196 source volumes were changed; the rest were not touched.
    std::size_t unchanged = 0;
    for (const SimLine& source : bench.sim.device(0).destinations[0].sources) {
        for (const SimControl& control : source.controls) unchanged += control.values[0] == 1234;
    }
    EXPECT_EQ(unchanged, 250u - 196u);
    EXPECT_EQ(bench.values(kRecording, "", kVolume), Values{45000});  // never reached
    restoreMixer(bench.mixer, bench.sim);
    EXPECT_EQ(bench.sim.snapshot(), original);
}

TEST(MixerCapacity, TenMixersAreOffered) {
    MixerBench bench(severalCardMixers(12));
    bench.dialogs.listAnswers.push_back({DialogEnd::kOk, 9});
    ASSERT_EQ(bench.open(true), kMixerDone);
    EXPECT_EQ(bench.dialogs.shown.at(0).items.size(), 10u);
    EXPECT_EQ(bench.label(), "Simulated Card 10");
    // Closing the dialog leaves an id beyond every mixer, as with fewer mixers.
    MixerBench closed(severalCardMixers(12));
    closed.dialogs.listAnswers.push_back({DialogEnd::kCloseBox, 0});
    EXPECT_EQ(closed.open(true), kMixerFailed);
    EXPECT_EQ(closed.status(), "Mixer Error 2");
}

TEST(MixerNames, NamesThatFillTheirFieldAreCutNotOverrun) {
    MixerBench bench(multiplexerCardMixer("A very long product name that fills every byte"));
    ASSERT_EQ(bench.open(true), kMixerDone);
    EXPECT_EQ(bench.label(),
              std::string("A very long product name that fills every byte").substr(0, 32));
}

}  // namespace
}  // namespace ressona
