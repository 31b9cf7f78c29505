// What the measurer says of each capture: its peak below full scale, its
// clipped samples, its response's peak, and the warnings that follow.

#include "audio/capture_figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace ressona {
namespace {

TEST(CaptureFigures, PeakAndClippedSamplesOfARecording) {
    CaptureFigures figures;
    std::vector<std::int16_t> recording(1000, 0);
    measureRecording(recording, figures);
    EXPECT_FALSE(figures.recordingPeakDbfs) << "silence has no level";
    EXPECT_EQ(figures.clippedSamples, 0u);

    recording[3] = -16384;
    measureRecording(recording, figures);
    ASSERT_TRUE(figures.recordingPeakDbfs);
    EXPECT_NEAR(*figures.recordingPeakDbfs, -6.0206, 1e-4);

    recording[7] = 32767;
    recording[8] = -32768;
    recording[9] = -32768;
    measureRecording(recording, figures);
    EXPECT_DOUBLE_EQ(*figures.recordingPeakDbfs, 0.0);
    EXPECT_EQ(figures.clippedSamples, 3u);
    EXPECT_EQ(peakCounts(recording), 32768);
    EXPECT_EQ(peakCounts({}), 0);
}

TEST(CaptureFigures, WarningsNameTheLevelsToChange) {
    CaptureFigures fine;
    fine.impulsePeakCounts = 2100;
    EXPECT_TRUE(captureWarnings({fine, fine}, true).empty());
    EXPECT_TRUE(captureWarnings({}, true).empty());

    CaptureFigures coarse = fine;
    coarse.impulsePeakCounts = 34;
    CaptureFigures clipped = fine;
    clipped.clippedSamples = 12;
    const auto warnings = captureWarnings({fine, coarse, clipped, coarse}, true);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("1 of 4 captures clipped (up to 12 samples"), std::string::npos)
        << warnings[0];
    EXPECT_NE(warnings[0].find("lower --mic-level or --speaker-level"), std::string::npos);
    EXPECT_NE(warnings[1].find("only 34 counts"), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[1].find("2 of 4 captures"), std::string::npos);
    EXPECT_NE(warnings[1].find("raise --speaker-level or --mic-level"), std::string::npos);
    // Recording the line input, its bar is the one to change.
    const auto line = captureWarnings({clipped}, false);
    ASSERT_EQ(line.size(), 1u);
    EXPECT_NE(line[0].find("--line-level"), std::string::npos);
    // A response exactly at the limit is not coarse.
    coarse.impulsePeakCounts = kCoarseImpulsePeak;
    EXPECT_TRUE(captureWarnings({coarse}, true).empty());
}

}  // namespace
}  // namespace ressona
