#pragma once
// The numbered error dialogs: one template per failure the user must see,
// each a caption, a title carrying the error's number, a fixed message and a
// single "OK" button. Texts and layouts are data; nothing here shows anything.

#include <span>

#include "resources/dialog_layout.h"

namespace ressona {

// Template ids; the comment is the number in the title.
inline constexpr int kErrorDialogUnknownDriver = 201;    // Error 1: a device open failed otherwise
inline constexpr int kErrorDialogMixer = 202;            // Error 2: the mixer set-up failed
inline constexpr int kErrorDialogPlayMemory = 212;       // Error 5: play memory
inline constexpr int kErrorDialogRecordMemory = 213;     // Error 6: record memory
inline constexpr int kErrorDialogDriverProblem = 216;    // Error 4: closing a device failed
inline constexpr int kErrorDialogFileOpen = 217;         // Error 8: a file to read cannot be opened
inline constexpr int kErrorDialogFileRead = 218;         // Error 9: a file's data cannot be read
inline constexpr int kErrorDialogFileWrite = 219;        // Error 10: a file cannot be written
inline constexpr int kErrorDialogModeMemory = 220;       // Error 12: no memory for this mode
inline constexpr int kErrorDialogDeviceAllocated = 221;  // Error 51: device in use
inline constexpr int kErrorDialogBadDevice = 222;        // Error 52: bad device identifier
inline constexpr int kErrorDialogNoDriver = 223;         // Error 53: no driver
inline constexpr int kErrorDialogDriverMemory = 224;     // Error 54: no memory for the driver

struct MessageDialogTemplate {
    int templateId = 0;
    const char* caption = "";  // the window caption
    const char* title = "";    // "Ressona: Error N"
    const char* message = "";  // shown centred
    DialogRect frame;
    DialogRect titleRect;
    DialogRect messageRect;
    DialogRect okRect;  // the "OK" button, id kOkButtonId, default
};

// All thirteen numbered dialogs, in template order.
std::span<const MessageDialogTemplate> errorDialogTemplates();
// The template with that id, or nullptr.
const MessageDialogTemplate* findErrorDialogTemplate(int templateId);

}  // namespace ressona
