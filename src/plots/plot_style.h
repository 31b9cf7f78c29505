#pragma once
// The colours, pens and brushes of the two plot windows, and the frame both
// lay out inside their client area.

#include "platform/canvas/canvas.h"

namespace ressona {

inline constexpr Brush kBlackBrush{{0, 0, 0}};
inline constexpr Brush kBlueBrush{{0, 0, 255}};
inline constexpr Pen kYellowPen{PenStyle::Solid, 1, {255, 255, 0}};
inline constexpr Pen kGreyPen{PenStyle::Solid, 1, {200, 200, 200}};
inline constexpr Pen kWhitePen{PenStyle::Solid, 1, {255, 255, 255}};
inline constexpr Pen kGridPen{PenStyle::Dot, 1, {0, 255, 0}};
inline constexpr Pen kPurplePen{PenStyle::Solid, 1, {200, 50, 200}};
inline constexpr Colour kLabelColour{0, 0, 0};
inline constexpr Colour kReadoutColour{255, 17, 170};

// The initial read-out; positions 2-7 and 9-14 are overwritten by the values.
inline constexpr char kReadoutTemplate[] = "(xxxxxx,xxxxxx)";

// The plot frame: a margin of one twentieth of the client size on every side.
struct PlotFrame {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

inline PlotFrame plotFrameOf(const Rect& client) {
    const std::int32_t w = client.right - client.left;
    const std::int32_t h = client.bottom - client.top;
    return PlotFrame{client.left + w / 20, client.top + h / 20, client.right - w / 20,
                     client.bottom - h / 20};
}

// The pointer position of WM_MOUSEMOVE: x in the low 16 bits, y in the next 16, both unsigned.
inline std::int32_t pointerX(std::intptr_t lParam) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(lParam) & 0xFFFF);
}
inline std::int32_t pointerY(std::intptr_t lParam) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
}

}  // namespace ressona
