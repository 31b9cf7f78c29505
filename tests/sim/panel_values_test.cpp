// What a user types on the panel reaches the plots as something they can
// draw: values that cannot be drawn are corrected where they are typed, the
// frequency plot keeps its axes, labels, units and curve, the counter runs
// and a tone still plays a tone.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "sim/program_fixture.h"

namespace ressona {
namespace {

using testing::SimulatedProgram;

struct PanelValuesTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(sim.program->start());
        sim.program->pumpMessages();
    }
    Program& program() { return *sim.program; }
    void enter(int id, const std::string& text) {
        program().type(id, text);
        program().leave(id);
        program().pumpMessages();
    }
    void click(int id) {
        program().click(id);
        program().pumpMessages();
    }
    void measure(int captures) {
        click(ids::kStart);
        sim.runCaptures(captures);
        click(ids::kStop);
        program().pumpMessages();
    }
    // Draws the standard view afresh.
    void drawStandard() {
        static_cast<RecordingCanvas&>(*program().program().freqPlot.memoryDc).clear();
        click(ids::kViewStandardButton);
    }
    // What the frequency plot drew last: its texts and whether a curve was among it.
    std::vector<std::string> plotTexts() {
        return static_cast<RecordingCanvas&>(*program().program().freqPlot.memoryDc).texts();
    }
    bool curveDrawn() {
        const auto& dc = static_cast<RecordingCanvas&>(*program().program().freqPlot.memoryDc);
        const auto lines = dc.callsOf(CanvasCallKind::Polyline);
        return std::any_of(lines.begin(), lines.end(), [](const CanvasCall& c) {
            return c.pen.colour == Colour{255, 255, 0} && c.points.size() > 1;
        });
    }
    std::string edit(int id) { return program().dialog().GetDlgItemTextA(id); }

    SimulatedProgram sim;
};

TEST_F(PanelValuesTest, CrossedDbLimitsShowTheRangeInForceAndDrawRoundLabels) {
    click(ids::kMls);
    measure(3);
    click(ids::kFixDbScale);
    enter(ids::kDbLowEdit, "-70");
    enter(ids::kDbHighEdit, "-80");
    EXPECT_EQ(edit(ids::kDbLowEdit), "-70");
    EXPECT_EQ(edit(ids::kDbHighEdit), "-69");
    drawStandard();
    const auto texts = plotTexts();
    std::vector<std::string> levels;
    for (const std::string& t : texts) {
        if (t.rfind("-69", 0) == 0 || t.rfind("-70", 0) == 0) levels.push_back(t);
    }
    ASSERT_GE(levels.size(), 2u);
    EXPECT_EQ(std::set<std::string>(levels.begin(), levels.end()).size(), levels.size())
        << "no two lines carry the same label";
    EXPECT_NE(std::find(texts.begin(), texts.end(), "dB"), texts.end());
    EXPECT_TRUE(curveDrawn());
}

TEST_F(PanelValuesTest, FrequencyLimitsThatCannotBeDrawnAreCorrectedAndThePlotKeepsItsAxes) {
    click(ids::kMls);
    measure(2);
    enter(ids::kFreqLowEdit, "0");
    EXPECT_EQ(edit(ids::kFreqLowEdit), "1");
    drawStandard();
    auto texts = plotTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Hertz"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "1."), texts.end());
    EXPECT_TRUE(curveDrawn());

    enter(ids::kFreqLowEdit, "40000");
    EXPECT_EQ(edit(ids::kFreqLowEdit), "29999");
    drawStandard();
    texts = plotTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Hertz"), texts.end());
    EXPECT_GE(texts.size(), 4u);  // units and labels on both axes
}

TEST_F(PanelValuesTest, AnAverageEditWithoutANumberKeepsTheCountAndTheCounterRuns) {
    click(ids::kAverage);
    enter(ids::kAverageEdit, "abc");
    EXPECT_EQ(edit(ids::kAverageEdit), "100");
    measure(3);
    EXPECT_EQ(edit(ids::kSampleCountText), "Sample 3");
    enter(ids::kAverageEdit, "0");
    EXPECT_EQ(edit(ids::kAverageEdit), "1");
    EXPECT_EQ(program().state().averageCount, 1u);
}

// A sine at half the rate is sampled at its zeros: the highest tone is one below.
TEST_F(PanelValuesTest, TheHighestToneStillPlaysATone) {
    click(ids::kSineWave);
    enter(ids::kToneEdit, "11025");
    EXPECT_EQ(edit(ids::kToneEdit), "11024");
    measure(1);
    // Near half the rate the tone beats slowly, but it is no constant.
    const auto& excitation = program().arrays().excitationBuffer;
    const auto [low, high] = std::minmax_element(excitation.raw().begin(), excitation.raw().end());
    EXPECT_GT(*high - *low, 10);
}

}  // namespace
}  // namespace ressona
