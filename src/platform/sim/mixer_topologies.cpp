#include "platform/sim/mixer_topologies.h"

namespace ressona {

namespace {

SimControl control(std::uint32_t type, std::string name, std::int32_t value,
                   std::int32_t maximum = 65535) {
    SimControl result;
    result.type = type;
    result.name = std::move(name);
    result.minimum = 0;
    result.maximum = maximum;
    result.values = {value};
    return result;
}

SimControl volume(std::string name, std::int32_t value) {
    return control(MIXERCONTROL_CONTROLTYPE_VOLUME, std::move(name), value);
}
SimControl mute(std::string name, bool muted) {
    return control(MIXERCONTROL_CONTROLTYPE_MUTE, std::move(name), muted ? 1 : 0, 1);
}
SimControl onOff(std::string name, bool on) {
    return control(MIXERCONTROL_CONTROLTYPE_ONOFF, std::move(name), on ? 1 : 0, 1);
}

SimLine line(std::uint32_t type, std::string name, std::vector<SimControl> controls) {
    SimLine result;
    result.componentType = type;
    result.name = std::move(name);
    result.controls = std::move(controls);
    return result;
}

SimLine speakers() {
    SimLine dst = line(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers",
                       {volume("Master Volume", 40000), mute("Master Mute", true),
                        control(MIXERCONTROL_CONTROLTYPE_BASS, "Bass", 30000),
                        control(MIXERCONTROL_CONTROLTYPE_TREBLE, "Treble", 35000)});
    dst.sources = {
        line(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave",
             {volume("Wave Volume", 50000), mute("Wave Mute", true)}),
        line(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone",
             {volume("Mic Volume", 30000), mute("Mic Mute", false)}),
        line(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In",
             {volume("Line Volume", 31000), mute("Line Mute", false)}),
        line(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio",
             {volume("CD Volume", 32000), mute("CD Mute", false)}),
        line(MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Aux",
             {volume("Aux Volume", 33000), mute("Aux Mute", false)}),
    };
    return dst;
}

SimLine recordingSource(std::uint32_t type, const std::string& name, std::int32_t level, bool withSwitch) {
    SimLine source =
        line(type, name, {volume(name + " Volume", level), mute(name + " Mute", true)});
    if (withSwitch)
        source.controls.push_back(
            onOff(name + " Select", type == MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC));
    return source;
}

SimLine recording(bool withMultiplexer) {
    SimLine dst = line(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control",
                       {volume("Recording Volume", 45000)});
    if (withMultiplexer) {
        SimControl mux = control(MIXERCONTROL_CONTROLTYPE_MUX, "Recording Source", 0, 1);
        mux.items = {{MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone"},
                     {MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In"},
                     {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio"},
                     {MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Line 2"}};
        mux.values = {0, 0, 1, 0};
        dst.controls.push_back(mux);
    }
    const bool withSwitch = !withMultiplexer;
    dst.sources = {
        recordingSource(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 20000, withSwitch),
        recordingSource(MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 21000, withSwitch),
        recordingSource(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio", 22000, withSwitch),
        recordingSource(MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY, "Line 2", 23000, withSwitch),
    };
    dst.sources[0].controls.push_back(
        control(MIXERCONTROL_CONTROLTYPE_SIGNEDMETER, "Mic Meter", 0, 32767));
    return dst;
}

}  // namespace

SimMixerDevice multiplexerCardMixer(std::string name) {
    return {std::move(name), {speakers(), recording(true)}, std::nullopt};
}

SimMixerDevice noSelectCardMixer(std::string name) {
    return {std::move(name), {speakers(), recording(false)}, std::nullopt};
}

std::vector<SimMixerDevice> severalCardMixers(std::size_t count) {
    std::vector<SimMixerDevice> devices;
    for (std::size_t i = 1; i <= count; ++i)
        devices.push_back(multiplexerCardMixer("Simulated Card " + std::to_string(i)));
    return devices;
}

}  // namespace ressona
