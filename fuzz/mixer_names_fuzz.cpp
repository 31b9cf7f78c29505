// The mixer set-up against any mixer at all: arbitrary names (filling their
// fields, without terminators), line and control counts that lie, unknown
// types, bounds in any order, select controls with any number of items, a
// failing call anywhere, and any answer to the choice dialog. Then the
// levels, a second set-up for the other input, and the restore.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "audio/mixer_control.h"
#include "state/measurement_state.h"
#include "platform/dialog/dialog_item_text.h"
#include "platform/dialog/error_dialog_service.h"
#include "platform/sim/simulated_mixer.h"

namespace {

using namespace ressona;

constexpr std::uint32_t kLineTypes[] = {
    MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,   MIXERLINE_COMPONENTTYPE_DST_HEADPHONES,
    MIXERLINE_COMPONENTTYPE_DST_WAVEIN,     MIXERLINE_COMPONENTTYPE_DST_VOICEIN,
    MIXERLINE_COMPONENTTYPE_DST_LINE,       MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERLINE_COMPONENTTYPE_SRC_LINE,
    MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY,  MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC,
};

constexpr std::uint32_t kControlTypes[] = {
    MIXERCONTROL_CONTROLTYPE_VOLUME,         MIXERCONTROL_CONTROLTYPE_MUTE,
    MIXERCONTROL_CONTROLTYPE_ONOFF,          MIXERCONTROL_CONTROLTYPE_BASS,
    MIXERCONTROL_CONTROLTYPE_TREBLE,         MIXERCONTROL_CONTROLTYPE_MUX,
    MIXERCONTROL_CONTROLTYPE_MIXER,          MIXERCONTROL_CONTROLTYPE_SINGLESELECT,
    MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT, MIXERCONTROL_CONTROLTYPE_SIGNEDMETER,
};

template <std::size_t N>
std::uint32_t pick(FuzzedDataProvider& in, const std::uint32_t (&known)[N]) {
    if (in.ConsumeIntegralInRange(0, 7) == 0) return in.ConsumeIntegral<std::uint32_t>();
    return in.PickValueInArray(known);
}

std::optional<std::uint32_t> maybeClaim(FuzzedDataProvider& in) {
    if (!in.ConsumeBool()) return std::nullopt;
    return in.ConsumeBool() ? in.ConsumeIntegral<std::uint32_t>()
                            : in.ConsumeIntegralInRange<std::uint32_t>(0, 80);
}

SimControl makeControl(FuzzedDataProvider& in) {
    SimControl control;
    control.type = pick(in, kControlTypes);
    control.name = in.ConsumeRandomLengthString(80);
    control.minimum = in.ConsumeIntegral<std::int32_t>();
    control.maximum = in.ConsumeIntegral<std::int32_t>();
    const std::size_t items = in.ConsumeIntegralInRange<std::size_t>(0, 60);
    for (std::size_t i = 0; i < items; ++i)
        control.items.push_back({pick(in, kLineTypes), in.ConsumeRandomLengthString(80)});
    control.values.clear();
    const std::size_t values = std::max<std::size_t>(items, 1);
    for (std::size_t i = 0; i < values; ++i)
        control.values.push_back(in.ConsumeIntegral<std::int32_t>());
    return control;
}

SimLine makeLine(FuzzedDataProvider& in, bool destination) {
    SimLine line;
    line.componentType = pick(in, kLineTypes);
    line.name = in.ConsumeRandomLengthString(80);
    const std::size_t controls = in.ConsumeIntegralInRange<std::size_t>(0, 60);
    for (std::size_t c = 0; c < controls && in.remaining_bytes() > 0; ++c)
        line.controls.push_back(makeControl(in));
    line.claimedControls = maybeClaim(in);
    if (destination) {
        const std::size_t sources = in.ConsumeIntegralInRange<std::size_t>(0, 6);
        for (std::size_t s = 0; s < sources && in.remaining_bytes() > 0; ++s)
            line.sources.push_back(makeLine(in, false));
        line.claimedConnections = maybeClaim(in);
    }
    return line;
}

float anyFraction(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return std::numeric_limits<float>::quiet_NaN();
        case 1:
            return in.ConsumeFloatingPoint<float>();
        default:
            return in.ConsumeProbability<float>();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<SimMixerDevice> devices;
    const std::size_t deviceCount = in.ConsumeIntegralInRange<std::size_t>(0, 13);
    for (std::size_t d = 0; d < deviceCount; ++d) {
        SimMixerDevice device;
        device.name = in.ConsumeRandomLengthString(48);
        device.claimedDestinations = maybeClaim(in);
        const std::size_t lines = in.ConsumeIntegralInRange<std::size_t>(0, 4);
        for (std::size_t l = 0; l < lines && in.remaining_bytes() > 0; ++l)
            device.destinations.push_back(makeLine(in, true));
        devices.push_back(std::move(device));
    }
    SimulatedMixer mixer(std::move(devices));
    if (in.ConsumeBool())
        mixer.failCall(in.ConsumeIntegralInRange<std::size_t>(1, 600),
                       in.ConsumeIntegral<MMRESULT>());

    MeasurementState state;
    state.panelWindowMixer = 1;
    MixerState mixerState;
    RecordingDialogService dialogs;
    for (int i = 0; i < 3; ++i) {
        dialogs.listAnswers.push_back({in.ConsumeBool() ? DialogEnd::kOk : DialogEnd::kCloseBox,
                                       in.ConsumeIntegralInRange(-3, 20)});
    }
    RecordingDialogItemText text;

    state.mixerInputMic = in.ConsumeBool();
    openMixer(state, mixerState, mixer, dialogs, text);
    setMixerLevels(state, mixerState, mixer, anyFraction(in), anyFraction(in), anyFraction(in));
    state.mixerInputMic = !state.mixerInputMic;
    openMixer(state, mixerState, mixer, dialogs, text);
    setMixerLevels(state, mixerState, mixer, anyFraction(in), anyFraction(in), anyFraction(in));
    restoreMixer(mixerState, mixer);
    closeMixer(mixerState, mixer);
    return 0;
}
