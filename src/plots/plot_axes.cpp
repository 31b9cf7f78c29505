#include "plots/plot_axes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace ressona {

namespace {

// No axis asks for more ticks than this; a step that would give more is
// refused (only limits that are not numbers could ask for it).
constexpr double kMostMultiples = 1000.0;
// A value counts as on a step when it lies within this share of the step.
constexpr double kOnStep = 1e-6;
constexpr int kMostDecimals = 12;

std::string fixed(double value, int decimals) {
    if (value == 0.0) value = 0.0;  // no "-0"
    std::array<char, 400> text{};
    const int length = std::snprintf(text.data(), text.size(), "%.*f",
                                     std::clamp(decimals, 0, kMostDecimals), value);
    if (length < 0) return {};
    return std::string(text.data(),
                       std::min<std::size_t>(static_cast<std::size_t>(length), text.size() - 1));
}

// The text without the zeros that end its fraction ("1.500" -> "1.5", "2.000" -> "2.").
std::string withoutTrailingZeros(std::string text) {
    if (text.find('.') == std::string::npos) return text + ".";
    while (!text.empty() && text.back() == '0') text.pop_back();
    return text;
}

bool isMultiple(double value, double step) {
    const double k = value / step;
    return std::fabs(k - std::round(k)) < kOnStep;
}

bool within(double value, double low, double high) {
    const double slack = (high - low) * 1e-9;
    return value >= low - slack && value <= high + slack;
}

void addTick(std::vector<Tick>& ticks, double value, int decimals, int rank) {
    for (Tick& tick : ticks) {
        if (std::fabs(tick.value - value) <= std::fabs(value) * 1e-12) {
            tick.rank = std::min(tick.rank, rank);
            tick.decimals = std::max(tick.decimals, decimals);
            return;
        }
    }
    ticks.push_back({value, decimals, rank});
}

}  // namespace

PlotFrame plotFrameFor(const Rect& client, const LabelRoom& room) {
    const std::int32_t width = client.right - client.left;
    const std::int32_t height = client.bottom - client.top;
    const std::int32_t line = room.lineHeight;
    const std::int32_t half = (line + 1) / 2;
    // Above: the titles' row, then half a label centred on the top grid line.
    const std::int32_t top = std::max(height / 20, kLabelGap + line + kLabelGap + half);
    const std::int32_t bottom =
        std::max(height / 20, std::max(kTickLength, half) + kLabelGap + line + kLabelGap);
    const std::int32_t side =
        room.sideWidth > 0 ? kTickLength + kLabelGap + room.sideWidth + kLabelGap : 0;
    const std::int32_t left = std::max({width / 20, side, room.halfBottomWidth + kLabelGap});
    const std::int32_t right = std::max(width / 20, room.halfBottomWidth + kLabelGap);
    return PlotFrame{client.left + left, client.top + top, client.right - right,
                     client.bottom - bottom};
}

std::int32_t bottomLabelTop(const PlotFrame& frame, std::int32_t lineHeight) {
    return frame.bottom + std::max(kTickLength, (lineHeight + 1) / 2) + kLabelGap;
}

double roundStepAtLeast(double least) {
    if (!(least > 0.0) || !std::isfinite(least)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= least * (1.0 - 1e-12)) return m * power;
    }
    return 10.0 * power;
}

