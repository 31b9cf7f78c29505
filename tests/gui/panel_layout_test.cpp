#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QValidator>

#include "gui/gui_fixture.h"
#include "platform/qt/qt_panel.h"
#include "resources/control_ids.h"
#include "resources/panel_template.h"

namespace ressona {
namespace {

using testing::captionTrouble;

class PanelLayoutTest : public ::testing::Test {
protected:
    const DialogTemplate& layout = panelTemplate();
    MessageQueue queue;
    WindowHandle panelWindow = testing::quietWindow(queue, "panel");
    DialogModel model{layout};
    DroppedFiles drops;
    QtPanel skin{model, queue, panelWindow, drops};
};

TEST(DialogUnitsTest, ConvertCornersWithRounding) {
    const DialogUnits units{6, 10};
    EXPECT_EQ(units.toPixelsX(516), 774);
    EXPECT_EQ(units.toPixelsY(196), 245);
    EXPECT_EQ(units.toPixelsX(1), 2);  // 1.5 pixels round up
    EXPECT_EQ(units.toPixelsY(3), 4);  // 3.75
    // Start, Stop and Exit share edges the way their units do.
    const QRect start = units.toPixels(0, 178, 35, 18);
    const QRect stop = units.toPixels(37, 178, 35, 18);
    EXPECT_EQ(start.bottom(), units.toPixelsY(196) - 1);
    EXPECT_EQ(stop.left(), units.toPixelsX(37));
    EXPECT_EQ(stop.right() + 1, units.toPixelsX(72));
}

TEST_F(PanelLayoutTest, BaseUnitsComeFromTheFontInUse) {
    const DialogUnits& units = skin.units();
    const QFontMetrics metrics(skin.window()->font());
    EXPECT_EQ(units.baseY, metrics.height());
    EXPECT_EQ(units.baseX, DialogUnits::of(skin.window()->font()).baseX);
    // A small font: the panel must fit below the plots on an ordinary screen.
    EXPECT_LE(units.baseY, 11);
    EXPECT_GE(units.baseY, 9);
    EXPECT_EQ(QFontInfo(skin.window()->font()).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(skin.window()->size(), units.toPixels(0, 0, layout.width, layout.height).size());
    EXPECT_EQ(skin.window()->windowTitle().toStdString(), std::string(layout.caption));
}

TEST_F(PanelLayoutTest, EveryControlSitsAtItsRectangleAndItsCaptionFits) {
    const DialogUnits& units = skin.units();
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const ControlTemplate& c = layout.controls[i];
        const QWidget* widget = skin.widgetAt(i);
        const std::string name = std::string(c.caption) + " #" + std::to_string(c.id);
        if (c.kind == ControlKind::Bitmap) {
            // The logo keeps its own size at the control's corner.
            EXPECT_EQ(widget->geometry(), QRect(units.toPixels(c).topLeft(), QSize(81, 74)));
            continue;
        }
        EXPECT_EQ(widget->geometry(), units.toPixels(c)) << name;
        EXPECT_EQ(captionTrouble(*widget).toStdString(), "") << name;
        EXPECT_EQ(widget->font(), skin.window()->font()) << name;
    }
}

TEST_F(PanelLayoutTest, GroupBoxesNeitherHideNorCatchTheControls) {
    QWidget* window = skin.window();
    for (const ControlTemplate& c : layout.controls) {
        if (c.id == kNoControlId) continue;
        QWidget* widget = skin.widgetOf(c.id);
        const QPoint centre = widget->geometry().center();
        EXPECT_EQ(window->childAt(centre), widget) << "control " << c.id;
    }
    // The logo keeps its own height and reaches under the About button.
    QWidget* about = skin.widgetOf(ids::kAbout);
    EXPECT_EQ(window->childAt(about->geometry().topLeft() + QPoint(about->width() / 2, 1)), about);
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        if (layout.controls[i].kind != ControlKind::GroupBox) continue;
        EXPECT_TRUE(skin.widgetAt(i)->testAttribute(Qt::WA_TransparentForMouseEvents));
        EXPECT_EQ(qobject_cast<QGroupBox*>(skin.widgetAt(i))->title().toStdString(),
                  std::string(layout.controls[i].caption));
    }
}

TEST_F(PanelLayoutTest, ControlsHaveTheKindsTheTemplateAsks) {
    // One button group per radio group; the lone "Fix dB Scale" is no one's.
    auto* rate = qobject_cast<QRadioButton*>(skin.widgetOf(ids::kRate8000));
    auto* length = qobject_cast<QRadioButton*>(skin.widgetOf(ids::kLength64));
    auto* time = qobject_cast<QRadioButton*>(skin.widgetOf(ids::kAverageInTime));
    auto* single = qobject_cast<QRadioButton*>(skin.widgetOf(ids::kSingleSample));
    auto* fix = qobject_cast<QRadioButton*>(skin.widgetOf(ids::kFixDbScale));
    ASSERT_TRUE(rate && length && time && single && fix);
    ASSERT_NE(rate->group(), nullptr);
    EXPECT_EQ(rate->group()->buttons().size(), 5);
    EXPECT_EQ(length->group()->buttons().size(), 9);
    EXPECT_EQ(time->group()->buttons().size(), 2);
    EXPECT_NE(time->group(), single->group());  // same group box, separate groups
    EXPECT_EQ(
        qobject_cast<QRadioButton*>(skin.widgetOf(ids::kSquareWave))->group()->buttons().size(), 7);
    EXPECT_EQ(fix->group(), nullptr);
    EXPECT_FALSE(fix->autoExclusive());

    auto* artificial = qobject_cast<QPushButton*>(skin.widgetOf(ids::kArtificial));
    ASSERT_NE(artificial, nullptr);
    EXPECT_TRUE(artificial->isCheckable());
    for (int id : {ids::kStart, ids::kStop, ids::kExit, ids::kAbout, ids::kReset, ids::kSaveAs,
                   ids::kReadFrom, ids::kCaptureCurrent, ids::kArtificial}) {
        auto* button = qobject_cast<QPushButton*>(skin.widgetOf(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_FALSE(button->autoDefault()) << id;
        EXPECT_FALSE(button->isDefault()) << id;
    }
    EXPECT_EQ(qobject_cast<QPushButton*>(skin.widgetOf(ids::kExit))->text(), "E&xit");
    EXPECT_TRUE(
        qobject_cast<QPushButton*>(skin.widgetOf(ids::kCaptureCurrent))->text().contains('\n'));

    // Digit-only edits refuse a minus sign; the others take it.
    int position = 0;
    QString minus = QStringLiteral("-5");
    for (int id : {ids::kToneEdit, ids::kStepsEdit, ids::kAverageEdit}) {
        const QValidator* digits = qobject_cast<QLineEdit*>(skin.widgetOf(id))->validator();
        ASSERT_NE(digits, nullptr) << id;
        EXPECT_EQ(digits->validate(minus, position), QValidator::Invalid) << id;
    }
    EXPECT_EQ(qobject_cast<QLineEdit*>(skin.widgetOf(ids::kShiftEdit))->validator(), nullptr);
    EXPECT_TRUE(qobject_cast<QLineEdit*>(skin.widgetOf(ids::kToneEdit))->alignment() &
                Qt::AlignRight);
    EXPECT_TRUE(qobject_cast<QLineEdit*>(skin.widgetOf(ids::kFileNameEdit))->alignment() &
                Qt::AlignLeft);
    EXPECT_FALSE(skin.widgetOf(ids::kDbLowEdit)->isEnabled());
    EXPECT_FALSE(skin.widgetOf(ids::kFileNameEdit)->acceptDrops());
    EXPECT_TRUE(qobject_cast<QLabel*>(skin.widgetOf(ids::kLatencyText))->alignment() &
                Qt::AlignRight);
    EXPECT_TRUE(qobject_cast<QLabel*>(skin.widgetOf(ids::kDelayText))->alignment() &
                Qt::AlignHCenter);
    EXPECT_NE(qobject_cast<QLabel*>(skin.widgetOf(ids::kSampleCountText))->frameShape(),
              QFrame::NoFrame);

    EXPECT_EQ(qobject_cast<QScrollBar*>(skin.widgetOf(ids::kMicBar))->orientation(), Qt::Vertical);
    EXPECT_FALSE(qobject_cast<QScrollBar*>(skin.widgetOf(ids::kMicBar))->invertedAppearance());
    EXPECT_EQ(qobject_cast<QScrollBar*>(skin.widgetOf(ids::kDelayBar))->orientation(),
              Qt::Horizontal);
}

}  // namespace
}  // namespace ressona
