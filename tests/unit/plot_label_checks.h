#pragma once
// The plots' labels over a grid of window sizes and axis limits, checked on
// the text boxes the recording canvas keeps: every label inside the window,
// none over another, the axis titles or the frame, each centred on the tick
// or grid line it names, its value where the axis puts it and a round number,
// and the units always there. Run with any measure of text (a fixed cell, or
// the plot font as Qt draws it).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "unit/plot_fixture.h"

namespace ressona::label_checks {

using testing::PlotFixture;

struct Size {
    std::int32_t width;
    std::int32_t height;
};
constexpr Size kSizes[] = {{400, 150},  {400, 800},  {640, 200},  {955, 256},
                           {1200, 400}, {1919, 356}, {2560, 150}, {2560, 800}};

struct Limits {
    double low;
    double high;
};
constexpr Limits kDbLimits[] = {
    {-90, 3},    {-70, -69},  {-90.4, 2.7}, {-1, 0},
    {-200, 200}, {-1e6, 1e6}, {0.25, 0.5},  {-2147483648.0, 2147483647.0}};
constexpr Limits kHzLimits[] = {
    {10, 30000}, {20, 12000},    {20, 15000},     {1, 2},      {1000, 1001},
    {100, 900},  {29999, 30000}, {1, 2147483647}, {300, 3000}, {2147483000, 2147483647}};

struct Axes {
    Rect frame;
    Rect client;
};

// A label, its box and where on the picture it stands.
struct Label {
    std::string text;
    Rect box;
};

inline std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The cell the canvas gave the text (the recording canvas's own measure).
inline Rect boxOf(const CanvasCall& call) {
    return call.textBox;
}

inline std::vector<Label> labelsOf(const RecordingCanvas& dc) {
    std::vector<Label> labels;
    for (const CanvasCall& call : dc.callsOf(CanvasCallKind::TextOut)) {
        labels.push_back({trimmed(call.text), boxOf(call)});
    }
    return labels;
}

inline bool overlap(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The number a label shows ("20k", "1.5M", "-20.", "0.50"), if it shows one.
inline std::optional<double> valueOf(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double scale = 1.0;
    std::string number = text;
    switch (number.back()) {
        case 'k':
            scale = 1e3;
            number.pop_back();
            break;
        case 'M':
            scale = 1e6;
            number.pop_back();
            break;
        case 'G':
            scale = 1e9;
            number.pop_back();
            break;
        default:
            break;
    }
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (end == number.c_str() || *end != '\0') return std::nullopt;
    return value * scale;
}

// A round tick value: a whole multiple of a 1, 2 or 5 step not much finer
// than the span the value is read against.
inline bool isRound(double value, double span) {
    const double finest = span / 50.0;
    for (double step = std::pow(10.0, std::floor(std::log10(finest))); step <= 1e12; step *= 10.0) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double s = m * step;
            if (s < finest) continue;
            const double k = value / s;
            if (std::fabs(k - std::round(k)) < 1e-6) return true;
        }
    }
    return false;
}

inline std::string describe(const Size& size, const std::string& what) {
    std::ostringstream out;
    out << size.width << "x" << size.height << " " << what;
    return out.str();
}

// The checks every picture passes; `units` must each be drawn once.
inline void checkCommon(const std::vector<Label>& labels, const Axes& axes,
                        const std::vector<std::string>& units, const std::string& where) {
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const Rect& b = labels[i].box;
        EXPECT_TRUE(b.left >= 0 && b.top >= 0 && b.right <= axes.client.right &&
                    b.bottom <= axes.client.bottom)
            << where << ": '" << labels[i].text << "' leaves the window";
        EXPECT_FALSE(overlap(b, axes.frame))
            << where << ": '" << labels[i].text << "' over the frame";
        for (std::size_t j = i + 1; j < labels.size(); ++j) {
            EXPECT_FALSE(overlap(b, labels[j].box))
                << where << ": '" << labels[i].text << "' over '" << labels[j].text << "'";
        }
    }
    for (const std::string& unit : units) {
        EXPECT_EQ(std::count_if(labels.begin(), labels.end(),
                                [&](const Label& l) { return l.text == unit; }),
                  1)
            << where << ": unit " << unit;
    }
}

