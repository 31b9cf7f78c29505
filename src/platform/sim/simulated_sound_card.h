#pragma once
// The simulated sound card as a whole: the card, its mixer (a typical card's
// mixer, whose output and input levels set the level of the room's
// recording) and its clock.

#include <string_view>

#include "platform/sim/acoustic_presets.h"
#include "platform/wave/sound_card.h"

namespace ressona {

class SimulatedCard;
class SimulatedMixer;

// preset: "" or "room", "loopback" or "distortion". Real-time unless options.instant;
// options.timeBase, when given, is the clock the card keeps time on.
// Returns kSoundCardMade, or kSoundCardUnknownName for another preset.
int makeSimulatedSoundCard(std::string_view preset, const SoundCardOptions& options,
                           SoundCard& card);

// The level the simulated mixer's settings give the recording: the product of
// the speakers' master and wave volumes and of the recording volume and the
// routed input's volume, each as a fraction of its range; 0 when a mute on
// the way is on or no input is routed.
double simulatedMixerGain(SimulatedMixer& mixer);

}  // namespace ressona
