#pragma once
// Ready-made mixers for the simulated mixer: a typical sound card whose
// recording side selects its input with a multiplexer, the same card without
// any select control, and several cards at once.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/sim/simulated_mixer.h"

namespace ressona {

// Speakers (master volume, mute, bass, treble; sources Wave, Microphone,
// Line In, CD Audio, Aux each with volume and mute) and Recording Control
// (volume and a multiplexer over Microphone, Line In, CD Audio and "Line 2",
// an auxiliary input; sources with volume and mute, the microphone also with a
// meter). Every control starts at a value of its own, away from its bounds.
SimMixerDevice multiplexerCardMixer(std::string name = "Simulated Sound Card");

// The same card with no select control on the recording side: its sources
// carry volume, mute and an on/off switch instead.
SimMixerDevice noSelectCardMixer(std::string name = "Simulated Card Without Select");

// `count` multiplexer cards named "Simulated Card 1", "Simulated Card 2", ...
std::vector<SimMixerDevice> severalCardMixers(std::size_t count);

}  // namespace ressona
