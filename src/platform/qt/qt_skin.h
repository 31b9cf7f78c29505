#pragma once
// The desktop skin's front door, free of Qt: the program's main builds the Qt
// application, the control panel's widgets, the plot windows and the event
// pump through these factories and talks to them only through the small
// interfaces below. Every widget signal becomes a message posted to the
// program's MessageQueue; the widgets follow the dialog model.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dialog/dialog_model.h"
#include "platform/dialog/dropped_files.h"
#include "platform/messages/message_queue.h"

namespace ressona {

// The Qt application object; exactly one lives while any window does.
class GuiSession {
public:
    virtual ~GuiSession() = default;
};

// True when a display (or an explicitly named Qt platform) is available, so
// that creating the session cannot abort the program.
bool qtDisplayAvailable();
// Creates the application (argc/argv must outlive it) with the program's icon.
std::unique_ptr<GuiSession> createQtSession(int& argc, char** argv);

struct ScreenSize {
    int width = 0;   // pixels
    int height = 0;  // pixels
};
// The primary screen's size in pixels.
ScreenSize qtScreenSize();

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The control panel's window. Created hidden; the program shows and places it.
class PanelSkin {
public:
    virtual ~PanelSkin() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
    // Shows the panel again when it is minimised and brings it to the front.
    virtual void restore() = 0;
    // Moves the window's top-left corner (screen pixels), keeping its size.
    virtual void move(int left, int top) = 0;
    virtual int width() const = 0;   // pixels
    virtual int height() const = 0;  // pixels
    // The height the window takes on the screen with its frame: where the
    // window manager has not yet told its frame, room for a title bar is counted.
    virtual int heightOnScreen() = 0;
    // Whether files dropped on the panel are posted to it (on by default).
    virtual void DragAcceptFiles(bool accept) = 0;
    // Writes a PNG picture of the window's inside; false when it cannot.
    virtual bool savePicture(const std::string& path) const = 0;
    // Where the control's widget lies inside the window, in pixels; empty for
    // an id the panel does not have.
    virtual PixelRect controlRect(int id) const = 0;
};

// Builds the panel's widgets from the model's template at its dialog-unit
// rectangles. Clicks, typing, scroll-bar actions and drops are posted to
// `panel` as WM_COMMAND, WM_HSCROLL/WM_VSCROLL and WM_DROPFILES (an edit that
// loses the focus, or gets Return, posts EN_KILLFOCUS); the close box
// posts WM_CLOSE. The skin becomes the model's change observer until it dies.
std::unique_ptr<PanelSkin> createQtPanel(DialogModel& model, MessageQueue& queue,
                                         WindowHandle panel, DroppedFiles& drops);

// An off-screen picture lent to a plot window: 32-bit pixels 0xffRRGGBB, rows
// bytesPerLine apart. A null `pixels` shows black.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
};

enum class PlotCursor { Arrow, Cross };

// A plot window: shows the program's picture 1:1, or stretched over the whole
// window while its size differs from the picture's. Mouse moves post
// WM_MOUSEMOVE (lParam x | y << 16), resizes WM_SIZE (lParam width |
// height << 16) and the close box WM_SYSCOMMAND with SC_CLOSE; the window
// itself never closes on the user's request.
class PlotShell {
public:
    virtual ~PlotShell() = default;
    // Called at every paint; the view must stay valid until the call returns.
    virtual void setImageSource(std::function<PixelView()> source) = 0;
    // Schedules a repaint from the picture (after the program drew into it).
    virtual void refresh() = 0;
    // Repaints at once without running the event loop (no input is taken), for
    // use while the thread waits for a pass.
    virtual void repaintNow() = 0;
    virtual void setTitle(std::string_view title) = 0;
    // Places the window: top-left corner and inner size, in screen pixels.
    virtual void setGeometry(int left, int top, int width, int height) = 0;
    virtual int clientWidth() const = 0;
    virtual int clientHeight() const = 0;
    virtual void setCursorShape(PlotCursor cursor) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    // Shows the window again when it is minimised.
    virtual void restore() = 0;
};

std::unique_ptr<PlotShell> createQtPlotShell(MessageQueue& queue, WindowHandle window);

// Runs the message queue from Qt's event loop: every post schedules one
// dispatch of what is queued; WM_QUIT ends run(), and messages still queued
// when it is posted are not dispatched.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Returns the exit code carried by the WM_QUIT that ended the loop.
    virtual int run() = 0;
};

// The pump becomes the queue's post listener until it dies; messages already
// queued are dispatched at the loop's next turn.
std::unique_ptr<EventPump> createQtEventPump(MessageQueue& queue);

// Shows or withdraws the hourglass cursor over every window.
void setQtWaitCursor(bool on);

// A modal message box with an OK button.
void showQtMessage(std::string_view title, std::string_view text);
// The About box (dialog template 103), modal.
void showQtAbout();

// Writes the program's icon, side x side pixels, as a PNG file (for the
// desktop's application menus); false when it cannot be written.
bool saveQtIcon(const std::string& path, int side);

}  // namespace ressona
