#include "room/decay_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace ressona {

namespace {

constexpr Brush kMarginBrush{{192, 192, 192}};
constexpr Brush kPlotBrush{{0, 0, 0}};
constexpr Pen kGridPen{PenStyle::Solid, 1, {90, 90, 90}};
constexpr Pen kFramePen{PenStyle::Solid, 1, {0, 0, 0}};
constexpr Colour kLabelColour{0, 0, 0};
constexpr std::int32_t kCharWidth = 7;  // about the plot font's, for placing labels
constexpr std::int32_t kLineHeight = 14;
constexpr double kLineDepthDb = -60.0;  // the fitted lines are drawn down to here

struct Area {
    std::int32_t left, top, right, bottom;
    double seconds;  // at the right edge
    double depthDb;  // at the bottom edge (negative)

    std::int32_t x(double t) const {
        return left + static_cast<std::int32_t>(std::lround(t / seconds * (right - left)));
    }
    std::int32_t y(double db) const {
        const double clamped = std::clamp(db, depthDb, 0.0);
        return top + static_cast<std::int32_t>(std::lround(clamped / depthDb * (bottom - top)));
    }
};

std::vector<const RoomBand*> drawnBands(const RoomAnalysis& analysis) {
    std::vector<const RoomBand*> bands;
    for (const RoomBand& band : analysis.bands) {
        if (band.band.kind == BandKind::Octave && band.curveDb.size() >= 2) bands.push_back(&band);
    }
    return bands;
}

// A round step of about a tenth of `span`: 1, 2 or 5 times a power of ten.
double niceStep(double span) {
    const double rough = span / 10.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) return factor * power;
    }
    return 10.0 * power;
}

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void drawGrid(Canvas& canvas, const Area& area) {
    canvas.selectPen(kGridPen);
    canvas.setTextColour(kLabelColour);
    canvas.setTransparentBackground(true);
    canvas.setTextAlign(TA_TOP | TA_LEFT);
    for (double db = 0.0; db >= area.depthDb - 1e-9; db -= 10.0) {
        const std::int32_t y = area.y(db);
        canvas.line({area.left, y}, {area.right, y});
        canvas.textOut(2, y - kLineHeight / 2, format("%.0f", db));
    }
    canvas.textOut(2, area.top - kLineHeight - 8, "dB");
    const double step = niceStep(area.seconds);
    const bool millis = step < 0.1;
    for (int i = 0; i * step <= area.seconds * (1.0 + 1e-9); ++i) {
        const std::int32_t x = area.x(i * step);
        canvas.line({x, area.top}, {x, area.bottom});
        const std::string label = millis ? format("%.0f", i * step * 1000.0)
                                         : format(step < 1.0 ? "%.1f" : "%.0f", i * step);
        canvas.textOut(x - kCharWidth * static_cast<std::int32_t>(label.size()) / 2,
                       area.bottom + 3, label);
    }
    canvas.textOut(area.right + 4, area.bottom + 3, millis ? "ms" : "s");
}

void drawBand(Canvas& canvas, const Area& area, const RoomBand& band) {
    const Colour colour = octaveColour(band.band.nominalHz);
    std::vector<PlotPoint> points;
    points.reserve(band.curveDb.size());
    for (std::size_t i = 0; i < band.curveDb.size(); ++i) {
        const double t = static_cast<double>(i) * band.curveStepSeconds;
        if (t > area.seconds) break;
        points.push_back({area.x(t), area.y(band.curveDb[i])});
    }
    canvas.selectPen({PenStyle::Solid, 1, colour});
    canvas.polyline(points);

    const DecayTime& fit = band.t30.evaluated ? band.t30 : band.t20;
    if (!fit.evaluated) return;
    // The line from where it crosses 0 dB down to kLineDepthDb (or the area's edge).
    const double from = std::max(0.0, -fit.interceptDb / fit.slopeDbPerSecond);
    const double to =
        std::min(area.seconds, (kLineDepthDb - fit.interceptDb) / fit.slopeDbPerSecond);
    if (!(to > from)) return;
    canvas.selectPen({PenStyle::Dot, 1, colour});
    canvas.line({area.x(from), area.y(fit.interceptDb + fit.slopeDbPerSecond * from)},
                {area.x(to), area.y(fit.interceptDb + fit.slopeDbPerSecond * to)});
}

