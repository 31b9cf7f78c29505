#pragma once
// Writing the text of one control of a dialog, such as the control panel's
// status line or mixer label. The panel's dialog model implements it; tests
// use RecordingDialogItemText.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "state/window_handle.h"

namespace ressona {

class DialogItemText {
  public:
    virtual ~DialogItemText() = default;
    // Sets the text of control itemId of the dialog; false when there is no such control.
    virtual bool SetDlgItemTextA(WindowHandle dialog, int itemId, const char* text) = 0;
};

class RecordingDialogItemText final : public DialogItemText {
  public:
    struct Write {
        WindowHandle dialog = kNoWindow;
        int itemId = 0;
        std::string text;
    };

    bool SetDlgItemTextA(WindowHandle dialog, int itemId, const char* text) override {
        writes.push_back({dialog, itemId, text != nullptr ? text : ""});
        texts[{dialog, itemId}] = writes.back().text;
        return true;
    }
    // The last text written into the control, or "" when none was.
    std::string text(WindowHandle dialog, int itemId) const {
        const auto found = texts.find({dialog, itemId});
        return found == texts.end() ? std::string() : found->second;
    }

    std::vector<Write> writes;  // oldest first
    std::map<std::pair<WindowHandle, int>, std::string> texts;
};

}  // namespace ressona
