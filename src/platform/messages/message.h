#pragma once
// Messages between windows: a destination window, a message number and two
// parameters. Numbers keep the values the program's windows have always used,
// so handlers read like their descriptions (WM_COMMAND with a command id, ...).

#include <cstdint>

#include "state/window_handle.h"

namespace ressona {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

struct Message {
    WindowHandle window = kNoWindow;
    std::uint32_t message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Standard window messages the program handles.
inline constexpr std::uint32_t WM_CREATE = 0x0001;
inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_SIZE = 0x0005;
inline constexpr std::uint32_t WM_PAINT = 0x000F;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_INITDIALOG = 0x0110;
inline constexpr std::uint32_t WM_COMMAND = 0x0111;
inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr std::uint32_t WM_HSCROLL = 0x0114;
inline constexpr std::uint32_t WM_VSCROLL = 0x0115;
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr std::uint32_t WM_DROPFILES = 0x0233;
inline constexpr WPARAM SC_CLOSE = 0xF060;

// The program's private messages and commands.
inline constexpr std::uint32_t MSG_REDRAW = 204;          // time plot redraws; frequency plot: standard view
inline constexpr std::uint32_t MSG_DRAW_PHASE = 209;
inline constexpr std::uint32_t MSG_DRAW_WATERFALL = 210;
inline constexpr std::uint32_t MSG_DRAW_HISTOGRAM = 213;
inline constexpr std::uint16_t CMD_CAPTURE_DONE = 401;    // WM_COMMAND id posted after each pass

// WM_COMMAND's wParam: command id in the low word, notification code in the high word.
constexpr WPARAM makeCommandParam(std::uint16_t id, std::uint16_t notification = 0) {
    return (static_cast<WPARAM>(notification) << 16) | id;
}
constexpr std::uint16_t commandId(WPARAM wParam) { return static_cast<std::uint16_t>(wParam & 0xFFFF); }
constexpr std::uint16_t commandNotification(WPARAM wParam) {
    return static_cast<std::uint16_t>((wParam >> 16) & 0xFFFF);
}

// Where posted messages go: the message queue implements it; the wave pass
// and tests only need to post.
class MessagePoster {
public:
    virtual ~MessagePoster() = default;
    // Appends the message to the queue; true when it was queued.
    virtual bool PostMessageA(WindowHandle window, std::uint32_t message, WPARAM wParam,
                              LPARAM lParam) = 0;
};

}  // namespace ressona
