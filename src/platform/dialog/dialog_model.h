#pragma once
// The state of a dialog's controls, built from its template: enabled, checked,
// text and scroll bar of every control, with the calls a dialog procedure
// makes (EnableWindow, CheckDlgButton, SetDlgItemTextA, SetDlgItemInt,
// GetDlgItemInt, SetScrollInfo, ...). Writing into an edit notifies the
// dialog's command handler at once, as an edit control does. A skin (the Qt
// widgets) mirrors this model through the change observer; tests use it alone.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "state/window_handle.h"
#include "resources/dialog_template.h"
#include "state/scroll_info.h"

namespace ressona {

inline constexpr std::uint16_t BN_CLICKED = 0;
inline constexpr std::uint16_t EN_CHANGE = 0x0300;
inline constexpr std::uint16_t EN_KILLFOCUS = 0x0200;  // the edit lost the keyboard focus

class DialogModel {
public:
    using CommandHandler = std::function<void(std::uint16_t id, std::uint16_t notification)>;
    using ChangeObserver = std::function<void(int id)>;
    using HandleAllocator = std::function<WindowHandle(int id)>;

    // Controls get window handles from allocate (called once per control in
    // template order); by default they are numbered from 1.
    explicit DialogModel(const DialogTemplate& dialog, HandleAllocator allocate = {});

    void setCommandHandler(CommandHandler handler) { commandHandler_ = std::move(handler); }
    void setChangeObserver(ChangeObserver observer) { changeObserver_ = std::move(observer); }

    const DialogTemplate& dialogTemplate() const { return dialog_; }
    bool hasControl(int id) const;
    const ControlTemplate& templateOf(int id) const;
    WindowHandle handleOf(int id) const;
    // The id of the control with this handle, or kNoControlId.
    int idOfHandle(WindowHandle handle) const;

    void EnableWindow(int id, bool enable);
    bool IsWindowEnabled(int id) const;
    void CheckDlgButton(int id, bool checked);
    bool IsDlgButtonChecked(int id) const;

    // Sets a control's text; for an edit the command handler then runs with EN_CHANGE.
    void SetDlgItemTextA(int id, std::string_view text);
    std::string GetDlgItemTextA(int id) const;
    void SetDlgItemInt(int id, std::uint32_t value, bool isSigned);
    // The edit's text as a number; 0 with translated false when it is none.
    std::uint32_t GetDlgItemInt(int id, bool& translated, bool isSigned) const;
    // What a user typing does: the text changes, no handler runs here (the
    // skin posts the edit's notification to the panel).
    void typeText(int id, std::string_view text);

    // What a user's click does to the check marks before the dialog hears of
    // it: a radio button is checked and the others of its group cleared (a
    // radio button alone in its group is left to the dialog); a check box
    // toggles. Push buttons are unchanged.
    void clickButton(int id);
    // The radio buttons of id's group in template order: consecutive radio
    // buttons of the same group box, from one that starts a group to the next.
    std::vector<int> radioGroupOf(int id) const;

    // Applies the fields named by info.fMask; returns the position shown.
    std::int32_t SetScrollInfo(int id, const SCROLLINFO& info);
    SCROLLINFO GetScrollInfo(int id) const;
    // The thumb's position as drawn: within min .. max - (page - 1).
    std::int32_t shownScrollPosition(int id) const;

private:
    struct Control {
        const ControlTemplate* layout = nullptr;
        WindowHandle handle = kNoWindow;
        bool enabled = true;
        bool checked = false;
        std::string text;
        SCROLLINFO scroll{};
    };

    Control& control(int id);
    const Control& control(int id) const;
    void changed(int id) const;

    const DialogTemplate& dialog_;
    std::vector<Control> controls_;
    CommandHandler commandHandler_;
    ChangeObserver changeObserver_;
};

}  // namespace ressona
