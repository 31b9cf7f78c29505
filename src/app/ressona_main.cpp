// The desktop program: the control panel and the two plot windows, measuring
// with the ALSA default device, or with the simulated room when that device
// does not open (the panel's mixer label then names the simulated room). It
// takes no arguments; without a display it says so and ends.

#include <cstdio>
#include <memory>

#include "desktop/qt_desktop.h"
#include "platform/qt/qt_skin.h"
#include "platform/sim/simulated_sound_card.h"
#if RESSONA_HAVE_ALSA
#include "platform/alsa/alsa_sound_card.h"
#endif

namespace {

int makeCard(ressona::SoundCard& card) {
    const ressona::SoundCardOptions realTime;
#if RESSONA_HAVE_ALSA
    return ressona::makeDefaultSoundCard(realTime, card);
#else
    return ressona::makeSimulatedSoundCard("room", realTime, card);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ressona;
    if (!qtDisplayAvailable()) {
        std::fprintf(stderr, "ressona: no display here; ressona-measure measures without one\n");
        return 1;
    }
    const std::unique_ptr<GuiSession> session = createQtSession(argc, argv);
    SoundCard card;
    if (makeCard(card) != kSoundCardMade) {
        std::fprintf(stderr, "ressona: no sound card can be used\n");
        return 1;
    }
    if (card.simulated) {
        std::fprintf(stderr, "ressona: no sound device opens; measuring the %s instead\n",
                     card.description.c_str());
    }
    Desktop desktop(card);
    desktop.start();
    return desktop.run();
}
