// The whole desktop program in-process on the simulated room (instant mode):
// the real panel widgets, the real plot windows and the pump in Qt's loop.
// Clicks on the widgets run the measurement, the counter on the panel moves,
// the plot windows show new pictures, and closing ends the program once.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <functional>

#include "desktop/qt_desktop.h"
#include "platform/qt/qt_image_canvas.h"
#include "platform/qt/qt_panel.h"
#include "platform/qt/qt_plot_shell.h"
#include "platform/sim/simulated_sound_card.h"
#include "plots/plot_style.h"
#include "resources/control_ids.h"
#include "resources/error_dialog_templates.h"

namespace ressona {
namespace {

// A copy of what a canvas holds.
QImage imageOf(const QtImageCanvas& canvas) {
    return QImage(reinterpret_cast<const uchar*>(canvas.pixelData()), canvas.width(),
                  canvas.height(), canvas.bytesPerLine(), QImage::Format_RGB32)
        .copy();
}

bool hasColour(const QImage& image, Colour colour) {
    const QRgb wanted = qRgb(colour.red, colour.green, colour.blue);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == wanted) return true;
        }
    }
    return false;
}

class DesktopTest : public ::testing::Test {
  protected:
    DesktopTest() {
        SoundCardOptions options;
        options.instant = true;
        makeSimulatedSoundCard("room", options, card);
        desktop = std::make_unique<Desktop>(card, ScreenSize{1024, 768});
    }

