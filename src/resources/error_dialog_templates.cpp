#include "resources/error_dialog_templates.h"

#include <array>

namespace ressona {

namespace {

constexpr const char* kCaption = "Error Message";
constexpr DialogRect kFrame{0, 0, 226, 87};
constexpr DialogRect kTitle{84, 6, 58, 10};
constexpr DialogRect kWideTitle{84, 6, 70, 10};  // "Error 51" to "Error 54"
constexpr DialogRect kMessage{7, 20, 212, 29};
constexpr DialogRect kOk{88, 61, 50, 14};

constexpr MessageDialogTemplate numbered(int id, const char* title, const char* message,
                                         DialogRect titleRect = kTitle) {
    return {id, kCaption, title, message, kFrame, titleRect, kMessage, kOk};
}

constexpr std::array kTemplates{
    numbered(kErrorDialogUnknownDriver, "Ressona: Error 1",
             "An unknown error was encountered when initialising the sound card drivers. "
             "Ressona cannot continue."),
    numbered(kErrorDialogMixer, "Ressona: Error 2",
             "There was an error adjusting the mixer settings: Ressona may not function "
             "correctly. Check your mixer functionality using the system tools."),
    numbered(kErrorDialogPlayMemory, "Ressona: Error 5",
             "Unable to allocate sufficient memory for the playback and record samples. Free up "
             "some memory by removing extraneous applications, and try Ressona again."),
    numbered(kErrorDialogRecordMemory, "Ressona: Error 6",
             "Unable to allocate sufficient memory for the record sample. Free up some memory by "
             "removing extraneous applications, and try Ressona again."),
    numbered(kErrorDialogDriverProblem, "Ressona: Error 4",
             "There was a problem with the Sound Card driver. Results from Ressona are "
             "unpredictable."),
    numbered(kErrorDialogFileOpen, "Ressona: Error 8",
             "There was an error opening the file specified. Check that it exists and that it is "
             "readable, and in the correct directory."),
    numbered(kErrorDialogFileRead, "Ressona: Error 9",
             "There was an error reading the data from the Ressona file. Check that it contains "
             "Ressona data, and that it was written properly."),
    numbered(kErrorDialogFileWrite, "Ressona: Error 10",
             "There was an error opening the file for writing. Check that the disk is not full, "
             "and that you have write access in the directory."),
    numbered(kErrorDialogModeMemory, "Ressona: Error 12",
             "There is insufficient memory to run Ressona in this mode."),
    numbered(kErrorDialogDeviceAllocated, "Ressona: Error 51",
             "The Output Wave Device is already allocated to another process. Close all other "
             "processes using sound, and re-run Ressona.",
             kWideTitle),
    numbered(kErrorDialogBadDevice, "Ressona: Error 52",
             "There was a bad device identifier. The sound card cannot be accessed.", kWideTitle),
    numbered(kErrorDialogNoDriver, "Ressona: Error 53",
             "No driver for the sound card can be found. Ensure the proper drivers are installed "
             "in the system for the sound card.",
             kWideTitle),
    numbered(kErrorDialogDriverMemory, "Ressona: Error 54",
             "There is insufficient memory available to initialise the sound card drivers. Free "
             "up memory by stopping other applications on the system.",
             kWideTitle),
};

}  // namespace

std::span<const MessageDialogTemplate> errorDialogTemplates() {
    return kTemplates;
}

const MessageDialogTemplate* findErrorDialogTemplate(int templateId) {
    for (const MessageDialogTemplate& entry : kTemplates) {
        if (entry.templateId == templateId) return &entry;
    }
    return nullptr;
}

}  // namespace ressona
