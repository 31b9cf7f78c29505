#pragma once
// The mixer-choice dialog's behaviour: list the mixers in id order, select the
// first; "OK" takes the selection (the first mixer when nothing is selected),
// the close box changes nothing.

#include "state/window_handle.h"

namespace ressona {

struct MixerState;
class DialogService;

// Runs the dialog over mixer.mixerNames and sets mixer.mixerIndex on "OK".
void runMixerChoiceDialog(MixerState& mixer, DialogService& dialogs, WindowHandle panel);

}  // namespace ressona
