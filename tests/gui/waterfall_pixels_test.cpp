// The waterfall's picture over a range of settings, against fingerprints of
// the pictures the straightforward drawing made (every position's level worked
// out, every slice filled and outlined in turn, back to front). Faster drawing
// must keep every pixel. (Taken again when the frame's margins began to follow
// the labels: the straightforward drawing and the program's gave the same
// fingerprints for every scene.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "analysis/fft.h"
#include "analysis/smoothing.h"
#include "platform/qt/qt_image_canvas.h"
#include "plots/plot_style.h"
#include "unit/plot_fixture.h"

namespace ressona {
namespace {

using testing::PlotFixture;

struct Scene {
    const char* name;
    std::uint32_t n = 16384;
    std::uint32_t rate = 44100;
    std::int32_t width = 1200;
    std::int32_t height = 400;
    std::int32_t steps = 30;
    std::int32_t start = 50;
    std::int32_t dbLow = -60;
    std::int32_t dbHigh = 10;
    float shift = 0.0f;
    bool thirdOctave = false;
    bool frequencyAveraging = false;
    bool fixScale = true;
    std::int32_t freqLow = 10;
    std::int32_t freqHigh = 30000;
    bool reduce = true;
    std::uint64_t fingerprint = 0;
};

// A noisy, decaying room response with a resonance; its magnitudes also serve
// as the running sum when the scene averages in frequency.
void fillRoom(PlotFixture& f, const Scene& scene) {
    SampleArrays& a = f.arrays();
    std::mt19937 random(scene.n + 7);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    const float decay = static_cast<float>(scene.n) / 16.0f;
    for (std::size_t i = 1; i <= scene.n; ++i) {
        const float t = static_cast<float>(i - 1);
        const float v =
            std::exp(-t / decay) * (9000.0f * noise(random) + 6000.0f * std::sin(0.07f * t)) +
            25.0f * noise(random);
        a.timeTrace[i] = v;
        a.timeComplex[i] = ComplexValue{v, 0.0f};
        a.spectrumWork[i] = a.timeComplex[i];
    }
    testing::radix2Transform(a.spectrumWork.view());
    for (std::size_t i = 1; i <= scene.n / 2; ++i) {
        const ComplexValue c = a.spectrumWork[i];
        a.magnitudeSpectrum[i] = std::sqrt(c.re * c.re + c.im * c.im);
        a.averageSum[i] = 1.5f * a.magnitudeSpectrum[i];
    }
    a.resultsReady = true;
    a.analysisAverageInTime = !scene.frequencyAveraging;
    a.averagesDone = scene.frequencyAveraging ? 2 : 0;
    MeasurementState& s = f.state();
    handDbRange(s, scene.dbLow, scene.dbHigh, scene.shift);
    handFrequencyRange(s, scene.freqLow, scene.freqHigh);
    handWaterfall(s, scene.start, scene.steps);
    handFixDbScale(s, scene.fixScale);
    handThirdOctave(s, scene.thirdOctave);
}

// FNV-1a over the bytes of a value.
void mix(std::uint64_t& hash, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
}

// Which of the slices' two colours each pixel has (text and the background
// count alike, so the fonts installed do not matter), and the dB limits the
// automatic scaling left.
std::uint64_t fingerprint(const QtImageCanvas& image, const MeasurementState& s) {
    std::uint64_t hash = 14695981039346656037ull;
    for (std::int32_t y = 0; y < image.height(); ++y) {
        for (std::int32_t x = 0; x < image.width(); ++x) {
            const Colour c = image.pixel(x, y);
            const unsigned char kind = c == kPurplePen.colour ? 1 : c == kBlueBrush.colour ? 2 : 0;
            mix(hash, &kind, 1);
        }
    }
    mix(hash, &s.plotDbLow, sizeof s.plotDbLow);
    mix(hash, &s.plotDbHigh, sizeof s.plotDbHigh);
    return hash;
}

// The transform the slices go through: the tests' reference transform, or the
// program's own, reordering every value or handing over only the lower half.
enum class SliceTransform { Reference, Program, ProgramLowerHalf };

// Draws the scene's waterfall three times in a row (the automatic scaling
// moves the limits between draws) and fingerprints the last picture.
std::uint64_t drawScene(const Scene& scene,
                        SliceTransform sliceTransform = SliceTransform::Reference) {
    PlotFixture f(scene.n, scene.rate);
    FourierTransform cache;
    f.tools.transform = testing::radix2Transform;
    if (sliceTransform != SliceTransform::Reference) {
        f.tools.transform = [&cache](OneBasedSpan<ComplexValue> data) {
            fft(cache, data.raw(), static_cast<std::int32_t>(data.size()), -1);
        };
    }
    if (sliceTransform == SliceTransform::ProgramLowerHalf) {
        f.tools.leadingTransform = [&cache](OneBasedSpan<ComplexValue> data,
                                            std::span<ComplexValue> leading) {
            fftLeading(cache, data.raw(), static_cast<std::int32_t>(data.size()), -1, leading);
        };
    }
    f.tools.smooth = [&f](OneBasedSpan<float> m, float) { smoothSpectrum(f.arrays(), m); };
    fillRoom(f, scene);
    QtImageSurface surface(scene.width, scene.height);
    MessageQueue queue;
    const PlotEnvironment env{f.state(), f.arrays(), queue, surface};
    FreqPlotState plot;
    plot.reduceTraces = scene.reduce;
    const WindowHandle w = createFreqPlotWindow(plot, f.tools, env);
    for (int draw = 0; draw < 3; ++draw) queue.PostMessageA(w, MSG_DRAW_WATERFALL, 0, 0);
    while (queue.dispatchPending() > 0) {
    }
    if (std::getenv("RESSONA_KEEP_PICTURES") != nullptr) {
        std::string file = ::testing::TempDir() + "ressona_waterfall_" + scene.name + ".png";
        std::replace(file.begin(), file.end(), ' ', '_');
        surface.window().savePng(file);
    }
    return fingerprint(surface.window(), f.state());
}

std::string describe(const Scene& s) {
    return std::string(s.name) + " n=" + std::to_string(s.n) + " steps=" + std::to_string(s.steps) +
           (s.reduce ? "" : " unreduced");
}

TEST(WaterfallPixels, PicturesKeepTheirFingerprints) {
    const Scene scenes[] = {
        {.name = "room, 30 steps", .fingerprint = 10772772596684079808ull},
        {.name = "room, 30 steps", .reduce = false, .fingerprint = 10772772596684079808ull},
        {.name = "room, wide range",
         .dbLow = -110,
         .dbHigh = 30,
         .fingerprint = 17899202833673648384ull},
        {.name = "third octave, scaling",
         .steps = 6,
         .start = 100,
         .dbLow = -50,
         .thirdOctave = true,
         .fixScale = false,
         .fingerprint = 16480105910854966590ull},
        {.name = "one step, shifted",
         .width = 640,
         .height = 300,
         .steps = 1,
         .start = 0,
         .dbLow = -120,
         .dbHigh = 40,
         .shift = 15.0f,
         .fingerprint = 11025044454463725890ull},
        {.name = "frequency averaging",
         .steps = 12,
         .frequencyAveraging = true,
         .fixScale = false,
         .fingerprint = 10605772229720407117ull},
        {.name = "limits beyond the data",
         .freqLow = 1,
         .freqHigh = 100000,
         .fingerprint = 2934026463361048433ull},
        {.name = "narrow band",
         .freqLow = 5000,
         .freqHigh = 6000,
         .fingerprint = 2153744522392609244ull},
        {.name = "nothing shown",
         .freqLow = 30000,
         .freqHigh = 40000,
         .fingerprint = 13033698102168406712ull},
        {.name = "all below", .dbLow = 50, .dbHigh = 60, .fingerprint = 2621096854239178536ull},
        {.name = "all above",
         .dbLow = -300,
         .dbHigh = -250,
         .fingerprint = 14895162932403484199ull},
        {.name = "small window",
         .width = 150,
         .height = 100,
         .fixScale = false,
         .fingerprint = 1960741097550206389ull},
        {.name = "every step",
         .n = 1024,
         .rate = 22050,
         .width = 800,
         .steps = 512,
         .start = 0,
         .dbLow = -80,
         .dbHigh = 0,
         .fixScale = false,
         .fingerprint = 2718655660843228726ull},
        {.name = "every step",
         .n = 1024,
         .rate = 22050,
         .width = 800,
         .steps = 512,
         .start = 0,
         .dbLow = -80,
         .dbHigh = 0,
         .thirdOctave = true,
         .reduce = false,
         .fingerprint = 12022768896960792753ull},
        {.name = "short record",
         .n = 64,
         .rate = 22050,
         .width = 300,
         .height = 200,
         .steps = 3,
         .start = 10,
         .fixScale = false,
         .fingerprint = 8915495630303083450ull},
        {.name = "start beyond the record",
         .n = 1024,
         .rate = 48000,
         .width = 500,
         .steps = 40,
         .start = 5000,
         .dbLow = -100,
         .dbHigh = 20,
         .fingerprint = 4768743926982541716ull},
        {.name = "start at the end",
         .n = 64,
         .rate = 22050,
         .steps = 32,
         .start = 64,
         .fingerprint = 14480960950103315290ull},
    };
    for (const Scene& scene : scenes) {
        EXPECT_EQ(drawScene(scene), scene.fingerprint) << describe(scene);
    }
}

// The program hands the waterfall only the lower half of each slice's
// spectrum; the pictures are those of the fully reordered transform.
TEST(WaterfallPixels, TheLowerHalfOfTheTransformDrawsTheSamePicture) {
    const Scene scenes[] = {
        {.name = "room, 30 steps"},
        {.name = "third octave", .steps = 6, .start = 100, .thirdOctave = true, .fixScale = false},
        {.name = "frequency averaging", .steps = 12, .frequencyAveraging = true},
        {.name = "short record", .n = 64, .rate = 22050, .width = 300, .steps = 3, .start = 10},
        {.name = "start beyond the record", .n = 1024, .rate = 48000, .steps = 40, .start = 5000},
    };
    for (const Scene& scene : scenes) {
        EXPECT_EQ(drawScene(scene, SliceTransform::ProgramLowerHalf),
                  drawScene(scene, SliceTransform::Program))
            << describe(scene);
    }
}

}  // namespace
}  // namespace ressona
