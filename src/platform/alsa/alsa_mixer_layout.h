#pragma once
// How ALSA's simple mixer elements are shown as the mixer lines and controls
// the mixer set-up walks. Plain data in and out, so that any card's layout
// can be checked without the card. Private to the ALSA backend.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ressona {

// What one simple mixer element offers.
struct ElementTraits {
    std::string name;
    bool playbackVolume = false;
    bool playbackSwitch = false;
    bool captureVolume = false;
    bool captureSwitch = false;
    bool captureEnum = false;
    std::vector<std::string> enumItems;
};

// Which side of its element a control reads and writes.
enum class Aspect {
    kPlaybackVolume,
    kPlaybackMute,  // the inverse of the playback switch
    kCaptureVolume,
    kCaptureMute,  // the inverse of the capture switch
    kCaptureSwitch,
    kCaptureEnum,
    kSharedVolume,  // one of the two sources shown over a lone "Capture" element
    kSharedSwitch,
};

struct LayoutItem {
    std::string name;
    std::uint32_t type = 0;  // component type of the input it selects
};

struct LayoutControl {
    std::uint32_t type = 0;  // MIXERCONTROL_CONTROLTYPE_...
    std::string name;
    std::size_t element = 0;  // index into the elements laid out
    Aspect aspect = Aspect::kPlaybackVolume;
    std::size_t shared = 0;  // kShared*: 0 the microphone, 1 the line input
    std::vector<LayoutItem> items;
};

struct LayoutLine {
    std::uint32_t type = 0;  // MIXERLINE_COMPONENTTYPE_...
    std::string name;
    std::vector<LayoutControl> controls;
    std::vector<LayoutLine> sources;
};

// The component type of an input named `name` (Mic, Line, CD, Aux, Phone,
// Beep, Synth ...); 0 when the name is no input (outputs, boosts, modes).
std::uint32_t inputTypeForName(std::string_view name);

// The two destinations, "Speakers" and "Recording Control", over the elements.
std::vector<LayoutLine> layOutMixer(const std::vector<ElementTraits>& elements);

}  // namespace ressona
