#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QUrl>

#include "gui/gui_fixture.h"
#include "platform/qt/qt_panel.h"
#include "resources/control_ids.h"
#include "resources/panel_template.h"

namespace ressona {
namespace {

using testing::takePosted;

// The panel's widgets over a bare model: what reaches the queue, what the model
// holds, what the widgets show.
class PanelSkinTest : public ::testing::Test {
protected:
    template <typename W>
    W* widget(int id) {
        W* found = qobject_cast<W*>(skin.widgetOf(id));
        EXPECT_NE(found, nullptr) << "control " << id;
        return found;
    }
    Message command(int id, std::uint16_t notification) const {
        return {panelWindow, WM_COMMAND,
                makeCommandParam(static_cast<std::uint16_t>(id), notification),
                static_cast<LPARAM>(model.handleOf(id))};
    }
    Message scroll(int id, std::uint32_t message, int code, int position = 0) const {
        const WPARAM wParam = (static_cast<WPARAM>(static_cast<std::uint16_t>(position)) << 16) |
                              static_cast<WPARAM>(code);
        return {panelWindow, message, wParam, static_cast<LPARAM>(model.handleOf(id))};
    }
    void click(int id) { QTest::mouseClick(skin.widgetOf(id), Qt::LeftButton); }

    MessageQueue queue;
    WindowHandle panelWindow = testing::quietWindow(queue, "panel");
    DialogModel model{panelTemplate()};
    DroppedFiles drops;
    QtPanel skin{model, queue, panelWindow, drops};
};

TEST_F(PanelSkinTest, RadioClicksMoveTheirOwnGroupOnlyAndPostTheCommand) {
    model.CheckDlgButton(ids::kRate22050, true);
    model.CheckDlgButton(ids::kPulse, true);
    model.CheckDlgButton(ids::kLength64 + 5, true);  // 2048
    click(ids::kRate8000);
    EXPECT_EQ(takePosted(queue), (std::vector<Message>{command(ids::kRate8000, BN_CLICKED)}));
    EXPECT_TRUE(model.IsDlgButtonChecked(ids::kRate8000));
    EXPECT_FALSE(model.IsDlgButtonChecked(ids::kRate22050));
    EXPECT_FALSE(widget<QRadioButton>(ids::kRate22050)->isChecked());
    // Buttons of other groups, also in the same group box, keep their marks.
    click(ids::kMls);
    click(ids::kAverageInTime);
    click(ids::kSingleSample);
    EXPECT_TRUE(model.IsDlgButtonChecked(ids::kRate8000));
    EXPECT_TRUE(model.IsDlgButtonChecked(ids::kLength64 + 5));
    EXPECT_TRUE(model.IsDlgButtonChecked(ids::kAverageInTime));
    EXPECT_TRUE(model.IsDlgButtonChecked(ids::kSingleSample));
    EXPECT_TRUE(widget<QRadioButton>(ids::kAverageInTime)->isChecked());
    EXPECT_TRUE(widget<QRadioButton>(ids::kMls)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(ids::kPulse)->isChecked());
    EXPECT_EQ(takePosted(queue).size(), 3u);
}

TEST_F(PanelSkinTest, TheLoneRadioButtonShowsOnlyThePanelsMark) {
    click(ids::kFixDbScale);
    EXPECT_EQ(takePosted(queue), (std::vector<Message>{command(ids::kFixDbScale, BN_CLICKED)}));
    EXPECT_FALSE(model.IsDlgButtonChecked(ids::kFixDbScale));
    EXPECT_FALSE(widget<QRadioButton>(ids::kFixDbScale)->isChecked());
    model.CheckDlgButton(ids::kFixDbScale, true);  // what the panel does on the command
    EXPECT_TRUE(widget<QRadioButton>(ids::kFixDbScale)->isChecked());
    click(ids::kFixDbScale);
    EXPECT_TRUE(widget<QRadioButton>(ids::kFixDbScale)->isChecked());
}

TEST_F(PanelSkinTest, CheckBoxesAndArtificialToggleTheModel) {
    click(ids::kHalfHanning);
    click(ids::kArtificial);
    EXPECT_TRUE(model.IsDlgButtonChecked(ids::kHalfHanning));
    EXPECT_TRUE(model.IsDlgButtonChecked(ids::kArtificial));
    EXPECT_TRUE(widget<QPushButton>(ids::kArtificial)->isChecked());
    click(ids::kArtificial);
    EXPECT_FALSE(model.IsDlgButtonChecked(ids::kArtificial));
    EXPECT_FALSE(widget<QPushButton>(ids::kArtificial)->isChecked());
    EXPECT_EQ(takePosted(queue),
              (std::vector<Message>{command(ids::kHalfHanning, BN_CLICKED),
                                    command(ids::kArtificial, BN_CLICKED),
                                    command(ids::kArtificial, BN_CLICKED)}));
    // A disabled control posts nothing.
    model.EnableWindow(ids::kStop, false);
    click(ids::kStop);
    EXPECT_TRUE(takePosted(queue).empty());
}

TEST_F(PanelSkinTest, TypingPostsEachChangeAndReturnOnlyLeavesTheEdit) {
    QLineEdit* shift = widget<QLineEdit>(ids::kShiftEdit);
    QTest::keyClicks(shift, "-12");
    EXPECT_EQ(model.GetDlgItemTextA(ids::kShiftEdit), "-12");
    EXPECT_EQ(takePosted(queue), std::vector<Message>(3, command(ids::kShiftEdit, EN_CHANGE)));
    // Return clicks no button; the panel hears that the edit is done with.
    QTest::keyClick(shift, Qt::Key_Return);
    EXPECT_EQ(takePosted(queue), std::vector<Message>{command(ids::kShiftEdit, EN_KILLFOCUS)});
    // A digit-only edit drops what is not a digit.
    QLineEdit* tone = widget<QLineEdit>(ids::kToneEdit);
    model.EnableWindow(ids::kToneEdit, true);
    tone->clear();
    QTest::keyClicks(tone, "4a-4");
    EXPECT_EQ(model.GetDlgItemTextA(ids::kToneEdit), "44");
    EXPECT_EQ(takePosted(queue).size(), 2u);
}

TEST_F(PanelSkinTest, ModelChangesShowOnTheWidgetsWithoutPosting) {
    model.EnableWindow(ids::kStart, false);
    model.CheckDlgButton(ids::kShowCaptured, true);
    model.CheckDlgButton(ids::kArtificial, true);
    model.SetDlgItemTextA(ids::kSampleCountText, "Sample 7");
    model.SetDlgItemTextA(ids::kFileNameEdit, "room.rsn");
    EXPECT_FALSE(skin.widgetOf(ids::kStart)->isEnabled());
    EXPECT_TRUE(widget<QAbstractButton>(ids::kShowCaptured)->isChecked());
    EXPECT_TRUE(widget<QPushButton>(ids::kArtificial)->isChecked());
    EXPECT_EQ(widget<QLabel>(ids::kSampleCountText)->text(), "Sample 7");
    EXPECT_EQ(widget<QLineEdit>(ids::kFileNameEdit)->text(), "room.rsn");
    EXPECT_TRUE(takePosted(queue).empty());

    // The panel may leave a radio group with nothing checked (the Histogram view).
    model.CheckDlgButton(ids::kViewStandardButton, true);
    model.CheckDlgButton(ids::kViewStandardButton, false);
    EXPECT_FALSE(widget<QRadioButton>(ids::kViewStandardButton)->isChecked());
    model.CheckDlgButton(ids::kViewPhaseButton, true);
    model.CheckDlgButton(ids::kViewWaterfallButton, true);  // a second mark, as the panel asks
    EXPECT_TRUE(widget<QRadioButton>(ids::kViewPhaseButton)->isChecked());
    EXPECT_TRUE(widget<QRadioButton>(ids::kViewWaterfallButton)->isChecked());
}

TEST_F(PanelSkinTest, ScrollBarsShowTheModelsRangeWithThePageInside) {
    QScrollBar* shift = widget<QScrollBar>(ids::kShiftBar);
    model.SetScrollInfo(ids::kShiftBar, {SIF_ALL, -60, 60, 10, -100});
    EXPECT_EQ(shift->minimum(), -60);
    EXPECT_EQ(shift->maximum(), 51);
    EXPECT_EQ(shift->pageStep(), 10);
    EXPECT_EQ(shift->value(), -60);
    model.SetScrollInfo(ids::kShiftBar, {SIF_POS, 0, 0, 0, 60});
    EXPECT_EQ(shift->value(), 51);
    model.SetScrollInfo(ids::kWaterfallStartBar, {SIF_ALL, 0, 2048, 10, 16384});
    EXPECT_EQ(widget<QScrollBar>(ids::kWaterfallStartBar)->value(), 2039);
    model.SetScrollInfo(ids::kDelayBar, {SIF_ALL, -32, 32, 0, -5});
    EXPECT_EQ(widget<QScrollBar>(ids::kDelayBar)->maximum(), 32);
    EXPECT_EQ(widget<QScrollBar>(ids::kDelayBar)->value(), -5);
    EXPECT_TRUE(takePosted(queue).empty());
}

TEST_F(PanelSkinTest, ScrollActionsPostTheirCodesAndTheThumbStaysWithTheModel) {
    QScrollBar* shift = widget<QScrollBar>(ids::kShiftBar);
    model.SetScrollInfo(ids::kShiftBar, {SIF_ALL, -60, 60, 10, -100});
    shift->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    shift->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(shift->value(), -60);
    shift->setSliderDown(true);
    shift->setSliderPosition(20);
    EXPECT_EQ(shift->value(), -60);
    shift->setSliderPosition(-30);
    shift->setSliderDown(false);
    EXPECT_EQ(shift->value(), -60);
    EXPECT_EQ(takePosted(queue),
              (std::vector<Message>{scroll(ids::kShiftBar, WM_VSCROLL, SB_LINEDOWN),
                                    scroll(ids::kShiftBar, WM_VSCROLL, SB_PAGEUP),
                                    scroll(ids::kShiftBar, WM_VSCROLL, SB_THUMBTRACK, 20),
                                    scroll(ids::kShiftBar, WM_VSCROLL, SB_THUMBTRACK, -30),
                                    scroll(ids::kShiftBar, WM_VSCROLL, SB_THUMBPOSITION, -30),
                                    scroll(ids::kShiftBar, WM_VSCROLL, SB_ENDSCROLL)}));
    // The panel's answer moves the thumb.
    model.SetScrollInfo(ids::kShiftBar, {SIF_POS, 0, 0, 0, -29});
    EXPECT_EQ(shift->value(), -29);
}

TEST_F(PanelSkinTest, AMouseClickOnAnArrowStepsTheBar) {
    QScrollBar* delay = widget<QScrollBar>(ids::kDelayBar);
    model.SetScrollInfo(ids::kDelayBar, {SIF_ALL, -1024, 1024, 10, 0});
    QStyleOptionSlider option;
    option.initFrom(delay);
    option.orientation = Qt::Horizontal;
    option.minimum = delay->minimum();
    option.maximum = delay->maximum();
    option.sliderPosition = delay->sliderPosition();
    option.sliderValue = delay->value();
    option.pageStep = delay->pageStep();
    option.singleStep = delay->singleStep();
    option.subControls = QStyle::SC_All;
    const QRect addArrow = delay->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                          QStyle::SC_ScrollBarAddLine, delay);
    ASSERT_TRUE(addArrow.isValid());
    QTest::mouseClick(delay, Qt::LeftButton, {}, addArrow.center());
    const std::vector<Message> posted = takePosted(queue);
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.front(), scroll(ids::kDelayBar, WM_HSCROLL, SB_LINERIGHT));
    EXPECT_EQ(delay->value(), 0);
}

