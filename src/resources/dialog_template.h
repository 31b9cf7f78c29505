#pragma once
// A dialog's layout as data: its caption, font and size in dialog units, and
// its controls in template order with id, kind, caption, rectangle and style.
// The dialog model is built from it, and the Qt skin places widgets by it.

#include <cstdint>
#include <span>
#include <string_view>

namespace ressona {

enum class ControlKind {
    RadioButton,
    CheckBox,
    PushLikeCheckBox,  // a check box drawn as a push button that stays in
    PushButton,
    Edit,
    HorizontalScrollBar,
    VerticalScrollBar,
    Text,
    GroupBox,
    Bitmap,
    Icon,
};

// Style bits of a control.
enum ControlStyle : std::uint32_t {
    kStyleNone = 0,
    kStartsGroup = 1u << 0,     // first radio button of a group
    kDigitsOnly = 1u << 1,      // edit accepts only digits
    kRightAligned = 1u << 2,
    kCentred = 1u << 3,
    kSunken = 1u << 4,
    kInitiallyDisabled = 1u << 5,
    kMultiline = 1u << 6,       // caption on two lines
    kDefaultButton = 1u << 7,
};

inline constexpr int kNoControlId = -1;  // controls that are never addressed

struct ControlTemplate {
    int id = kNoControlId;
    ControlKind kind = ControlKind::Text;
    std::string_view caption;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    std::uint32_t style = kStyleNone;
    std::string_view groupBox;  // caption of the group box it sits in, if any
    int resourceId = 0;         // bitmap or icon resource
};

struct DialogTemplate {
    int id = 0;
    std::string_view caption;
    std::string_view fontName;
    int fontPoints = 8;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    std::span<const ControlTemplate> controls;
};

}  // namespace ressona
