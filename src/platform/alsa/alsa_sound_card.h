#pragma once
// Sound cards by name, ALSA's included (see platform/wave/sound_card.h for
// the names). No ALSA header is needed to use it.

#include <memory>
#include <string>
#include <string_view>

#include "platform/wave/sound_card.h"

namespace ressona {

// Makes the card `name` ("sim", "sim:loopback", "sim:room", "alsa",
// "alsa:PCMNAME"). An ALSA card is made whether or not its device can be
// opened now; opening it at Start reports what is wrong.
int makeSoundCard(std::string_view name, const SoundCardOptions& options, SoundCard& card);

// ALSA's `default` device when a playback stream on it opens now, else the
// simulated room: the program's choice when it is given no name.
int makeDefaultSoundCard(const SoundCardOptions& options, SoundCard& card);

// The wave and mixer services over one ALSA device. The wave service plays
// unsigned 8-bit and records signed 16-bit mono at the format's rate, each
// direction with an I/O thread of its own. The mixer lists the device's own
// mixer first and then every sound card's.
std::unique_ptr<WaveService> makeAlsaWaveService(std::string pcmName);
std::unique_ptr<MixerService> makeAlsaMixerService(std::string pcmName);

// The result code an ALSA error number (negative, as ALSA returns it) gives
// when a device open fails: busy 4, no such device 2, no sound server 6, out
// of memory 7, anything else 1.
MMRESULT waveResultForAlsaOpenError(int alsaError);

// The result code a stream that breaks while running reports for the ALSA
// error that broke it: the card gone (no such device) 2, the sound server
// gone 6, anything else (an under- or overrun it cannot get over, an I/O
// error) WAVERR_DEVICEFAILED.
MMRESULT waveResultForAlsaRunError(int alsaError);

// True when a playback stream on the ALSA device opens now.
bool alsaDeviceOpens(const std::string& pcmName);

}  // namespace ressona