void drawLegend(Canvas& canvas, const Area& area, const std::vector<const RoomBand*>& bands) {
    canvas.setTextAlign(TA_TOP | TA_LEFT);
    const std::int32_t x = area.right - 24 * kCharWidth;
    std::int32_t y = area.top + 4;
    for (const RoomBand* band : bands) {
        const bool t30 = band->t30.evaluated;
        const DecayTime& fit = t30 ? band->t30 : band->t20;
        std::string text = bandName(band->band) + " Hz";
        text.resize(9, ' ');
        if (fit.evaluated) {
            text += (t30 ? "T30 " : "T20 ") + format("%.2f s", fit.seconds);
            if (!fit.reliable) text += " *";
        } else {
            text += "no decay time";
        }
        canvas.setTextColour(octaveColour(band->band.nominalHz));
        canvas.textOut(x, y, text);
        y += kLineHeight;
    }
    canvas.setTextColour({200, 200, 200});
    canvas.textOut(x, y + 2, "* unreliable (see report)");
}

}  // namespace

Colour octaveColour(double nominalHz) {
    constexpr std::pair<double, Colour> kColours[] = {
        {63, {255, 80, 80}},    {125, {255, 160, 40}},   {250, {255, 255, 0}},
        {500, {80, 230, 80}},   {1000, {0, 230, 230}},   {2000, {90, 150, 255}},
        {4000, {230, 90, 255}}, {8000, {255, 255, 255}},
    };
    for (const auto& [hz, colour] : kColours) {
        if (hz == nominalHz) return colour;
    }
    return {255, 255, 255};
}

void drawDecayPicture(Canvas& canvas, const RoomAnalysis& analysis) {
    const std::int32_t width = canvas.width();
    const std::int32_t height = canvas.height();
    canvas.fillRect({0, 0, width, height}, kMarginBrush);
    const std::vector<const RoomBand*> bands = drawnBands(analysis);

    // Time up to the latest crosspoint, depth down to the deepest curve, in 10 dB steps.
    double seconds = 0.0;
    double deepest = kLineDepthDb;
    for (const RoomBand* band : bands) {
        seconds = std::max(seconds,
                           static_cast<double>(band->curveDb.size() - 1) * band->curveStepSeconds);
        deepest = std::min(deepest, static_cast<double>(band->curveDb.back()));
    }
    Area area{5 * kCharWidth,
              3 * kLineHeight,
              width - 4 * kCharWidth,
              height - 2 * kLineHeight,
              seconds > 0.0 ? seconds : 1.0,
              std::max(-100.0, 10.0 * std::floor(deepest / 10.0))};
    if (area.right <= area.left + 10 || area.bottom <= area.top + 10) return;
    canvas.selectPen(kFramePen);
    canvas.selectBrush(kPlotBrush);
    canvas.rectangle({area.left, area.top, area.right + 1, area.bottom + 1});
    drawGrid(canvas, area);
    canvas.setTextColour(kLabelColour);
    canvas.setTextAlign(TA_TOP | TA_LEFT);
    canvas.textOut(area.left, 2,
                   "Decay curves of the octave bands (backward-integrated, noise-compensated)");
    if (bands.empty()) {
        canvas.setTextColour({255, 255, 255});
        canvas.textOut(area.left + 10, area.top + 10, "no octave band to draw");
        return;
    }
    for (const RoomBand* band : bands) drawBand(canvas, area, *band);
    drawLegend(canvas, area, bands);
}

}  // namespace ressona
