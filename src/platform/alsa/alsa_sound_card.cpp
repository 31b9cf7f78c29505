#include "platform/alsa/alsa_sound_card.h"

#include "platform/sim/simulated_sound_card.h"

namespace ressona {

namespace {

constexpr const char* kDefaultPcm = "default";

void makeAlsaCard(const std::string& pcmName, SoundCard& card) {
    card = SoundCard{};
    card.name = "alsa:" + pcmName;
    card.description = "ALSA " + pcmName;
    card.simulated = false;
    card.ownedClock = std::make_unique<SystemClock>();
    card.clock = card.ownedClock.get();
    card.wave = makeAlsaWaveService(pcmName);
    card.mixer = makeAlsaMixerService(pcmName);
}

}  // namespace

int makeSoundCard(std::string_view name, const SoundCardOptions& options, SoundCard& card) {
    DeviceName parsed;
    if (!parseDeviceName(name, parsed)) return kSoundCardUnknownName;
    if (parsed.backend == "sim") return makeSimulatedSoundCard(parsed.argument, options, card);
    makeAlsaCard(parsed.argument.empty() ? kDefaultPcm : parsed.argument, card);
    return kSoundCardMade;
}

int makeDefaultSoundCard(const SoundCardOptions& options, SoundCard& card) {
    if (alsaDeviceOpens(kDefaultPcm)) {
        makeAlsaCard(kDefaultPcm, card);
        return kSoundCardMade;
    }
    return makeSimulatedSoundCard("room", options, card);
}

}  // namespace ressona
