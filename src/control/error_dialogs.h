#pragma once
// The numbered error dialogs: the one way the program tells the user that an
// operation failed. The caller goes on as before once the dialog is closed.

#include <cstdint>

#include "state/measurement_state.h"

namespace ressona {

class DialogService;

// Runs the numbered dialog `templateId` modally, owned by the control panel.
// The "OK" button and the close box both end it with 1, which is returned; an
// id that is no numbered dialog shows nothing and returns 0.
int showErrorDialog(DialogService& dialogs, WindowHandle panel, int templateId);

// The template of "Error <number>" (1, 2, 4, 5, 6, 8, 9, 10, 12, 51 .. 54),
// or 0 for a number that has no dialog.
int errorTemplateOfNumber(int number);

// The dialog for a wave device's open result: 4 gives "Error 51", 2 "Error 52",
// 6 "Error 53", 7 "Error 54", anything else (0 included) "Error 1".
int waveDeviceErrorTemplate(std::uint32_t lastWaveError);

// Shows the dialog waveDeviceErrorTemplate chooses for lastWaveError.
int showWaveDeviceError(DialogService& dialogs, WindowHandle panel, std::uint32_t lastWaveError);

}  // namespace ressona
