// How ALSA's mixer elements are shown to the mixer set-up, for the kinds of
// mixer there are: a sound server's two elements, an HD-audio codec that
// selects its input with an enumeration, and an older codec with a capture
// switch per input. Needs no sound server.

#include "platform/alsa/alsa_mixer_layout.h"

#include <gtest/gtest.h>

#include "platform/mixer/mixer_service.h"

namespace ressona {
namespace {

ElementTraits playback(std::string name, bool withSwitch = true) {
    ElementTraits e;
    e.name = std::move(name);
    e.playbackVolume = true;
    e.playbackSwitch = withSwitch;
    return e;
}

ElementTraits capture(std::string name) {
    ElementTraits e;
    e.name = std::move(name);
    e.captureVolume = true;
    e.captureSwitch = true;
    return e;
}

// "TYPE:element[shared]" for each control, to compare layouts at a glance.
std::vector<std::string> describe(const LayoutLine& line,
                                  const std::vector<ElementTraits>& elements) {
    std::vector<std::string> result;
    for (const LayoutControl& c : line.controls) {
        std::string type = c.type == MIXERCONTROL_CONTROLTYPE_VOLUME  ? "VOLUME"
                           : c.type == MIXERCONTROL_CONTROLTYPE_MUTE  ? "MUTE"
                           : c.type == MIXERCONTROL_CONTROLTYPE_ONOFF ? "ONOFF"
                           : c.type == MIXERCONTROL_CONTROLTYPE_MUX   ? "MUX"
                                                                      : "?";
        std::string text = type + ":" + elements.at(c.element).name;
        if (c.aspect == Aspect::kSharedVolume || c.aspect == Aspect::kSharedSwitch)
            text += "[" + std::to_string(c.shared) + "]";
        result.push_back(text);
    }
    return result;
}

using Strings = std::vector<std::string>;

TEST(AlsaMixerLayout, SoundServerMasterMovesTheWaveOutputCaptureServesBothInputs) {
    const std::vector<ElementTraits> elements{playback("Master"), capture("Capture")};
    const std::vector<LayoutLine> lines = layOutMixer(elements);
    ASSERT_EQ(lines.size(), 2u);
    const LayoutLine& speakers = lines[0];
    EXPECT_EQ(speakers.type, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    EXPECT_EQ(describe(speakers, elements), Strings{"MUTE:Master"});
    ASSERT_EQ(speakers.sources.size(), 1u);
    EXPECT_EQ(speakers.sources[0].type, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    EXPECT_EQ(describe(speakers.sources[0], elements), Strings{"VOLUME:Master"});

    const LayoutLine& recording = lines[1];
    EXPECT_EQ(recording.type, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_TRUE(recording.controls.empty());
    ASSERT_EQ(recording.sources.size(), 2u);
    EXPECT_EQ(recording.sources[0].type, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_EQ(describe(recording.sources[0], elements),
              (Strings{"VOLUME:Capture[0]", "ONOFF:Capture[0]"}));
    EXPECT_EQ(recording.sources[1].type, MIXERLINE_COMPONENTTYPE_SRC_LINE);
    EXPECT_EQ(describe(recording.sources[1], elements),
              (Strings{"VOLUME:Capture[1]", "ONOFF:Capture[1]"}));
}

TEST(AlsaMixerLayout, HdAudioCodecLeavesItsOutputPathsAndBoostsAlone) {
    ElementTraits inputSource;
    inputSource.name = "Input Source";
    inputSource.captureEnum = true;
    inputSource.enumItems = {"Mic", "Internal Mic", "Line", "Stereo Mix"};
    const std::vector<ElementTraits> elements{playback("Master"),
                                              playback("Headphone"),
                                              playback("Speaker"),
                                              playback("PCM", false),
                                              playback("Front"),
                                              playback("Mic"),
                                              playback("Mic Boost", false),
                                              playback("Line"),
                                              playback("Beep"),
                                              capture("Capture"),
                                              inputSource};
    const std::vector<LayoutLine> lines = layOutMixer(elements);
    EXPECT_EQ(describe(lines[0], elements), (Strings{"VOLUME:Master", "MUTE:Master"}));
    Strings sources;
    for (const LayoutLine& source : lines[0].sources) sources.push_back(source.name);
    // No Headphone, Speaker, Front or Mic Boost: outputs and boosts are not sources.
    EXPECT_EQ(sources, (Strings{"PCM", "Mic", "Line", "Beep"}));
    EXPECT_EQ(lines[0].sources[0].type, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
    EXPECT_EQ(describe(lines[0].sources[0], elements), Strings{"VOLUME:PCM"});
    EXPECT_EQ(describe(lines[0].sources[1], elements), (Strings{"VOLUME:Mic", "MUTE:Mic"}));
    EXPECT_EQ(lines[0].sources[3].type, MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER);

    // The enumeration selects the input; "Capture" serves both inputs' levels.
    const LayoutLine& recording = lines[1];
    ASSERT_EQ(recording.controls.size(), 1u);
    const LayoutControl& mux = recording.controls[0];
    EXPECT_EQ(mux.type, MIXERCONTROL_CONTROLTYPE_MUX);
    ASSERT_EQ(mux.items.size(), 4u);
    EXPECT_EQ(mux.items[0].type, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_EQ(mux.items[1].type, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_EQ(mux.items[2].type, MIXERLINE_COMPONENTTYPE_SRC_LINE);
    EXPECT_EQ(mux.items[3].type, MIXERLINE_COMPONENTTYPE_SRC_ANALOG);
    ASSERT_EQ(recording.sources.size(), 2u);
    EXPECT_EQ(describe(recording.sources[0], elements),
              (Strings{"VOLUME:Capture[0]", "ONOFF:Capture[0]"}));
}

TEST(AlsaMixerLayout, CaptureSwitchPerInputMakesSourcesAndCaptureTheMaster) {
    ElementTraits mic = playback("Mic");
    mic.captureSwitch = true;
    ElementTraits line = playback("Line");
    line.captureSwitch = true;
    line.captureVolume = true;
    const std::vector<ElementTraits> elements{playback("Master"), playback("PCM"),   mic, line,
                                              playback("CD"),     capture("Capture")};
    const std::vector<LayoutLine> lines = layOutMixer(elements);
    EXPECT_EQ(describe(lines[0].sources[0], elements), (Strings{"VOLUME:PCM", "MUTE:PCM"}));
    EXPECT_EQ(lines[0].sources.size(), 4u);  // PCM, Mic, Line, CD
    const LayoutLine& recording = lines[1];
    EXPECT_EQ(describe(recording, elements), (Strings{"VOLUME:Capture", "MUTE:Capture"}));
    ASSERT_EQ(recording.sources.size(), 2u);
    EXPECT_EQ(recording.sources[0].type, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE);
    EXPECT_EQ(describe(recording.sources[0], elements), Strings{"ONOFF:Mic"});
    EXPECT_EQ(describe(recording.sources[1], elements), (Strings{"VOLUME:Line", "ONOFF:Line"}));
}

TEST(AlsaMixerLayout, NoElementsStillGiveBothDestinations) {
    const std::vector<LayoutLine> lines = layOutMixer({});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].sources.empty());
    EXPECT_TRUE(lines[1].sources.empty());
}

TEST(AlsaMixerLayout, InputsAreKnownByTheirNames) {
    struct Case {
        const char* name;
        std::uint32_t type;
    };
    for (const Case c :
         {Case{"Mic", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE},
          Case{"Front Mic", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE},
          Case{"Internal Mic", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE},
          Case{"Line", MIXERLINE_COMPONENTTYPE_SRC_LINE},
          Case{"CD", MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC},
          Case{"Aux", MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY},
          Case{"Phone", MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE},
          Case{"PC Speaker", MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER}, Case{"Mic Boost", 0},
          Case{"Line Out", 0}, Case{"Headphone", 0}, Case{"Speaker", 0}, Case{"Master", 0},
          Case{"Front", 0}, Case{"Auto-Mute Mode", 0}, Case{"Loopback Mixing", 0}}) {
        EXPECT_EQ(inputTypeForName(c.name), c.type) << c.name;
    }
}

}  // namespace
}  // namespace ressona