// Lines of the picture that stand at x (vertical ones reaching the frame's bottom edge).
inline bool tickAtX(const RecordingCanvas& dc, double x, const Axes& axes) {
    for (const CanvasCall& c : dc.callsOf(CanvasCallKind::Line)) {
        const bool vertical = c.points[0].x == c.points[1].x;
        const bool reaches = std::max(c.points[0].y, c.points[1].y) > axes.frame.bottom;
        if (vertical && reaches && std::fabs(c.points[0].x - x) <= 1.0) return true;
    }
    return false;
}

inline bool tickAtY(const RecordingCanvas& dc, double y, const Axes& axes) {
    for (const CanvasCall& c : dc.callsOf(CanvasCallKind::Line)) {
        const bool horizontal = c.points[0].y == c.points[1].y;
        const bool reaches = std::min(c.points[0].x, c.points[1].x) < axes.frame.left;
        if (horizontal && reaches && std::fabs(c.points[0].y - y) <= 1.0) return true;
    }
    return false;
}

// The labels below the frame: each a value centred on its tick, standing
// where `xOf` puts its value, round; at least two of them.
inline void checkHorizontal(const RecordingCanvas& dc, const std::vector<Label>& labels,
                            const Axes& axes, const std::string& unit, double span,
                            const std::function<double(double)>& xOf, const std::string& where) {
    int count = 0;
    for (const Label& l : labels) {
        if (l.box.top < axes.frame.bottom || l.text == unit) continue;
        const std::optional<double> value = valueOf(l.text);
        ASSERT_TRUE(value) << where << ": '" << l.text << "'";
        const double centre = (l.box.left + l.box.right) / 2.0;
        EXPECT_TRUE(tickAtX(dc, centre, axes)) << where << ": '" << l.text << "' has no tick";
        EXPECT_NEAR(centre, xOf(*value), 1.5) << where << ": '" << l.text << "'";
        EXPECT_TRUE(centre >= axes.frame.left - 1 && centre <= axes.frame.right + 1)
            << where << ": '" << l.text << "' beside the axis";
        EXPECT_TRUE(isRound(*value, std::min(span, std::fabs(*value) + span * 1e-9)))
            << where << ": '" << l.text << "' is not round";
        ++count;
    }
    EXPECT_GE(count, 2) << where << ": horizontal labels";
}

// The labels left of the frame, likewise against `yOf`.
inline void checkVertical(const RecordingCanvas& dc, const std::vector<Label>& labels,
                          const Axes& axes, double span, const std::function<double(double)>& yOf,
                          const std::string& where) {
    int count = 0;
    for (const Label& l : labels) {
        if (l.box.right > axes.frame.left || l.box.top >= axes.frame.bottom ||
            l.box.bottom <= axes.frame.top) {
            continue;
        }
        const std::optional<double> value = valueOf(l.text);
        ASSERT_TRUE(value) << where << ": '" << l.text << "'";
        const double centre = (l.box.top + l.box.bottom) / 2.0;
        EXPECT_TRUE(tickAtY(dc, centre, axes)) << where << ": '" << l.text << "' has no line";
        EXPECT_NEAR(centre, yOf(*value), 1.5) << where << ": '" << l.text << "'";
        EXPECT_TRUE(isRound(*value, span)) << where << ": '" << l.text << "' is not round";
        ++count;
    }
    EXPECT_GE(count, 2) << where << ": vertical labels";
}

inline Axes axesOf(const FreqPlotState& plot) {
    return {{plot.frameLeft, plot.frameTop, plot.frameRight, plot.frameBottom}, plot.clientRect};
}

