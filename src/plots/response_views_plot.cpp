#include "plots/response_views_plot.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>

#include "plots/plot_style.h"

namespace ressona {

namespace {

constexpr std::int32_t kTextHeight = 14;
constexpr std::int32_t kLabelMargin = 44;
constexpr std::int32_t kKeyLineLength = 24;
constexpr double kPhaseGridDeg = 90.0;
constexpr double kLevelGridDb = 10.0;
constexpr double kTimeGrids = 10.0;  // about this many time grid lines
constexpr double kEqGridDb = 5.0;

// A frame with a horizontal axis (logarithmic or linear) and a vertical one.
struct Axes {
    PlotFrame frame;
    bool logarithmic = false;
    double left = 0.0, right = 1.0;
    double bottom = 0.0, top = 1.0;

    std::int32_t x(double value) const {
        const double share = logarithmic ? std::log(value / left) / std::log(right / left)
                                         : (value - left) / (right - left);
        return frame.left + static_cast<std::int32_t>(std::lround(std::clamp(share, 0.0, 1.0) *
                                                                  (frame.right - frame.left)));
    }
    std::int32_t y(double value) const {
        const double share = std::clamp((top - value) / (top - bottom), 0.0, 1.0);
        return frame.top +
               static_cast<std::int32_t>(std::lround(share * (frame.bottom - frame.top)));
    }
};

std::string numberLabel(double value) {
    if (std::fabs(value) >= 1000.0 && std::fmod(value, 1000.0) == 0.0)
        return std::to_string(static_cast<long>(value / 1000.0)) + "k";
    const double rounded = std::round(value * 10.0) / 10.0;
    std::string text = std::to_string(rounded);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return text;
}

Axes frameOn(Canvas& canvas) {
    const Rect client{0, 0, canvas.width(), canvas.height()};
    canvas.fillRect(client, kBlackBrush);
    Axes axes;
    axes.frame = plotFrameOf(client);
    axes.frame.left = std::max(axes.frame.left, kLabelMargin);
    return axes;
}

void drawBox(Canvas& canvas, const Axes& axes) {
    canvas.selectPen(kWhitePen);
    canvas.selectBrush(kBlackBrush);
    canvas.rectangle(
        {axes.frame.left, axes.frame.top, axes.frame.right + 1, axes.frame.bottom + 1});
    canvas.selectPen(kGridPen);
    canvas.setTextColour(Colour{200, 200, 200});
    canvas.setTransparentBackground(true);
    canvas.setTextAlign(TA_TOP);
}

void verticalLine(Canvas& canvas, const Axes& axes, double value) {
    const std::int32_t x = axes.x(value);
    canvas.line({x, axes.frame.top}, {x, axes.frame.bottom});
    canvas.textOut(x - 6, axes.frame.bottom + 2, numberLabel(value));
}

void horizontalLines(Canvas& canvas, const Axes& axes, double step, const char* unit) {
    for (double value = axes.top; value >= axes.bottom - 1e-9; value -= step) {
        const std::int32_t y = axes.y(value);
        canvas.line({axes.frame.left, y}, {axes.frame.right, y});
        canvas.textOut(2, y - kTextHeight / 2, numberLabel(value));
    }
    canvas.textOut(2, axes.frame.top - kTextHeight - 2, unit);
}

void frequencyLines(Canvas& canvas, const Axes& axes) {
    for (double decade = std::pow(10.0, std::floor(std::log10(axes.left))); decade <= axes.right;
         decade *= 10.0) {
        for (const double step : {1.0, 2.0, 5.0}) {
            const double hz = decade * step;
            if (hz >= axes.left && hz <= axes.right) verticalLine(canvas, axes, hz);
        }
    }
    canvas.textOut(axes.frame.right - 24, axes.frame.bottom + kTextHeight + 2, "Hz");
}

// A curve through its points; a NaN, or a phase step of more than half a
// turn (a wrap), breaks it.
void drawCurve(Canvas& canvas, const Axes& axes, const std::vector<double>& xs,
               const std::vector<double>& ys, Colour colour, bool wrapped) {
    canvas.selectPen(Pen{PenStyle::Solid, 1, colour});
    std::vector<PlotPoint> run;
    double previous = 0.0;
    const auto flush = [&] {
        if (run.size() >= 2) canvas.polyline(run);
        run.clear();
    };
    for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
        double value = ys[i];
        if (wrapped) value = std::remainder(value, 360.0);
        if (!std::isfinite(value)) {
            flush();
            continue;
        }
        if (wrapped && !run.empty() && std::fabs(value - previous) > 180.0) flush();
        run.push_back({axes.x(xs[i]), axes.y(value)});
        previous = value;
    }
    flush();
}

using KeyEntry = std::pair<Colour, const char*>;

void drawKey(Canvas& canvas, const Axes& axes, std::span<const KeyEntry> keys) {
    std::int32_t widest = 0;
    for (const auto& key : keys) widest = std::max(widest, canvas.textExtent(key.second).width);
    std::int32_t y = axes.frame.top + 6;
    const std::int32_t x = axes.frame.right - std::max(150, widest + kKeyLineLength + 12);
    for (const auto& [colour, name] : keys) {
        canvas.selectPen(Pen{PenStyle::Solid, 1, colour});
        canvas.line({x, y + kTextHeight / 2}, {x + kKeyLineLength, y + kTextHeight / 2});
        canvas.setTextColour(colour);
        canvas.textOut(x + kKeyLineLength + 6, y, name);
        y += kTextHeight + 2;
    }
}

}  // namespace