    // Lets Qt's loop (and the program's messages with it) run until `done`.
    static bool runUntil(const std::function<bool()>& done, int rounds = 20000) {
        for (int i = 0; i < rounds && !done(); ++i) QCoreApplication::processEvents();
        return done();
    }
    // Starts the program and waits until both plots show their first picture.
    void startAndShow() {
        ASSERT_TRUE(desktop->start());
        ASSERT_TRUE(runUntil([this] { return desktop->plotsShown(); }));
    }
    QtPanel& panel() { return static_cast<QtPanel&>(*desktop->panel()); }
    QtPlotShell& timeShell() { return static_cast<QtPlotShell&>(*desktop->timePlot()); }
    QtPlotShell& freqShell() { return static_cast<QtPlotShell&>(*desktop->freqPlot()); }
    void click(int id) { QTest::mouseClick(panel().widgetOf(id), Qt::LeftButton); }
    QString labelText(int id) { return qobject_cast<QLabel*>(panel().widgetOf(id))->text(); }
    // The number the panel's sample counter shows.
    int counter() { return labelText(ids::kSampleCountText).mid(7).toInt(); }
    MeasurementState& state() { return desktop->program().state(); }
    QImage shown(QtPlotShell& shell) {
        return shell.window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    static void moveMouse(QtPlotShell& shell, QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, shell.window()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(shell.window(), &move);
    }

    SoundCard card;
    std::unique_ptr<Desktop> desktop;
};

TEST_F(DesktopTest, OpensThePlotsAboveThePanelAtTheScreensGeometry) {
    startAndShow();
    // Places count from the window's outer corner, sizes are the inside's.
    EXPECT_EQ(timeShell().window()->pos(), QPoint(0, 0));
    EXPECT_EQ(timeShell().window()->size(), QSize(955, 256));
    EXPECT_EQ(freqShell().window()->pos(), QPoint(0, 257));
    EXPECT_EQ(freqShell().window()->size(), QSize(955, 256));
    EXPECT_EQ(panel().window()->pos(), QPoint(0, 514));
    EXPECT_EQ(timeShell().window()->windowTitle(), "Time Domain - Ressona");
    EXPECT_EQ(freqShell().window()->windowTitle(), "Frequency Domain - Ressona");
    EXPECT_TRUE(panel().window()->isVisible());
    // The mixer label names the simulated card.
    EXPECT_EQ(labelText(ids::kMixerText), "Simulated room");
    // Each window shows its plot's picture 1:1 (the bitmap is a pixel larger).
    const ProgramState& program = desktop->program().program();
    const Canvas* bitmaps[] = {program.timePlot.memoryDc.get(), program.freqPlot.memoryDc.get()};
    QtPlotShell* shells[] = {&timeShell(), &freqShell()};
    for (int i = 0; i < 2; ++i) {
        const QImage picture = imageOf(dynamic_cast<const QtImageCanvas&>(*bitmaps[i]));
        EXPECT_EQ(picture.pixel(2, 2), qRgb(192, 192, 192));  // the grey margin
        EXPECT_EQ(shown(*shells[i]), picture.copy(0, 0, 955, 256));
    }
}

// On an 800 x 600 screen the plots' thirds would push the panel's Start, Stop
// and Exit row off the screen: the plots give up height, the panel stands
// whole at the bottom, on top, and every window is on the screen.
TEST(DesktopOnASmallScreenTest, AllThreeWindowsFitOnAn800x600Screen) {
    SoundCardOptions options;
    options.instant = true;
    SoundCard card;
    makeSimulatedSoundCard("room", options, card);
    Desktop desktop(card, ScreenSize{800, 600});
    ASSERT_TRUE(desktop.start());
    auto& panel = static_cast<QtPanel&>(*desktop.panel());
    const QRect screen(0, 0, 800, 600);
    const QRect panelFrame = panel.window()->frameGeometry();
    EXPECT_TRUE(screen.contains(panelFrame)) << panelFrame.bottom();
    for (int id : {ids::kStart, ids::kStop, ids::kExit}) {
        const QWidget* button = panel.widgetOf(id);
        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
        EXPECT_TRUE(screen.contains(onScreen)) << id;
    }
    for (PlotShell* plot : {desktop.timePlot(), desktop.freqPlot()}) {
        const QWidget* window = static_cast<QtPlotShell*>(plot)->window();
        EXPECT_TRUE(screen.contains(window->frameGeometry()));
    }
    EXPECT_EQ(desktop.program().state().plotHeight,
              static_cast<QtPlotShell*>(desktop.freqPlot())->window()->height());
    // The panel is on top: where it lies, it is the window found.
    const QPoint start = panel.widgetOf(ids::kStart)->mapToGlobal(QPoint(2, 2));
    EXPECT_EQ(QApplication::topLevelAt(start), panel.window());
    desktop.program().queue().SendMessageA(desktop.program().panelWindow(), WM_CLOSE, 0, 0);
}

TEST_F(DesktopTest, StartAndStopOnTheWidgetsAdvanceTheCounterAndRedrawThePlots) {
    startAndShow();
    const QImage timeBefore = imageOf(desktop->timeSurface().windowImage());
    const QImage freqBefore = imageOf(desktop->freqSurface().windowImage());

    click(ids::kMls);
    click(ids::kStart);
    ASSERT_TRUE(runUntil([this] { return counter() >= 3; }));
    EXPECT_TRUE(state().measuring);
    EXPECT_FALSE(panel().widgetOf(ids::kStart)->isEnabled());
    ASSERT_TRUE(runUntil([this] { return counter() >= 5; }));  // and it keeps going

    click(ids::kStop);
    ASSERT_TRUE(runUntil([this] { return !state().measuring; }));
    const int stoppedAt = counter();
    for (int i = 0; i < 200; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(counter(), stoppedAt);
    EXPECT_TRUE(panel().widgetOf(ids::kStart)->isEnabled());

    // The windows show new pictures: the traces of the last capture.
    const QImage timeAfter = imageOf(desktop->timeSurface().windowImage());
    const QImage freqAfter = imageOf(desktop->freqSurface().windowImage());
    EXPECT_NE(timeAfter, timeBefore);
    EXPECT_NE(freqAfter, freqBefore);
    EXPECT_TRUE(hasColour(timeAfter, Colour{255, 255, 0}));  // the yellow signal trace
    EXPECT_EQ(shown(timeShell()), timeAfter);
    EXPECT_EQ(shown(freqShell()), freqAfter);

    click(ids::kExit);
    ASSERT_TRUE(runUntil([this] { return desktop->program().closed(); }));
    EXPECT_EQ(desktop->run(), 0);
}

TEST_F(DesktopTest, StartBringsBackMinimisedPlotWindowsAndThePanel) {
    startAndShow();
    timeShell().window()->showMinimized();
    freqShell().window()->showMinimized();
    panel().window()->showMinimized();
    ASSERT_TRUE(timeShell().window()->isMinimized());
    ASSERT_TRUE(panel().window()->isMinimized());

    QTest::mouseClick(panel().widgetOf(ids::kStart), Qt::LeftButton);
    ASSERT_TRUE(runUntil([this] { return counter() >= 1; }));
    EXPECT_FALSE(timeShell().window()->isMinimized());
    EXPECT_FALSE(freqShell().window()->isMinimized());
    EXPECT_FALSE(panel().window()->isMinimized());
    EXPECT_TRUE(timeShell().window()->isVisible());
    click(ids::kStop);
    ASSERT_TRUE(runUntil([this] { return !state().measuring; }));
}

TEST_F(DesktopTest, PlotsDrawnBeforeAPassAreShownWhileItRuns) {
    startAndShow();
    int paintsInPass = 0;
    desktop->timeSurface().setShownListener([&] {
        if ((state().device.playHeader.dwFlags.load() & WHDR_INQUEUE) != 0) ++paintsInPass;
    });
    click(ids::kStart);
    ASSERT_TRUE(runUntil([this] { return counter() >= 4; }));
    click(ids::kStop);
    ASSERT_TRUE(runUntil([this] { return !state().measuring; }));
    desktop->timeSurface().setShownListener({});
    EXPECT_GE(paintsInPass, 2);
}

TEST_F(DesktopTest, ThePanelsCloseBoxEndsARunAndTheProgramOnceThePlotsStay) {
    startAndShow();
    click(ids::kStart);
    ASSERT_TRUE(runUntil([this] { return counter() >= 2; }));

    // The plot windows refuse to close.
    for (QtPlotShell* shell : {&timeShell(), &freqShell()}) {
        QCloseEvent close;
        QCoreApplication::sendEvent(shell->window(), &close);
        EXPECT_TRUE(shell->window()->isVisible());
    }
    const int before = counter();
    ASSERT_TRUE(runUntil([&] { return counter() > before; }));
    EXPECT_FALSE(desktop->program().closed());

    QCloseEvent close;
    QCoreApplication::sendEvent(panel().window(), &close);
    ASSERT_TRUE(runUntil([this] { return desktop->program().closed(); }));
    EXPECT_FALSE(state().measuring);
    EXPECT_FALSE(state().device.playMemoryHeld);
    MessageQueue& queue = desktop->program().queue();
    EXPECT_FALSE(queue.IsWindow(state().timePlotWindow));
    // A second close finds the program closed and changes nothing.
    QCloseEvent again;
    QCoreApplication::sendEvent(panel().window(), &again);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(desktop->program().closed());
    EXPECT_EQ(desktop->run(), 0);
}

TEST_F(DesktopTest, ClicksQueuedBehindExitDoNotRunOnTheClosedProgram) {
    startAndShow();
    click(ids::kExit);
    click(ids::kStart);  // in the same turn of Qt's loop, before the queue runs
    ASSERT_TRUE(runUntil([this] { return desktop->program().closed(); }));
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_FALSE(state().measuring);
    EXPECT_FALSE(desktop->program().program().wave.playDeviceOpen);
    EXPECT_EQ(desktop->run(), 0);
}

TEST_F(DesktopTest, AResizedPlotShowsItsOldPictureStretchedUntilItsNextDraw) {
    startAndShow();
    TimePlotState& plot = desktop->program().program().timePlot;
    const QImage old = imageOf(static_cast<const QtImageCanvas&>(*plot.memoryDc));
    ASSERT_EQ(old.size(), QSize(956, 257));

    timeShell().window()->resize(600, 200);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(desktop->timeSurface().windowImage().width(), 600);
    QImage stretched(600, 200, QImage::Format_RGB32);
    {
        QPainter painter(&stretched);
        painter.drawImage(QRect(0, 0, 600, 200), old);
    }
    EXPECT_EQ(imageOf(desktop->timeSurface().windowImage()), stretched);
    EXPECT_EQ(shown(timeShell()), stretched);
    EXPECT_EQ(plot.bitmapWidth, 956);  // not redrawn by the resize

    // No read-out over a stretched picture.
    moveMouse(timeShell(), QPoint(300, 100));
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_FALSE(hasColour(imageOf(desktop->timeSurface().windowImage()), kReadoutColour));

    // The next draw (a capture's, or this one) fits the picture to the window again.
    desktop->program().queue().PostMessageA(state().timePlotWindow, MSG_REDRAW, 0, 0);
    ASSERT_TRUE(runUntil([&] { return plot.bitmapWidth == 601; }));
    EXPECT_EQ(plot.bitmapHeight, 201);
    const QImage redrawn = imageOf(desktop->timeSurface().windowImage());
    EXPECT_EQ(redrawn,
              imageOf(static_cast<const QtImageCanvas&>(*plot.memoryDc)).copy(0, 0, 600, 200));

    // Now the pointer gets its read-out, on the window only.
    moveMouse(timeShell(), QPoint(300, 100));
    ASSERT_TRUE(runUntil([this] {
        return hasColour(imageOf(desktop->timeSurface().windowImage()), kReadoutColour);
    }));
    EXPECT_FALSE(
        hasColour(imageOf(static_cast<const QtImageCanvas&>(*plot.memoryDc)), kReadoutColour));
    ASSERT_TRUE(runUntil([this] { return hasColour(shown(timeShell()), kReadoutColour); }));
}

TEST_F(DesktopTest, AStartUpWithoutMemoryShowsItsDialogAndEndsWithoutWindows) {
    desktop->program().arrays().allocationBudget.remaining = 0;
    QString shownTitle;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->text().startsWith("Ressona: Error")) shownTitle = label->text();
        }
        dialog->accept();
    });
    EXPECT_FALSE(desktop->start());
    EXPECT_EQ(shownTitle, "Ressona: Error 5");
    EXPECT_EQ(desktop->panel(), nullptr);
    EXPECT_EQ(desktop->timePlot(), nullptr);
    EXPECT_EQ(desktop->run(), 0);
}

}  // namespace
}  // namespace ressona