TEST_F(PanelSkinTest, DroppedFilesArePostedWithTheirNames) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/room one.rsn"), QUrl::fromLocalFile("/tmp/b.rsn"),
                  QUrl(QStringLiteral("https://example.org/c.rsn"))});
    QWidget* window = skin.window();
    const QPoint at = skin.widgetOf(ids::kFileNameEdit)->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    const std::vector<Message> posted = takePosted(queue);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].window, panelWindow);
    EXPECT_EQ(posted[0].message, WM_DROPFILES);
    const auto handle = static_cast<HDROP>(posted[0].wParam);
    ASSERT_EQ(drops.DragQueryFileA(handle, kDropFileCount, nullptr, 0), 2u);
    char name[64] = {};
    drops.DragQueryFileA(handle, 0, name, sizeof name);
    EXPECT_STREQ(name, "/tmp/room one.rsn");
    // Dropped text is no file, and a panel that accepts none posts nothing.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDropEvent textDrop(QPointF(at), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &textDrop);
    skin.DragAcceptFiles(false);
    QDropEvent refused(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &refused);
    EXPECT_TRUE(takePosted(queue).empty());
}

TEST_F(PanelSkinTest, TheCloseBoxAsksThePanelAndLeavesTheWindowOpen) {
    skin.show();
    skin.window()->close();
    EXPECT_TRUE(skin.window()->isVisible());
    EXPECT_EQ(takePosted(queue), (std::vector<Message>{{panelWindow, WM_CLOSE, 0, 0}}));
    skin.move(0, 514);
    EXPECT_EQ(skin.window()->pos(), QPoint(0, 514));
    skin.hide();
    EXPECT_FALSE(skin.window()->isVisible());
}

}  // namespace
}  // namespace ressona