int decimalsOf(double step) {
    if (!(step > 0.0) || step >= 1.0) return 0;
    return std::min(kMostDecimals, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

std::vector<double> multiplesWithin(double low, double high, double step) {
    std::vector<double> values;
    if (!(step > 0.0) || !(high >= low)) return values;
    const double first = std::ceil(low / step - kOnStep);
    const double last = std::floor(high / step + kOnStep);
    if (!(last - first < kMostMultiples)) return values;
    for (double k = first; k <= last; k += 1.0) values.push_back(k * step);
    return values;
}

double firstFittingStep(double least, const std::function<bool(double step)>& fits) {
    constexpr int kTries = 60;
    double step = roundStepAtLeast(least);
    for (int i = 0; i < kTries && !fits(step); ++i) step = roundStepAtLeast(step * 1.5);
    return step;
}

std::vector<Tick> logarithmicTicks(double low, double high) {
    std::vector<Tick> ticks;
    if (!(low > 0.0) || !(high > low)) return ticks;
    // One significant digit: 1 first, then 2 and 5, then 3 (as the axis has
    // always been labelled: 10, 20, 30, 50, 100, ...).
    constexpr std::array<std::pair<double, int>, 4> kMultiples{{{1, 0}, {2, 1}, {5, 1}, {3, 2}}};
    int important = 0;
    for (double e = std::floor(std::log10(low)); e <= std::floor(std::log10(high)); e += 1.0) {
        const double power = std::pow(10.0, e);
        for (const auto& [m, rank] : kMultiples) {
            if (!within(m * power, low, high)) continue;
            addTick(ticks, m * power, std::max(0, static_cast<int>(-e)), rank);
            if (rank <= 1) ++important;
        }
    }
    // Less than a decade: the axis is nearly linear; round steps across it,
    // the multiples of ten, five and two steps first.
    if (high / low < 10.0 || important < 2) {
        const double step = roundStepAtLeast((high - low) / 10.0);
        const int decimals = decimalsOf(step);
        for (const double v : multiplesWithin(low, high, step)) {
            const int rank = isMultiple(v, 10.0 * step)  ? 0
                             : isMultiple(v, 5.0 * step) ? 1
                             : isMultiple(v, 2.0 * step) ? 2
                                                         : 3;
            addTick(ticks, v, decimals, rank);
        }
    }
    std::sort(ticks.begin(), ticks.end(), [](const Tick& a, const Tick& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.value < b.value;
    });
    return ticks;
}

std::vector<double> logarithmicGrid(double low, double high) {
    std::vector<double> grid;
    if (!(low > 0.0) || !(high > low)) return grid;
    for (double e = std::floor(std::log10(low)); e <= std::floor(std::log10(high)); e += 1.0) {
        const double power = std::pow(10.0, e);
        for (double m = 1.0; m <= 9.0; m += 1.0) {
            if (within(m * power, low, high)) grid.push_back(m * power);
        }
    }
    return grid;
}

std::string frequencyText(double hertz, int decimals) {
    struct Unit {
        double size;
        int power;
        const char* suffix;
    };
    constexpr std::array<Unit, 4> kUnits{{{1e9, 9, "G"}, {1e6, 6, "M"}, {1e3, 3, "k"}, {1, 0, ""}}};
    const Unit& unit = *std::find_if(kUnits.begin(), kUnits.end() - 1,
                                     [&](const Unit& u) { return std::fabs(hertz) >= u.size; });
    std::string text = withoutTrailingZeros(fixed(hertz / unit.size, decimals + unit.power));
    if (unit.power == 0) return text;  // "10.", "10.5"
    if (text.back() == '.') {
        // Below 10 kHz a thousand keeps one decimal ("1.0k"); above, none ("10k").
        text += std::fabs(hertz) < 1e4 && unit.power == 3 ? "0" : "";
        if (text.back() == '.') text.pop_back();
    }
    return text + unit.suffix;
}

std::string levelText(double db, int decimals) {
    return decimals == 0 ? fixed(db, 0) + "." : fixed(db, decimals);
}

std::string countText(double count, int decimals) {
    return fixed(count, decimals);
}

std::string timeText(double ms, int decimals) {
    const int usual = ms < 10.0 ? 2 : (ms < 100.0 ? 1 : 0);
    const int shown = std::max(usual, decimals);
    return shown == 0 ? fixed(ms, 0) + "." : fixed(ms, shown);
}

LabelPlacer::LabelPlacer(Canvas& dc, const Rect& client, const PlotFrame& frame)
    : dc_(dc), client_(client) {
    taken_.push_back(Rect{frame.left, frame.top, frame.right, frame.bottom});
}

bool LabelPlacer::fits(const Rect& box) const {
    if (box.left < client_.left || box.top < client_.top || box.right > client_.right ||
        box.bottom > client_.bottom) {
        return false;
    }
    // Labels keep a gap between them; the frame (the first box) only must not be covered.
    for (std::size_t i = 0; i < taken_.size(); ++i) {
        const std::int32_t gap = i == 0 ? 0 : kLabelGap;
        const Rect& other = taken_[i];
        if (box.left < other.right + gap && other.left < box.right + gap &&
            box.top < other.bottom + gap && other.top < box.bottom + gap) {
            return false;
        }
    }
    return true;
}

bool LabelPlacer::place(std::int32_t left, std::int32_t top, std::string_view text) {
    const TextExtent size = extent(text);
    const Rect box{left, top, left + size.width, top + size.height};
    if (text.empty() || !fits(box)) return false;
    dc_.setTextAlign(TA_TOP | TA_LEFT);
    dc_.textOut(left, top, text);
    taken_.push_back(box);
    return true;
}

bool LabelPlacer::placeCentred(std::int32_t x, std::int32_t top, std::string_view text) {
    return place(x - extent(text).width / 2, top, text);
}

bool LabelPlacer::placeBeside(std::int32_t right, std::int32_t y, std::string_view text) {
    const TextExtent size = extent(text);
    return place(right - size.width, y - size.height / 2, text);
}

}  // namespace ressona
