#pragma once
// Layout records shared by the dialog templates: rectangles in dialog units.

namespace ressona {

struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline constexpr int kOkButtonId = 1;  // every template's default push button
inline constexpr const char* kDialogFontName = "MS Sans Serif";
inline constexpr int kDialogFontSize = 8;

}  // namespace ressona
