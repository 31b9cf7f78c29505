#include "resources/mixer_choice_template.h"

namespace ressona {

namespace {

// The frame matches the numbered error dialogs, made taller for the list.
constexpr ListDialogTemplate kMixerChoice{
    kMixerChoiceDialog,
    "Error Message",
    "Ressona: Select the Mixer",
    "There is more than one mixer device on the system. Click on the mixer you want to use for "
    "Ressona from the following list.",
    kMixerChoiceList,
    {0, 0, 226, 130},
    {66, 6, 94, 10},
    {7, 20, 212, 20},
    {7, 44, 212, 60},
    {88, 110, 50, 14},
};

}  // namespace

const ListDialogTemplate& mixerChoiceTemplate() {
    return kMixerChoice;
}

}  // namespace ressona
