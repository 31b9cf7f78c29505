#pragma once
// The modal dialogs the audio code and the error reports need: a numbered
// message dialog (title, message, one "OK" button) and a list dialog to pick
// one entry from. The desktop program shows them in real windows; tests and
// headless runs use RecordingDialogService, which shows nothing and keeps a
// record of what would have been shown.

#include <deque>
#include <span>
#include <string>
#include <vector>

#include "state/window_handle.h"
#include "resources/error_dialog_templates.h"
#include "resources/mixer_choice_template.h"

namespace ressona {

// How the user ended a modal dialog.
enum class DialogEnd {
    kOk,        // the "OK" button (id 1)
    kCloseBox,  // the window's close box
};

struct ListChoice {
    DialogEnd end = DialogEnd::kOk;
    int selectedIndex = -1;  // the list's selection when the dialog ended; -1 when none
};

class DialogService {
  public:
    virtual ~DialogService() = default;
    // Runs the message dialog modally, owned by `owner`, until the user ends it.
    virtual DialogEnd runMessageDialog(const MessageDialogTemplate& dialog, WindowHandle owner) = 0;
    // Runs the list dialog modally with `items` in the given order (unsorted) and
    // `initialSelection` selected (-1: none).
    virtual ListChoice runListDialog(const ListDialogTemplate& dialog, WindowHandle owner,
                                     std::span<const std::string> items, int initialSelection) = 0;
};

// One dialog as it would have been shown.
struct ShownDialog {
    int templateId = 0;
    std::string title;
    std::string message;  // a list dialog's prompt
    WindowHandle owner = kNoWindow;
    std::vector<std::string> items;  // list dialogs only
    int initialSelection = -1;       // list dialogs only
};

// Shows nothing: records each dialog and ends it as scripted.
class RecordingDialogService final : public DialogService {
  public:
    DialogEnd runMessageDialog(const MessageDialogTemplate& dialog, WindowHandle owner) override;
    ListChoice runListDialog(const ListDialogTemplate& dialog, WindowHandle owner,
                             std::span<const std::string> items, int initialSelection) override;

    // Every dialog shown, oldest first.
    std::vector<ShownDialog> shown;
    // How message dialogs end.
    DialogEnd messageEnd = DialogEnd::kOk;
    // Answers to list dialogs, used in order; once none is left a list dialog
    // ends with "OK" and its initial selection.
    std::deque<ListChoice> listAnswers;
};

}  // namespace ressona