inline void checkFrequencyPlotLabels(const TextMeasure& measure) {
    PlotFixture f(256, 22050, 800, 400, measure);
    f.tools.transform = testing::radix2Transform;
    f.flatResults(testing::magnitudeForDb(-40.0f, 256));
    f.state().plotFixDbScale = true;  // the limits stay what each draw is given
    f.state().plotShowCaptured = true;
    setCapturedLabel(f.state(), "Captured ");
    f.state().plotWaterfallSteps = 2;
    const WindowHandle window = f.createFreqPlot();
    f.post(kNoWindow, 0);
    const std::pair<std::uint32_t, const char*> views[] = {{MSG_REDRAW, "standard"},
                                                           {MSG_DRAW_PHASE, "phase"},
                                                           {MSG_DRAW_HISTOGRAM, "histogram"},
                                                           {MSG_DRAW_WATERFALL, "waterfall"}};
    for (const Size& size : kSizes) {
        f.surface.setClientSize(size.width, size.height);
        for (const Limits& db : kDbLimits) {
            for (const Limits& hz : kHzLimits) {
                for (const auto& [message, name] : views) {
                    f.state().plotDbLow = static_cast<float>(db.low);
                    f.state().plotDbHigh = static_cast<float>(db.high);
                    f.state().plotFreqLow = static_cast<float>(hz.low);
                    f.state().plotFreqHigh = static_cast<float>(hz.high);
                    f.clearRecordings();
                    f.post(window, message);
                    std::ostringstream what;
                    what << name << " dB " << db.low << ".." << db.high << " Hz " << hz.low << ".."
                         << hz.high;
                    const std::string where = describe(size, what.str());
                    const FreqPlotState& plot = f.program.freqPlot;
                    const RecordingCanvas& dc = f.freqBitmap();
                    const std::vector<Label> labels = labelsOf(dc);
                    const Axes axes = axesOf(plot);
                    const bool histogram = message == MSG_DRAW_HISTOGRAM;
                    const bool dbAxis = histogram || message == MSG_REDRAW;
                    std::vector<std::string> units{"Hertz"};
                    if (dbAxis) units.push_back("dB");
                    checkCommon(labels, axes, units, where);
                    const double low = f.state().plotFreqLow;
                    const double high = f.state().plotFreqHigh;
                    const double left = plot.frameLeft;
                    const auto logX = [&](double v) {
                        return left + plot.xScale * (std::log10(v) - std::log10(low));
                    };
                    const auto linearX = [&](double v) { return left + plot.xScale * v; };
                    checkHorizontal(dc, labels, axes, "Hertz", histogram ? high - low : high - low,
                                    histogram ? std::function<double(double)>(linearX) : logX,
                                    where);
                    if (dbAxis) {
                        const double dbLow = f.state().plotDbLow;
                        const auto dbY = [&](double v) {
                            return plot.frameBottom - (v - dbLow) * plot.yScale;
                        };
                        checkVertical(dc, labels, axes,
                                      double(f.state().plotDbHigh) - double(f.state().plotDbLow),
                                      dbY, where);
                    }
                    if (::testing::Test::HasFailure()) return;  // one picture's worth is enough
                }
            }
        }
    }
}

inline void checkTimePlotLabels(const TextMeasure& measure) {
    const Limits ranges[] = {{-10000, 10000}, {-500, 300}, {-1, 1},        {0.5, 0.75},
                             {-32768, 32767}, {-1e6, 1e6}, {-12345, 20000}};
    for (std::uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
        for (std::uint32_t n = 64; n <= 16384; n *= 4) {
            PlotFixture f(n, rate, 800, 400, measure);
            f.arrays().resultsReady = false;
            const WindowHandle window = f.createTimePlot();
            f.post(kNoWindow, 0);
            for (const Size& size : kSizes) {
                f.surface.setClientSize(size.width, size.height);
                for (const Limits& range : ranges) {
                    f.arrays().timePlotMin = static_cast<float>(range.low);
                    f.arrays().timePlotMax = static_cast<float>(range.high);
                    f.clearRecordings();
                    f.post(window, MSG_REDRAW);
                    std::ostringstream what;
                    what << "time N " << n << " at " << rate << " ADC " << range.low << ".."
                         << range.high;
                    const std::string where = describe(size, what.str());
                    const TimePlotState& plot = f.program.timePlot;
                    const RecordingCanvas& dc = f.timeBitmap();
                    const std::vector<Label> labels = labelsOf(dc);
                    const Axes axes{
                        {plot.frameLeft, plot.frameTop, plot.frameRight, plot.frameBottom},
                        plot.clientRect};
                    checkCommon(labels, axes, {"mSecs", "ADC"}, where);
                    const double span = f.arrays().plotTimeSpan;
                    const auto timeX = [&](double ms) {
                        return plot.frameLeft + (plot.frameRight - plot.frameLeft) * ms / span;
                    };
                    checkHorizontal(dc, labels, axes, "mSecs", span, timeX, where);
                    const double amplitudeLow = f.arrays().timePlotMin;
                    const auto amplitudeY = [&](double v) {
                        return plot.frameBottom - (v - amplitudeLow) * plot.yScale;
                    };
                    checkVertical(dc, labels, axes, range.high - range.low, amplitudeY, where);
                    if (::testing::Test::HasFailure()) return;
                }
            }
        }
    }
}

}  // namespace ressona::label_checks
