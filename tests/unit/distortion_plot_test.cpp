#include "plots/distortion_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/canvas/recording_canvas.h"

namespace ressona {
namespace {

TEST(DistortionPlotTest, EachCurveInItsColourWithGapsAndAKeyInsideThePicture) {
    DistortionPlotData data;
    const double gap = std::numeric_limits<double>::quiet_NaN();
    data.frequencyHz = {20, 40, 80, 160, 320, 640};
    data.levelDb[0] = {-6, -6, -6, -6, -6, -6};
    data.levelDb[1] = {-52, -52, gap, -52, -52, -52};  // one gap: two runs
    data.levelDb[2] = {-70, -70, -70, -70, gap, gap};
    data.levelDb[3] = {-300, -300, -300, gap, gap, gap};  // below the picture: on its floor
    data.levelDb[4] = {gap, gap, gap, gap, gap, gap};     // nothing: no line
    RecordingCanvas canvas(600, 300);
    drawDistortionPlot(canvas, data);

    std::array<int, kDistortionCurves> runs{};
    std::int32_t lowestY = 0;
    for (const CanvasCall& call : canvas.calls()) {
        if (call.kind != CanvasCallKind::Polyline) continue;
        for (int c = 0; c < kDistortionCurves; ++c)
            if (call.pen.colour == kDistortionColours[c]) ++runs[c];
        for (const PlotPoint& p : call.points) {
            EXPECT_GE(p.x, 0);
            EXPECT_LT(p.x, 600);
            lowestY = std::max(lowestY, p.y);
        }
    }
    EXPECT_EQ(runs, (std::array<int, kDistortionCurves>{1, 2, 1, 1, 0}));
    EXPECT_LT(lowestY, 300) << "levels below the range stay on the frame's floor";
    std::vector<std::string> texts;
    for (const CanvasCall& call : canvas.calls())
        if (call.kind == CanvasCallKind::TextOut) texts.push_back(call.text);
    for (const char* expected : {"Fundamental", "H2", "H5", "100", "0", "-120"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << expected;
}

TEST(DistortionPlotTest, NoDataIsABlackPicture) {
    RecordingCanvas canvas(100, 50);
    drawDistortionPlot(canvas, DistortionPlotData{});
    ASSERT_EQ(canvas.calls().size(), 1u);
    EXPECT_EQ(canvas.calls()[0].kind, CanvasCallKind::FillRect);
}

}  // namespace
}  // namespace ressona
