#include "desktop/plot_picture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "unit/plot_fixture.h"

namespace ressona {
namespace {

using testing::PlotFixture;

// A small room: a decaying two-mode ringing, its spectrum and phase.
void fillRingingResults(PlotFixture& f) {
    SampleArrays& a = f.arrays();
    const std::size_t n = static_cast<std::size_t>(a.pointCount);
    for (std::size_t i = 1; i <= n; ++i) {
        const float t = static_cast<float>(i - 1) / a.analysisSampleRate;
        const float v = 9000.0f * std::exp(-t * 60.0f) *
                        (std::sin(2.0f * 3.1415926f * 120.0f * t) +
                         0.5f * std::sin(2.0f * 3.1415926f * 2500.0f * t));
        a.timeTrace[i] = v;
        a.timeComplex[i] = ComplexValue{v, 0.0f};
        a.spectrumWork[i] = a.timeComplex[i];
        a.excitationBuffer[i] = i == 11 ? kDriveCode : kSilenceCode;
    }
    testing::radix2Transform(a.spectrumWork.view());
    for (std::size_t i = 1; i <= n / 2; ++i) {
        const ComplexValue c = a.spectrumWork[i];
        a.magnitudeSpectrum[i] = std::sqrt(c.re * c.re + c.im * c.im);
        a.phaseSpectrum[i] = std::atan2(c.im, c.re);
    }
    a.resultsReady = true;
    handDbRange(f.state(), -80, 0, 0.0f);
    handWaterfall(f.state(), 20, 12);
}

TEST(PlotPicture, EachPictureIsWrittenAtTheAskedSizeAndLeavesTheRangesAlone) {
    PlotFixture f(2048, 22050);
    f.tools.transform = testing::radix2Transform;
    fillRingingResults(f);
    f.state().analysisView = kViewWaterfall;
    const float dbLow = f.state().plotDbLow;
    const float timeMax = f.arrays().timePlotMax;
    const struct {
        PlotPicture picture;
        const char* name;
    } pictures[] = {{PlotPicture::Time, "time"},
                    {PlotPicture::Standard, "standard"},
                    {PlotPicture::Phase, "phase"},
                    {PlotPicture::Histogram, "histogram"},
                    {PlotPicture::Waterfall, "waterfall"}};
    for (const auto& p : pictures) {
        const std::string path = ::testing::TempDir() + "ressona_" + p.name + ".png";
        ASSERT_EQ(savePlotPicture(f.state(), f.arrays(), f.tools, p.picture, 640, 300, path),
                  kPictureSaved)
            << p.name;
        const QImage image(QString::fromStdString(path));
        ASSERT_EQ(image.width(), 640) << p.name;
        ASSERT_EQ(image.height(), 300) << p.name;
        EXPECT_EQ(QColor(image.pixel(2, 2)), QColor(192, 192, 192)) << p.name;  // background
        if (p.picture != PlotPicture::Waterfall) {
            // The frame's black inside covers most of the picture (its margins
            // follow the labels, so no one pixel is sure to be inside).
            int black = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) black += image.pixel(x, y) == qRgb(0, 0, 0);
            }
            EXPECT_GT(black, image.width() * image.height() / 2) << p.name;
        }
        if (std::getenv("RESSONA_KEEP_PICTURES") == nullptr) std::remove(path.c_str());
    }
    EXPECT_FLOAT_EQ(f.state().plotDbLow, dbLow);
    EXPECT_FLOAT_EQ(f.arrays().timePlotMax, timeMax);

    EXPECT_EQ(savePlotPicture(f.state(), f.arrays(), f.tools, PlotPicture::Time, 0, 300, "x.png"),
              kPictureBadSize);
    EXPECT_EQ(savePlotPicture(f.state(), f.arrays(), f.tools, PlotPicture::Time, 640, 300,
                              "/nonexistent-directory/x.png"),
              kPictureNotWritten);
}

}  // namespace
}  // namespace ressona
