#include "control/error_dialogs.h"

#include "platform/dialog/error_dialog_service.h"
#include "platform/wave/wave_service.h"
#include "resources/error_dialog_templates.h"

namespace ressona {

int showErrorDialog(DialogService& dialogs, WindowHandle panel, int templateId) {
    const MessageDialogTemplate* dialog = findErrorDialogTemplate(templateId);
    if (dialog == nullptr) return 0;
    // The generic procedure ends the dialog with 1 for "OK" and for the close
    // box alike, so how it ended does not matter to anyone.
    dialogs.runMessageDialog(*dialog, panel);
    return 1;
}

int waveDeviceErrorTemplate(std::uint32_t lastWaveError) {
    switch (lastWaveError) {
        case MMSYSERR_ALLOCATED:
            return kErrorDialogDeviceAllocated;
        case MMSYSERR_BADDEVICEID:
            return kErrorDialogBadDevice;
        case MMSYSERR_NODRIVER:
            return kErrorDialogNoDriver;
        case MMSYSERR_NOMEM:
            return kErrorDialogDriverMemory;
        default:
            return kErrorDialogUnknownDriver;
    }
}

int showWaveDeviceError(DialogService& dialogs, WindowHandle panel, std::uint32_t lastWaveError) {
    return showErrorDialog(dialogs, panel, waveDeviceErrorTemplate(lastWaveError));
}

int errorTemplateOfNumber(int number) {
    struct Entry {
        int number;
        int templateId;
    };
    static constexpr Entry kNumbers[] = {
        {1, kErrorDialogUnknownDriver},   {2, kErrorDialogMixer},
        {4, kErrorDialogDriverProblem},   {5, kErrorDialogPlayMemory},
        {6, kErrorDialogRecordMemory},    {8, kErrorDialogFileOpen},
        {9, kErrorDialogFileRead},        {10, kErrorDialogFileWrite},
        {12, kErrorDialogModeMemory},     {51, kErrorDialogDeviceAllocated},
        {52, kErrorDialogBadDevice},      {53, kErrorDialogNoDriver},
        {54, kErrorDialogDriverMemory},
    };
    for (const Entry& entry : kNumbers) {
        if (entry.number == number) return entry.templateId;
    }
    return 0;
}

}  // namespace ressona