void drawPhasePlot(Canvas& canvas, const PhasePlotData& data) {
    Axes axes = frameOn(canvas);
    if (data.frequencyHz.empty() || !(data.frequencyHz.front() > 0.0)) return;
    axes.logarithmic = true;
    axes.left = data.frequencyHz.front();
    axes.right = std::max(data.frequencyHz.back(), axes.left * 2.0);
    axes.bottom = -180.0;
    axes.top = 180.0;
    drawBox(canvas, axes);
    frequencyLines(canvas, axes);
    horizontalLines(canvas, axes, kPhaseGridDeg, "deg");
    drawCurve(canvas, axes, data.frequencyHz, data.excessPhaseDeg, kExcessPhaseColour, true);
    drawCurve(canvas, axes, data.frequencyHz, data.minimumPhaseDeg, kMinimumPhaseColour, true);
    drawCurve(canvas, axes, data.frequencyHz, data.phaseDeg, kMeasuredPhaseColour, true);
    const KeyEntry keys[] = {{kMeasuredPhaseColour, "Phase"},
                             {kMinimumPhaseColour, "Minimum phase"},
                             {kExcessPhaseColour, "Excess phase"}};
    drawKey(canvas, axes, keys);
}

void drawEnergyTimePlot(Canvas& canvas, const EnergyTimePlotData& data) {
    Axes axes = frameOn(canvas);
    if (data.timeSeconds.size() < 2) return;
    axes.left = data.timeSeconds.front() * 1000.0;
    axes.right = data.timeSeconds.back() * 1000.0;
    double highest = -1e300;
    for (const double level : data.levelDb)
        if (std::isfinite(level)) highest = std::max(highest, level);
    axes.top = highest > -1e300 ? std::ceil(highest / kLevelGridDb) * kLevelGridDb : 0.0;
    axes.bottom = axes.top - kEnergyTimePlotSpanDb;
    drawBox(canvas, axes);
    const double rough = (axes.right - axes.left) / kTimeGrids;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    const double step = rough / magnitude >= 5.0   ? 5.0 * magnitude
                        : rough / magnitude >= 2.0 ? 2.0 * magnitude
                                                   : magnitude;
    for (double ms = std::ceil(axes.left / step) * step; ms <= axes.right; ms += step)
        verticalLine(canvas, axes, ms);
    canvas.textOut(axes.frame.right - 24, axes.frame.bottom + kTextHeight + 2, "ms");
    horizontalLines(canvas, axes, kLevelGridDb, "dB");
    std::vector<double> ms(data.timeSeconds.size());
    std::transform(data.timeSeconds.begin(), data.timeSeconds.end(), ms.begin(),
                   [](double s) { return s * 1000.0; });
    drawCurve(canvas, axes, ms, data.levelDb, kMeasuredPhaseColour, false);
}

void drawEqPlot(Canvas& canvas, const EqPlotData& data) {
    Axes axes = frameOn(canvas);
    if (data.frequencyHz.empty() || !(data.frequencyHz.front() > 0.0)) return;
    const std::vector<double>* curves[] = {&data.targetDb, &data.measuredDb, &data.predictedDb,
                                           &data.verifiedDb};
    double lowest = 1e300, highest = -1e300;
    for (const std::vector<double>* curve : curves) {
        for (const double level : *curve) {
            if (!std::isfinite(level)) continue;
            lowest = std::min(lowest, level);
            highest = std::max(highest, level);
        }
    }
    if (lowest > highest) lowest = highest = 0.0;
    axes.logarithmic = true;
    axes.left = data.frequencyHz.front();
    axes.right = std::max(data.frequencyHz.back(), axes.left * 2.0);
    // A grid line clear of the curves above and below them.
    axes.top = (std::floor(highest / kEqGridDb) + 1.0) * kEqGridDb;
    axes.bottom = (std::ceil(lowest / kEqGridDb) - 1.0) * kEqGridDb;
    drawBox(canvas, axes);
    frequencyLines(canvas, axes);
    horizontalLines(canvas, axes, kEqGridDb, "dB");
    const Colour colours[] = {kEqTargetColour, kMeasuredPhaseColour, kEqPredictedColour,
                              kEqVerifiedColour};
    const char* names[] = {"Target", "Measured", "Predicted", "Measured through the filters"};
    std::vector<KeyEntry> keys;
    for (std::size_t i = 0; i < std::size(curves); ++i) {
        if (curves[i]->empty()) continue;
        drawCurve(canvas, axes, data.frequencyHz, *curves[i], colours[i], false);
        keys.emplace_back(colours[i], names[i]);
    }
    drawKey(canvas, axes, keys);
}

}  // namespace ressona
