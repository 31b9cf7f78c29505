// A sound card's mixer as ALSA reports it: simple elements with any names,
// any capabilities and enumerations of any items, laid out into lines and
// controls the way the ALSA backend does, then served through the mixer
// stand-in to the mixer set-up: MIC, levels, restore, LINE, levels, restore,
// close. Checks: the layout refers only to elements that exist, the set-up
// survives every name, and without a failing call the restore undoes the
// set-up and no mixer is left open.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "audio/mixer_control.h"
#include "state/measurement_state.h"
#include "platform/alsa/alsa_mixer_layout.h"
#include "platform/dialog/dialog_item_text.h"
#include "platform/dialog/error_dialog_service.h"
#include "platform/sim/simulated_mixer.h"

namespace {

using namespace ressona;

// Names cards really give, so that the layout's special cases are met often.
const char* const kKnownNames[] = {"Master",
                                   "PCM",
                                   "Wave",
                                   "Capture",
                                   "Mic",
                                   "Line",
                                   "CD",
                                   "Aux",
                                   "Phone",
                                   "Beep",
                                   "Synth",
                                   "Headphone",
                                   "Front",
                                   "Speaker",
                                   "Mic Boost",
                                   "Input Source",
                                   "Capture Source",
                                   "Front Mic",
                                   "Rear Mic",
                                   "Line Out",
                                   "Loopback Mixing",
                                   "Internal Mic",
                                   "Digital",
                                   "Auto-Mute Mode",
                                   "PC Speaker",
                                   "Midi",
                                   "Video"};

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "alsa_mixer_layout_fuzz: %s\n", what);
    std::abort();
}

std::string elementName(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return in.ConsumeRandomLengthString(120);
        case 1:
            return std::string(in.PickValueInArray(kKnownNames)) + in.ConsumeRandomLengthString(8);
        default:
            return in.PickValueInArray(kKnownNames);
    }
}

std::vector<ElementTraits> elements(FuzzedDataProvider& in) {
    std::vector<ElementTraits> result;
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 40);
    for (std::size_t i = 0; i < count && in.remaining_bytes() > 0; ++i) {
        ElementTraits e;
        e.name = elementName(in);
        e.playbackVolume = in.ConsumeBool();
        e.playbackSwitch = in.ConsumeBool();
        e.captureVolume = in.ConsumeBool();
        e.captureSwitch = in.ConsumeBool();
        e.captureEnum = in.ConsumeBool();
        const std::size_t items = in.ConsumeIntegralInRange<std::size_t>(0, 70);
        for (std::size_t k = 0; k < items && in.remaining_bytes() > 0; ++k)
            e.enumItems.push_back(elementName(in));
        result.push_back(std::move(e));
    }
    return result;
}

// The bounds and value a device reports: any range, the value within it.
void boundsAndValue(FuzzedDataProvider& in, SimControl& control) {
    if (control.type == MIXERCONTROL_CONTROLTYPE_MUTE ||
        control.type == MIXERCONTROL_CONTROLTYPE_ONOFF) {
        control.minimum = 0;
        control.maximum = 1;
    } else {
        const std::int32_t a = in.ConsumeIntegral<std::int32_t>();
        const std::int32_t b = in.ConsumeIntegral<std::int32_t>();
        control.minimum = std::min(a, b);
        control.maximum = std::max(a, b);
    }
    if (control.items.empty()) {
        control.values = {in.ConsumeIntegralInRange(control.minimum, control.maximum)};
    } else {
        // An enumeration always has exactly one item chosen.
        control.values.assign(control.items.size(), 0);
        control.values[in.ConsumeIntegralInRange<std::size_t>(0, control.items.size() - 1)] = 1;
    }
}

SimLine simLine(FuzzedDataProvider& in, const LayoutLine& line, std::size_t elementCount) {
    SimLine result;
    result.componentType = line.type;
    result.name = line.name;
    for (const LayoutControl& control : line.controls) {
        if (control.element >= elementCount) finding("a control of an element that does not exist");
        if (control.shared > 1) finding("a shared control of a third source");
        if (!control.items.empty() && control.type != MIXERCONTROL_CONTROLTYPE_MUX)
            finding("items on a control that selects nothing");
        SimControl sim;
        sim.type = control.type;
        sim.name = control.name;
        for (const LayoutItem& item : control.items) sim.items.push_back({item.type, item.name});
        boundsAndValue(in, sim);
        result.controls.push_back(std::move(sim));
    }
    for (const LayoutLine& source : line.sources)
        result.sources.push_back(simLine(in, source, elementCount));
    return result;
}

float anyFraction(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeProbability<float>() : in.ConsumeFloatingPoint<float>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::vector<ElementTraits> traits = elements(in);
    const std::vector<LayoutLine> layout = layOutMixer(traits);
    if (layout.size() != 2 || layout[0].type != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS ||
        layout[1].type != MIXERLINE_COMPONENTTYPE_DST_WAVEIN)
        finding("the layout is not speakers and recording");

    SimMixerDevice device;
    device.name = in.ConsumeRandomLengthString(100);  // the card's name, of any length
    for (const LayoutLine& line : layout)
        device.destinations.push_back(simLine(in, line, traits.size()));
    SimulatedMixer mixer({device});
    const bool failing = in.ConsumeIntegralInRange(0, 3) == 0;
    if (failing)
        mixer.failCall(in.ConsumeIntegralInRange<std::size_t>(1, 400),
                       in.ConsumeIntegral<MMRESULT>());

    MeasurementState state;
    state.panelWindowMixer = 1;
    MixerState mixerState;
    RecordingDialogService dialogs;
    RecordingDialogItemText text;
    const std::vector<std::int32_t> before = mixer.snapshot();

    state.mixerInputMic = true;
    openMixer(state, mixerState, mixer, dialogs, text);
    setMixerLevels(state, mixerState, mixer, anyFraction(in), anyFraction(in), anyFraction(in));
    restoreMixer(mixerState, mixer);
    if (!failing && mixer.snapshot() != before) finding("the restore left the mixer changed");

    state.mixerInputMic = false;
    openMixer(state, mixerState, mixer, dialogs, text);
    setMixerLevels(state, mixerState, mixer, anyFraction(in), anyFraction(in), anyFraction(in));
    restoreMixer(mixerState, mixer);
    if (!failing && mixer.snapshot() != before)
        finding("the second restore left the mixer changed");
    closeMixer(mixerState, mixer);
    // (A close that is made to fail leaves the mixer as the device decides.)
    if (!failing && mixer.openHandles() != 0) finding("a mixer left open");
    return 0;
}
