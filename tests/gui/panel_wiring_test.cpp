// The real control panel procedure behind the real widgets, run by the pump:
// clicks, typing, scrolling and a drop go all the way to the settings and back
// onto the widgets.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "gui/gui_fixture.h"
#include "platform/qt/qt_panel.h"
#include "unit/panel_fixture.h"

namespace ressona {
namespace {

class PanelWiringTest : public ::testing::Test {
protected:
    PanelWiringTest() {
        procedure = &panel;
        state.panelWindow = panelWindow;
        state.timePlotWindow = timePlot;
        state.freqPlotWindow = freqPlot;
        panel.initialiseControls();
        panel.setUpScrollBars();
        prepareExcitation(state, program->arrays, {});
        skin = std::make_unique<QtPanel>(model, queue, panelWindow, drops);
    }

    // Lets Qt's loop run until the pump has handled everything queued.
    void settle() {
        for (int round = 0; round < 1000 && queue.pendingCount() > 0; ++round) {
            QCoreApplication::processEvents();
        }
        ASSERT_EQ(queue.pendingCount(), 0u);
    }
    void click(int id) {
        QTest::mouseClick(skin->widgetOf(id), Qt::LeftButton);
        settle();
    }
    void retype(int id, const char* text) {
        auto* edit = qobject_cast<QLineEdit*>(skin->widgetOf(id));
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
        settle();
    }
    template <typename W>
    W* widget(int id) {
        return qobject_cast<W*>(skin->widgetOf(id));
    }
    bool plotGot(std::uint32_t message) const {
        return std::any_of(plotMessages.begin(), plotMessages.end(), [&](const Message& m) {
            return m.window == freqPlot && m.message == message;
        });
    }

    std::unique_ptr<ProgramState> program = testing::makeProgram();
    MeasurementState& state = program->state;
    MessageQueue queue;
    testing::RecordingActions actions;
    DroppedFiles drops;
    std::vector<Message> plotMessages;
    ControlPanel* procedure = nullptr;  // known once the panel exists
    WindowHandle panelWindow = queue.CreateWindowA(
        "panel", [this](WindowHandle window, std::uint32_t message, WPARAM wParam, LPARAM lParam) {
            const bool handled =
                procedure != nullptr && procedure->handleMessage({window, message, wParam, lParam});
            return LRESULT{handled ? 1 : 0};
        });
    WindowProcedure recordPlot = [this](WindowHandle window, std::uint32_t message, WPARAM wParam,
                                        LPARAM lParam) {
        plotMessages.push_back({window, message, wParam, lParam});
        return LRESULT{0};
    };
    WindowHandle timePlot = queue.CreateWindowA("TimePlot", recordPlot);
    WindowHandle freqPlot = queue.CreateWindowA("FreqPlot", recordPlot);
    DialogModel model{panelTemplate(), [this](int) {
                          return queue.CreateWindowA("control", recordPlot, panelWindow);
                      }};
    ControlPanel panel{*program, model, queue, actions, drops};
    std::unique_ptr<EventPump> pump = createQtEventPump(queue);
    std::unique_ptr<QtPanel> skin;
};

TEST_F(PanelWiringTest, RateModeToneAndViewClickedOnTheWidgets) {
    EXPECT_TRUE(widget<QRadioButton>(ids::kRate22050)->isChecked());
    click(ids::kRate44100);
    EXPECT_EQ(state.sampleRate, 44100u);
    EXPECT_FALSE(widget<QRadioButton>(ids::kRate22050)->isChecked());
    EXPECT_EQ(widget<QScrollBar>(ids::kDelayBar)->minimum(), -1024);
    EXPECT_EQ(widget<QScrollBar>(ids::kDelayBar)->maximum(), 1024 - (102 - 1));

    EXPECT_FALSE(skin->widgetOf(ids::kToneEdit)->isEnabled());
    click(ids::kSineWave);
    EXPECT_EQ(state.excitationMode, kModeSineWave);
    EXPECT_TRUE(skin->widgetOf(ids::kToneEdit)->isEnabled());
    EXPECT_TRUE(skin->widgetOf(ids::kToneSlider)->isEnabled());
    retype(ids::kToneEdit, "30000");
    EXPECT_EQ(state.toneFrequency, 22049u);                         // below half the rate
    EXPECT_EQ(widget<QLineEdit>(ids::kToneEdit)->text(), "30000");  // kept while typed
    auto* slider = widget<QScrollBar>(ids::kToneSlider);
    EXPECT_EQ(slider->value(), slider->maximum());
    // Return, or leaving the edit, shows the value in force.
    QTest::keyClick(widget<QLineEdit>(ids::kToneEdit), Qt::Key_Return);
    settle();
    EXPECT_EQ(widget<QLineEdit>(ids::kToneEdit)->text(), "22049");
    retype(ids::kToneEdit, "tone");
    EXPECT_EQ(state.toneFrequency, 22049u);
    QFocusEvent focusOut(QEvent::FocusOut);
    QCoreApplication::sendEvent(widget<QLineEdit>(ids::kToneEdit), &focusOut);
    settle();
    EXPECT_EQ(widget<QLineEdit>(ids::kToneEdit)->text(), "22049");

    click(ids::kViewPhaseButton);
    EXPECT_EQ(state.analysisView, kViewPhase);
    EXPECT_TRUE(plotGot(MSG_DRAW_PHASE));
    for (int id : {ids::kCaptureCurrent, ids::kShowCaptured, ids::kSubtractCaptured}) {
        EXPECT_FALSE(skin->widgetOf(id)->isEnabled()) << id;
    }

    click(ids::kFixDbScale);
    EXPECT_TRUE(state.fixDbScale);
    EXPECT_TRUE(widget<QRadioButton>(ids::kFixDbScale)->isChecked());
    EXPECT_TRUE(skin->widgetOf(ids::kDbLowEdit)->isEnabled());
    click(ids::kFixDbScale);
    EXPECT_FALSE(widget<QRadioButton>(ids::kFixDbScale)->isChecked());

    click(ids::kExit);
    EXPECT_EQ(actions.calls, std::vector<std::string>{"close"});
}

TEST_F(PanelWiringTest, TheShiftBarAndItsEditFollowEachOther) {
    auto* bar = widget<QScrollBar>(ids::kShiftBar);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // downwards: less shift
    settle();
    EXPECT_EQ(state.shiftDb, -1.0f);
    EXPECT_EQ(widget<QLineEdit>(ids::kShiftEdit)->text(), "-1");
    EXPECT_EQ(bar->value(), 1);

    retype(ids::kShiftEdit, "100");
    EXPECT_EQ(state.shiftDb, 100.0f);
    EXPECT_EQ(bar->value(), -60);  // the bar's top end
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    settle();
    EXPECT_EQ(state.shiftDb, 60.0f);  // -100 + 1, held within the bar
    EXPECT_EQ(bar->value(), -60);
}

TEST_F(PanelWiringTest, ADroppedFileIsNamedAndRead) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/first.rsn"), QUrl::fromLocalFile("/tmp/second.rsn")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(skin->window(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(skin->window(), &drop);
    settle();
    EXPECT_STREQ(state.fileNameText.data(), "/tmp/first.rsn");
    EXPECT_EQ(widget<QLineEdit>(ids::kFileNameEdit)->text(), "/tmp/first.rsn");
    EXPECT_EQ(actions.calls, std::vector<std::string>{"read"});
    EXPECT_EQ(drops.pendingDrops(), 0u);
}

}  // namespace
}  // namespace ressona
