#include "plots/distortion_plot.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "plots/plot_style.h"

namespace ressona {

namespace {

constexpr std::array<double, 3> kLabelledSteps{1.0, 2.0, 5.0};
constexpr double kGridStepDb = 10.0;
constexpr std::int32_t kKeyLineLength = 24;
constexpr std::int32_t kTextHeight = 14;  // the plot font's line, in pixels

std::string frequencyLabel(double hz) {
    if (hz >= 1000.0) return std::to_string(static_cast<int>(hz / 1000.0)) + "k";
    return std::to_string(static_cast<int>(hz));
}

struct Axes {
    PlotFrame frame;
    double lowHz = 1.0;
    double highHz = 2.0;
    double topDb = 0.0;

    std::int32_t x(double hz) const {
        const double share = std::log(hz / lowHz) / std::log(highHz / lowHz);
        return frame.left +
               static_cast<std::int32_t>(std::lround(share * (frame.right - frame.left)));
    }
    std::int32_t y(double db) const {
        const double share = std::clamp((topDb - db) / kDistortionPlotSpanDb, 0.0, 1.0);
        return frame.top +
               static_cast<std::int32_t>(std::lround(share * (frame.bottom - frame.top)));
    }
};

void drawGrid(Canvas& canvas, const Axes& axes) {
    canvas.selectPen(kGridPen);
    canvas.setTextColour(Colour{200, 200, 200});
    canvas.setTransparentBackground(true);
    for (double decade = std::pow(10.0, std::floor(std::log10(axes.lowHz))); decade <= axes.highHz;
         decade *= 10.0) {
        for (const double step : kLabelledSteps) {
            const double hz = decade * step;
            if (hz < axes.lowHz || hz > axes.highHz) continue;
            const std::int32_t x = axes.x(hz);
            canvas.line({x, axes.frame.top}, {x, axes.frame.bottom});
            canvas.setTextAlign(TA_TOP);
            canvas.textOut(x - 6, axes.frame.bottom + 2, frequencyLabel(hz));
        }
    }
    for (double db = axes.topDb; db >= axes.topDb - kDistortionPlotSpanDb; db -= kGridStepDb) {
        const std::int32_t y = axes.y(db);
        canvas.line({axes.frame.left, y}, {axes.frame.right, y});
        canvas.setTextAlign(TA_TOP);
        canvas.textOut(2, y - kTextHeight / 2, std::to_string(static_cast<int>(db)));
    }
    canvas.setTextAlign(TA_BOTTOM);
    canvas.textOut(axes.frame.right - 24, axes.frame.bottom + kTextHeight + 4, "Hz");
    canvas.textOut(2, axes.frame.top - 2, "dB");
}

// One curve as polylines through its measured points; a gap breaks it.
void drawCurve(Canvas& canvas, const Axes& axes, const std::vector<double>& frequencies,
               const std::vector<double>& levels, Colour colour) {
    canvas.selectPen(Pen{PenStyle::Solid, 1, colour});
    std::vector<PlotPoint> run;
    auto flush = [&] {
        if (run.size() >= 2) canvas.polyline(run);
        run.clear();
    };
    for (std::size_t i = 0; i < frequencies.size() && i < levels.size(); ++i) {
        if (!std::isfinite(levels[i])) {
            flush();
            continue;
        }
        run.push_back({axes.x(frequencies[i]), axes.y(levels[i])});
    }
    flush();
}

void drawKey(Canvas& canvas, const Axes& axes) {
    std::int32_t y = axes.frame.top + 6;
    const std::int32_t x = axes.frame.right - 120;
    canvas.setTextAlign(TA_TOP);
    for (int c = 0; c < kDistortionCurves; ++c) {
        const Colour colour = kDistortionColours[static_cast<std::size_t>(c)];
        canvas.selectPen(Pen{PenStyle::Solid, 1, colour});
        canvas.line({x, y + kTextHeight / 2}, {x + kKeyLineLength, y + kTextHeight / 2});
        canvas.setTextColour(colour);
        canvas.textOut(x + kKeyLineLength + 6, y, kDistortionNames[static_cast<std::size_t>(c)]);
        y += kTextHeight + 2;
    }
}

}  // namespace

void drawDistortionPlot(Canvas& canvas, const DistortionPlotData& data) {
    const Rect client{0, 0, canvas.width(), canvas.height()};
    canvas.fillRect(client, kBlackBrush);
    if (data.frequencyHz.empty() || !(data.frequencyHz.front() > 0.0)) return;
    Axes axes;
    axes.frame = plotFrameOf(client);
    axes.frame.left = std::max(axes.frame.left, 40);  // room for the dB labels
    axes.lowHz = data.frequencyHz.front();
    axes.highHz = std::max(data.frequencyHz.back(), axes.lowHz * 2.0);
    double highest = -1e300;
    for (const std::vector<double>& curve : data.levelDb) {
        for (const double level : curve)
            if (std::isfinite(level)) highest = std::max(highest, level);
    }
    axes.topDb = highest > -1e300 ? std::ceil(highest / kGridStepDb) * kGridStepDb : 0.0;

    canvas.selectPen(kWhitePen);
    canvas.selectBrush(kBlackBrush);
    canvas.rectangle(
        {axes.frame.left, axes.frame.top, axes.frame.right + 1, axes.frame.bottom + 1});
    drawGrid(canvas, axes);
    // The harmonics first, so that the fundamental is drawn over them.
    for (int c = kDistortionCurves - 1; c >= 0; --c) {
        drawCurve(canvas, axes, data.frequencyHz, data.levelDb[static_cast<std::size_t>(c)],
                  kDistortionColours[static_cast<std::size_t>(c)]);
    }
    drawKey(canvas, axes);
}

}  // namespace ressona
