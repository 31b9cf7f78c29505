#include "platform/dialog/dialog_model.h"

#include <algorithm>
#include <cassert>

#include "platform/dialog/dialog_int.h"

namespace ressona {

DialogModel::DialogModel(const DialogTemplate& dialog, HandleAllocator allocate) : dialog_(dialog) {
    controls_.reserve(dialog.controls.size());
    WindowHandle next = 1;
    for (const ControlTemplate& layout : dialog.controls) {
        Control c;
        c.layout = &layout;
        c.handle = allocate ? allocate(layout.id) : next++;
        c.enabled = (layout.style & kInitiallyDisabled) == 0;
        c.text = std::string(layout.caption);
        controls_.push_back(std::move(c));
    }
}

bool DialogModel::hasControl(int id) const {
    if (id == kNoControlId) return false;
    return std::any_of(controls_.begin(), controls_.end(),
                       [id](const Control& c) { return c.layout->id == id; });
}

DialogModel::Control& DialogModel::control(int id) {
    return const_cast<Control&>(static_cast<const DialogModel&>(*this).control(id));
}

const DialogModel::Control& DialogModel::control(int id) const {
    const auto found = std::find_if(controls_.begin(), controls_.end(),
                                    [id](const Control& c) { return c.layout->id == id; });
    assert(id != kNoControlId && found != controls_.end() && "no control with this id");
    return *found;
}

void DialogModel::changed(int id) const {
    if (changeObserver_) changeObserver_(id);
}

const ControlTemplate& DialogModel::templateOf(int id) const { return *control(id).layout; }

WindowHandle DialogModel::handleOf(int id) const { return control(id).handle; }

int DialogModel::idOfHandle(WindowHandle handle) const {
    for (const Control& c : controls_) {
        if (c.handle == handle) return c.layout->id;
    }
    return kNoControlId;
}

void DialogModel::EnableWindow(int id, bool enable) {
    Control& c = control(id);
    if (c.enabled == enable) return;
    c.enabled = enable;
    changed(id);
}

bool DialogModel::IsWindowEnabled(int id) const { return control(id).enabled; }

void DialogModel::CheckDlgButton(int id, bool checked) {
    Control& c = control(id);
    if (c.checked == checked) return;
    c.checked = checked;
    changed(id);
}

bool DialogModel::IsDlgButtonChecked(int id) const { return control(id).checked; }

void DialogModel::SetDlgItemTextA(int id, std::string_view text) {
    Control& c = control(id);
    c.text = std::string(text);
    changed(id);
    if (c.layout->kind == ControlKind::Edit && commandHandler_) {
        commandHandler_(static_cast<std::uint16_t>(id), EN_CHANGE);
    }
}

std::string DialogModel::GetDlgItemTextA(int id) const { return control(id).text; }

void DialogModel::SetDlgItemInt(int id, std::uint32_t value, bool isSigned) {
    SetDlgItemTextA(id, formatDialogInt(value, isSigned));
}

std::uint32_t DialogModel::GetDlgItemInt(int id, bool& translated, bool isSigned) const {
    return parseDialogInt(control(id).text, isSigned, translated);
}

void DialogModel::typeText(int id, std::string_view text) {
    control(id).text = std::string(text);
    changed(id);
}

void DialogModel::clickButton(int id) {
    const ControlKind kind = control(id).layout->kind;
    if (kind == ControlKind::CheckBox || kind == ControlKind::PushLikeCheckBox) {
        CheckDlgButton(id, !IsDlgButtonChecked(id));
        return;
    }
    if (kind != ControlKind::RadioButton) return;
    const std::vector<int> group = radioGroupOf(id);
    if (group.size() < 2) return;
    for (int member : group) CheckDlgButton(member, member == id);
}

std::vector<int> DialogModel::radioGroupOf(int id) const {
    const ControlTemplate& target = *control(id).layout;
    std::vector<int> group;
    for (const Control& c : controls_) {
        const ControlTemplate& layout = *c.layout;
        if (layout.kind != ControlKind::RadioButton || layout.groupBox != target.groupBox) continue;
        if (layout.style & kStartsGroup) {
            if (std::find(group.begin(), group.end(), id) != group.end()) break;
            group.clear();
        }
        group.push_back(layout.id);
    }
    if (std::find(group.begin(), group.end(), id) == group.end()) return {id};
    return group;
}

std::int32_t DialogModel::SetScrollInfo(int id, const SCROLLINFO& info) {
    Control& c = control(id);
    if (info.fMask & SIF_RANGE) {
        c.scroll.nMin = info.nMin;
        c.scroll.nMax = info.nMax;
    }
    if (info.fMask & SIF_PAGE) c.scroll.nPage = info.nPage;
    if (info.fMask & SIF_POS) c.scroll.nPos = info.nPos;
    c.scroll.fMask = SIF_ALL;
    changed(id);
    return shownScrollPosition(id);
}

SCROLLINFO DialogModel::GetScrollInfo(int id) const { return control(id).scroll; }

std::int32_t DialogModel::shownScrollPosition(int id) const {
    const SCROLLINFO& s = control(id).scroll;
    const std::int64_t page = s.nPage > 0 ? std::int64_t{s.nPage} - 1 : 0;
    const std::int64_t top = std::max<std::int64_t>(s.nMin, std::int64_t{s.nMax} - page);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(s.nPos, s.nMin, top));
}

}  // namespace ressona
