#include "eq/eq_fit.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

#include "analysis/symmetric_solve.h"

namespace ressona {

namespace {

// How far beyond the range the filters' boost and cut are held to their limits.
constexpr double kGuardOctaves = 1.0;
// Weight of a limit's excess against a deviation in the range.
constexpr double kLimitWeight = 10.0;
// A response whose range lies this far below its loudest point holds no energy there.
constexpr double kNoEnergyDb = 60.0;
constexpr double kLevelFloorDb = -100.0;
constexpr int kStepIterations = 12;
constexpr int kFinalIterations = 80;
// A filter must improve the fit's RMS deviation by at least this much to stay.
constexpr double kEqSmallestGainRms = 0.15;

double octavesBetween(double low, double high) { return std::log2(high / low); }

// Q of a peaking filter whose bandwidth is `octaves` (the cookbook's relation).
double qOfBandwidth(double octaves) {
    const double ratio = std::pow(2.0, std::max(octaves, 1.0 / 48.0));
    return std::sqrt(ratio) / (ratio - 1.0);
}

double mean(const std::vector<double>& values) {
    if (values.empty()) return 0.0;
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

// The filters' response on a fixed grid, with cos w and cos 2w kept per point.
class GridResponse {
  public:
    GridResponse(const std::vector<double>& gridHz, double sampleRate) {
        for (double f : gridHz) {
            const double w = 2.0 * std::numbers::pi * f / sampleRate;
            cos1_.push_back(std::cos(w));
            cos2_.push_back(std::cos(2.0 * w));
        }
    }
    std::size_t size() const { return cos1_.size(); }
    // One filter's level in dB at every grid point, into out.
    void level(const EqFilter& filter, double sampleRate, std::vector<double>& out) const {
        const BiquadCoefficients c = biquadCoefficients(filter, sampleRate);
        const double nb0 = c.b0 * c.b0 + c.b1 * c.b1 + c.b2 * c.b2;
        const double nb1 = 2.0 * (c.b0 * c.b1 + c.b1 * c.b2);
        const double nb2 = 2.0 * c.b0 * c.b2;
        const double na0 = 1.0 + c.a1 * c.a1 + c.a2 * c.a2;
        const double na1 = 2.0 * (c.a1 + c.a1 * c.a2);
        const double na2 = 2.0 * c.a2;
        out.resize(size());
        for (std::size_t i = 0; i < size(); ++i) {
            const double num = nb0 + nb1 * cos1_[i] + nb2 * cos2_[i];
            const double den = na0 + na1 * cos1_[i] + na2 * cos2_[i];
            out[i] = 10.0 * std::log10(std::max(num, 1e-300) / std::max(den, 1e-300));
        }
    }

  private:
    std::vector<double> cos1_, cos2_;
};

// The fit's free parameters: the target's level, then per filter log f, gain,
// log Q (the shelves keep their Q).
struct Parameters {
    double level = 0.0;
    std::vector<EqFilter> filters;
};

// The least-squares problem: deviations in the range, the limits' excess
// beyond it and in it, and the bounds of each parameter.
class FitProblem {
  public:
    FitProblem(const EqFitSettings& settings, std::vector<double> gridHz, std::vector<double> measured,
               std::vector<double> target, std::vector<bool> inRange, std::vector<bool> narrowDip)
        : s_(settings),
          grid_(std::move(gridHz)),
          response_(grid_, settings.sampleRate),
          measured_(std::move(measured)),
          target_(std::move(target)),
          inRange_(std::move(inRange)),
          narrowDip_(std::move(narrowDip)) {}

    const std::vector<double>& grid() const { return grid_; }

    // Residuals of the target's level and the filters' summed level eq (one per grid point).
    void residuals(double level, const std::vector<double>& eq, std::vector<double>& out) const {
        out.clear();
        for (std::size_t i = 0; i < grid_.size(); ++i) {
            if (inRange_[i]) {
                double deviation = measured_[i] + eq[i] - target_[i] - level;
                // A narrow dip is left as it is: what counts there is a boost, not the dip.
                if (narrowDip_[i] && deviation < 0.0) deviation = std::max(0.0, eq[i]);
                out.push_back(deviation);
            }
            // At most one of the two limits is exceeded.
            out.push_back(kLimitWeight * (std::max(0.0, eq[i] - s_.maxBoostDb) +
                                          std::max(0.0, -s_.maxCutDb - eq[i])));
        }
    }

    std::vector<double> summed(const std::vector<std::vector<double>>& levels) const {
        std::vector<double> sum(grid_.size(), 0.0);
        for (const auto& filter : levels)
            for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += filter[i];
        return sum;
    }

    void levels(const std::vector<EqFilter>& filters, std::vector<std::vector<double>>& out) const {
        out.resize(filters.size());
        for (std::size_t k = 0; k < filters.size(); ++k)
            response_.level(filters[k], s_.sampleRate, out[k]);
    }

    double cost(const Parameters& p) const {
        std::vector<std::vector<double>> lv;
        levels(p.filters, lv);
        std::vector<double> r;
        residuals(p.level, summed(lv), r);
        double sum = 0.0;
        for (double v : r) sum += v * v;
        return sum;
    }

    void clamp(EqFilter& f) const {
        f.frequencyHz = std::clamp(f.frequencyHz, s_.lowHz, s_.highHz);
        f.gainDb = std::clamp(f.gainDb, -s_.maxCutDb, s_.maxCutDb);
        f.q = f.kind == FilterKind::Peaking ? std::clamp(f.q, s_.lowestQ, s_.highestQ) : kShelfQ;
    }

    // Levenberg-Marquardt steps on all parameters; the parameters improve or stay.
    void improve(Parameters& p, int iterations) const;

    const EqFitSettings& settings() const { return s_; }

  private:
    const EqFitSettings& s_;
    std::vector<double> grid_;
    GridResponse response_;
    std::vector<double> measured_, target_;
    std::vector<bool> inRange_, narrowDip_;
};

// Parameter j of p as a number the steps move: 0 the level, then per filter log f, gain, log Q.
double get(const Parameters& p, std::size_t j) {
    if (j == 0) return p.level;
    const EqFilter& f = p.filters[(j - 1) / 3];
    switch ((j - 1) % 3) {
        case 0:
            return std::log(f.frequencyHz);
        case 1:
            return f.gainDb;
        default:
            return std::log(f.q);
    }
}
void set(Parameters& p, std::size_t j, double value) {
    if (j == 0) {
        p.level = value;
        return;
    }
    EqFilter& f = p.filters[(j - 1) / 3];
    switch ((j - 1) % 3) {
        case 0:
            f.frequencyHz = std::exp(value);
            break;
        case 1:
            f.gainDb = value;
            break;
        default:
            f.q = std::exp(value);
            break;
    }
}

void FitProblem::improve(Parameters& p, int iterations) const {
    const std::size_t n = 1 + 3 * p.filters.size();
    std::vector<std::vector<double>> lv;
    levels(p.filters, lv);
    std::vector<double> eq = summed(lv);
    std::vector<double> r;
    residuals(p.level, eq, r);
    double current = 0.0;
    for (double v : r) current += v * v;
    double lambda = 1e-2;
    std::vector<double> column, jacobian, movedLevel, movedEq;
    for (int iteration = 0; iteration < iterations; ++iteration) {
        const std::size_t m = r.size();
        jacobian.assign(n * m, 0.0);
        for (std::size_t j = 0; j < n; ++j) {
            const bool shelfQ = j > 0 && (j - 1) % 3 == 2 &&
                                p.filters[(j - 1) / 3].kind != FilterKind::Peaking;
            if (shelfQ) continue;
            const double step = j == 0 || (j - 1) % 3 == 1 ? 1e-3 : 1e-4;
            Parameters moved = p;
            set(moved, j, get(p, j) + step);
            movedEq = eq;
            if (j > 0) {
                const std::size_t k = (j - 1) / 3;
                response_.level(moved.filters[k], s_.sampleRate, movedLevel);
                for (std::size_t i = 0; i < eq.size(); ++i) movedEq[i] += movedLevel[i] - lv[k][i];
            }
            residuals(moved.level, movedEq, column);
            for (std::size_t i = 0; i < m; ++i) jacobian[j * m + i] = (column[i] - r[i]) / step;
        }
        // Most rows of the limits are zero in every column: only the others count.
        std::vector<std::size_t> rows;
        for (std::size_t i = 0; i < m; ++i) {
            bool any = r[i] != 0.0;
            for (std::size_t j = 0; j < n && !any; ++j) any = jacobian[j * m + i] != 0.0;
            if (any) rows.push_back(i);
        }
        std::vector<double> normal(n * n, 0.0), gradient(n, 0.0);
        for (std::size_t a = 0; a < n; ++a) {
            const double* ja = &jacobian[a * m];
            for (std::size_t i : rows) gradient[a] -= ja[i] * r[i];
            for (std::size_t b = 0; b <= a; ++b) {
                const double* jb = &jacobian[b * m];
                double v = 0.0;
                for (std::size_t i : rows) v += ja[i] * jb[i];
                normal[a * n + b] = normal[b * n + a] = v;
            }
        }
        bool improved = false;
        for (int attempt = 0; attempt < 8 && !improved; ++attempt) {
            std::vector<double> damped = normal;
            for (std::size_t a = 0; a < n; ++a)
                damped[a * n + a] += lambda * (normal[a * n + a] + 1e-6);
            std::vector<double> delta = gradient;
            if (!solveSymmetric(std::move(damped), delta)) {
                lambda *= 10.0;
                continue;
            }
            Parameters trial = p;
            for (std::size_t j = 0; j < n; ++j) set(trial, j, get(p, j) + delta[j]);
            for (EqFilter& f : trial.filters) clamp(f);
            std::vector<std::vector<double>> trialLevels;
            levels(trial.filters, trialLevels);
            std::vector<double> trialEq = summed(trialLevels);
            std::vector<double> trialResiduals;
            residuals(trial.level, trialEq, trialResiduals);
            double trialCost = 0.0;
            for (double v : trialResiduals) trialCost += v * v;
            if (trialCost < current) {
                improved = current - trialCost > 1e-9 * current;
                p = std::move(trial);
                lv = std::move(trialLevels);
                eq = std::move(trialEq);
                r = std::move(trialResiduals);
                current = trialCost;
                lambda = std::max(lambda / 3.0, 1e-7);
                if (!improved) return;
            } else {
                lambda *= 4.0;
            }
        }
        if (!improved) return;
    }
}

// The grid points around the dip of deviation at i where it is deeper than
// `share` of its depth.
std::pair<std::size_t, std::size_t> dipExtent(const std::vector<double>& deviation, std::size_t i,
                                              double share) {
    std::size_t left = i, right = i;
    while (left > 0 && deviation[left - 1] < deviation[i] * share) --left;
    while (right + 1 < deviation.size() && deviation[right + 1] < deviation[i] * share) ++right;
    return {left, right};
}

// The excess phase on the grid, unwrapped, less the straight line (a delay)
// that fits it best over the range: the all-pass part left. Empty when the
// response has no phase.
std::vector<double> allPassPhaseDeg(const EqCurve& response, const std::vector<double>& grid,
                                    const std::vector<bool>& inRange) {
    if (response.excessPhaseDeg.size() != response.frequencyHz.size()) return {};
    EqCurve unwrapped{response.frequencyHz, response.excessPhaseDeg, {}};
    for (std::size_t i = 1; i < unwrapped.levelDb.size(); ++i) {
        const double step = std::remainder(response.excessPhaseDeg[i] - response.excessPhaseDeg[i - 1], 360.0);
        unwrapped.levelDb[i] = unwrapped.levelDb[i - 1] + step;
    }
    std::vector<double> phase = curveAt(unwrapped, grid);
    double n = 0, sf = 0, sp = 0, sff = 0, sfp = 0;
    for (std::size_t i = 0; i < grid.size(); ++i) {
        if (!inRange[i]) continue;
        n += 1, sf += grid[i], sp += phase[i], sff += grid[i] * grid[i], sfp += grid[i] * phase[i];
    }
    const double slope = n * sff - sf * sf > 0.0 ? (n * sfp - sf * sp) / (n * sff - sf * sf) : 0.0;
    const double offset = n > 0.0 ? (sp - slope * sf) / n : 0.0;
    for (std::size_t i = 0; i < grid.size(); ++i) phase[i] -= offset + slope * grid[i];
    return phase;
}

// Marks the grid points inside dips of deviation that are not to be boosted:
// narrower than kEqNarrowDipOctaves at half their depth, or (where the
// all-pass phase is known) with a swing of more than kEqExcessPhaseSwingDeg
// across it. Their flanks down to a tenth of their depth are left too.
std::vector<bool> heldBackDips(const std::vector<double>& deviation, const std::vector<double>& grid,
                               const std::vector<bool>& inRange,
                               const std::vector<double>& allPassDeg) {
    std::vector<bool> held(deviation.size(), false);
    for (std::size_t i = 1; i + 1 < deviation.size(); ++i) {
        const bool minimum = deviation[i] < -1.0 && deviation[i] <= deviation[i - 1] &&
                             deviation[i] <= deviation[i + 1];
        if (!minimum || !inRange[i]) continue;
        const auto [left, right] = dipExtent(deviation, i, 0.5);
        bool hold = octavesBetween(grid[left], grid[right]) < kEqNarrowDipOctaves;
        if (!hold && !allPassDeg.empty()) {
            const auto [low, high] = std::minmax_element(allPassDeg.begin() + left,
                                                         allPassDeg.begin() + right + 1);
            hold = *high - *low > kEqExcessPhaseSwingDeg;
        }
        if (!hold) continue;
        const auto [from, to] = dipExtent(deviation, i, 0.1);
        for (std::size_t k = from; k <= to; ++k) held[k] = true;
    }
    return held;
}

// A filter for the largest deviation left: its gain undoes the deviation, its
// Q matches the deviation's width at half its height.
EqFilter filterForLargest(const std::vector<double>& residual, const std::vector<double>& grid,
                          const std::vector<bool>& usable) {
    std::size_t at = 0;
    double largest = -1.0;
    for (std::size_t i = 0; i < residual.size(); ++i) {
        if (usable[i] && std::fabs(residual[i]) > largest) largest = std::fabs(residual[i]), at = i;
    }
    const double half = residual[at] / 2.0;
    const auto beyondHalf = [&](std::size_t i) { return residual[i] / half > 1.0; };
    std::size_t left = at, right = at;
    while (left > 0 && beyondHalf(left - 1)) --left;
    while (right + 1 < residual.size() && beyondHalf(right + 1)) ++right;
    EqFilter filter;
    filter.frequencyHz = grid[at];
    filter.gainDb = -residual[at];
    filter.q = qOfBandwidth(octavesBetween(grid[left], grid[right]) + 1.0 / 48.0);
    return filter;
}

double largestEffect(const EqFilter& filter, const std::vector<double>& grid, double rate) {
    double largest = 0.0;
    const BiquadCoefficients c = biquadCoefficients(filter, rate);
    for (double f : grid) largest = std::max(largest, std::fabs(biquadLevelDb(c, f, rate)));
    return largest;
}

double rounded(double value, double step) { return std::round(value / step) * step; }

}  // namespace

std::string checkEqSettings(const EqFitSettings& s) {
    if (s.filters < 1 || s.filters > kEqMostFilters)
        return "--eq-filters must be from 1 to " + std::to_string(kEqMostFilters);
    if (!(s.lowHz > 0.0) || !(s.highHz > s.lowHz))
        return "--eq-range needs LOW,HIGH with 0 < LOW < HIGH";
    if (octavesBetween(s.lowHz, s.highHz) < 1.0 / 3.0)
        return "--eq-range must span at least a third of an octave";
    if (s.highHz > 0.45 * s.sampleRate)
        return "--eq-range reaches beyond 0.45 x the sample rate (" +
               std::to_string(static_cast<int>(0.45 * s.sampleRate)) + " Hz)";
    if (!(s.maxBoostDb >= 0.0) || s.maxBoostDb > kEqLargestCutDb)
        return "--eq-max-boost must be from 0 to 15 dB";
    if (!(s.lowestQ > 0.0) || !(s.highestQ >= s.lowestQ) || s.highestQ > 100.0)
        return "--eq-q needs LOW,HIGH with 0 < LOW <= HIGH <= 100";
    return "";
}

std::vector<double> eqGrid(double lowHz, double highHz) {
    std::vector<double> grid;
    const double octaves = octavesBetween(lowHz, highHz);
    const auto steps = static_cast<std::size_t>(std::ceil(octaves * kEqGridPointsPerOctave));
    for (std::size_t i = 0; i <= steps; ++i)
        grid.push_back(lowHz * std::pow(2.0, octaves * static_cast<double>(i) / steps));
    return grid;
}

std::vector<double> curveAt(const EqCurve& curve, const std::vector<double>& gridHz) {
    std::vector<double> out;
    const auto& x = curve.frequencyHz;
    const auto& y = curve.levelDb;
    for (double f : gridHz) {
        const auto upper = std::upper_bound(x.begin(), x.end(), f);
        if (upper == x.begin()) {
            out.push_back(y.front());
        } else if (upper == x.end()) {
            out.push_back(y.back());
        } else {
            const std::size_t i = static_cast<std::size_t>(upper - x.begin());
            const double t = std::log(f / x[i - 1]) / std::log(x[i] / x[i - 1]);
            out.push_back(y[i - 1] + t * (y[i] - y[i - 1]));
        }
    }
    return out;
}

std::vector<double> smoothedLevels(const EqCurve& curve, const std::vector<double>& gridHz,
                                   double octaves) {
    const auto& x = curve.frequencyHz;
    std::vector<double> power(x.size() + 1, 0.0);  // running sums
    for (std::size_t i = 0; i < x.size(); ++i)
        power[i + 1] = power[i] + std::pow(10.0, curve.levelDb[i] / 10.0);
    const std::vector<double> interpolated = curveAt(curve, gridHz);
    const double halfWidth = std::pow(2.0, octaves / 2.0);
    std::vector<double> out;
    for (std::size_t g = 0; g < gridHz.size(); ++g) {
        const auto first = static_cast<std::size_t>(
            std::lower_bound(x.begin(), x.end(), gridHz[g] / halfWidth) - x.begin());
        const auto last = static_cast<std::size_t>(
            std::upper_bound(x.begin(), x.end(), gridHz[g] * halfWidth) - x.begin());
        // Fewer than three points in the window: the curve itself is finer than the window.
        if (last < first + 3) {
            out.push_back(interpolated[g]);
        } else {
            out.push_back(10.0 * std::log10((power[last] - power[first]) / (last - first)));
        }
    }
    return out;
}

EqDeviation deviationFromTarget(const std::vector<double>& levels,
                                const std::vector<double>& target) {
    std::vector<double> difference;
    for (std::size_t i = 0; i < levels.size() && i < target.size(); ++i)
        difference.push_back(levels[i] - target[i]);
    const double level = mean(difference);
    EqDeviation deviation;
    double squares = 0.0;
    for (double d : difference) {
        deviation.maxDb = std::max(deviation.maxDb, std::fabs(d - level));
        squares += (d - level) * (d - level);
    }
    if (!difference.empty()) deviation.rmsDb = std::sqrt(squares / difference.size());
    return deviation;
}

EqFit fitEqualiser(const EqCurve& response, const EqCurve& target, const EqFitSettings& s) {
    EqFit fit;
    if (response.frequencyHz.size() < 2 || response.frequencyHz.size() != response.levelDb.size()) {
        fit.problem = "there is no response to fit";
        return fit;
    }
    // The fit's grid reaches kGuardOctaves beyond the range, where only the limits count.
    const double guard = std::pow(2.0, kGuardOctaves);
    const double nyquistShare = 0.45 * s.sampleRate;
    const std::vector<double> wide = eqGrid(s.lowHz / guard, std::min(s.highHz * guard, nyquistShare));
    std::vector<bool> inRange;
    for (double f : wide) inRange.push_back(f >= s.lowHz * (1 - 1e-9) && f <= s.highHz * (1 + 1e-9));
    const std::vector<double> measured = smoothedLevels(response, wide, s.smoothingOctaves);
    const std::vector<double> shape = target.frequencyHz.empty()
                                          ? std::vector<double>(wide.size(), 0.0)
                                          : curveAt(target, wide);

    const double loudest = *std::max_element(response.levelDb.begin(), response.levelDb.end());
    double loudestInRange = -1e300;
    std::vector<double> need;  // the correction the target asks for, in the range
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (!inRange[i]) continue;
        loudestInRange = std::max(loudestInRange, measured[i]);
        need.push_back(shape[i] - measured[i]);
    }
    if (!(loudest > kLevelFloorDb) || !(loudestInRange > loudest - kNoEnergyDb)) {
        fit.problem = "the response holds no energy in the range";
        return fit;
    }
    const auto [fewest, most] = std::minmax_element(need.begin(), need.end());
    if (*most - *fewest > s.maxBoostDb + s.maxCutDb + 2.0 * kEqLargestCutDb) {
        fit.problem = "the target asks for a correction of " +
                      std::to_string(static_cast<int>(*most - *fewest)) +
                      " dB across the range, beyond what the filters can give";
        return fit;
    }

    std::vector<double> deviation(wide.size());
    std::vector<double> inside;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        deviation[i] = measured[i] - shape[i];
        if (inRange[i]) inside.push_back(deviation[i]);
    }
    std::nth_element(inside.begin(), inside.begin() + inside.size() / 2, inside.end());
    const double median = inside[inside.size() / 2];
    for (double& d : deviation) d -= median;
    const std::vector<bool> narrow =
        heldBackDips(deviation, wide, inRange, allPassPhaseDeg(response, wide, inRange));
    std::vector<bool> usable(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) usable[i] = inRange[i] && !narrow[i];

    FitProblem problem(s, wide, measured, shape, inRange, narrow);
    Parameters best;
    best.level = median;
    problem.improve(best, kStepIterations);
    const double centre = std::sqrt(s.lowHz * s.highHz);
    for (int k = 0; k < s.filters; ++k) {
        std::vector<std::vector<double>> lv;
        problem.levels(best.filters, lv);
        std::vector<double> residual(wide.size());
        for (std::size_t i = 0; i < wide.size(); ++i) {
            residual[i] = measured[i] - shape[i] - best.level;
            for (const auto& filter : lv) residual[i] += filter[i];
        }
        std::vector<EqFilter> candidates{filterForLargest(residual, wide, usable),
                                         {FilterKind::Peaking, centre, -1.0, s.lowestQ}};
        if (s.shelves) {
            candidates.push_back({FilterKind::LowShelf, s.lowHz * 2.0, -1.0, kShelfQ});
            candidates.push_back({FilterKind::HighShelf, s.highHz / 2.0, -1.0, kShelfQ});
        }
        Parameters chosen;
        double chosenCost = 1e300;
        for (EqFilter candidate : candidates) {
            problem.clamp(candidate);
            Parameters trial = best;
            trial.filters.push_back(candidate);
            problem.improve(trial, kStepIterations);
            const double cost = problem.cost(trial);
            if (cost < chosenCost) chosen = std::move(trial), chosenCost = cost;
        }
        best = std::move(chosen);
    }
    problem.improve(best, kFinalIterations);
    // Filters too weak to matter go, and the rest are fitted again without them.
    for (bool dropped = true; dropped && !best.filters.empty();) {
        const auto weak = std::remove_if(best.filters.begin(), best.filters.end(),
                                         [&](const EqFilter& f) {
                                             return largestEffect(f, wide, s.sampleRate) <
                                                    kEqSmallestEffectDb;
                                         });
        dropped = weak != best.filters.end();
        best.filters.erase(weak, best.filters.end());
        if (dropped) problem.improve(best, kFinalIterations);
    }
    // So do filters whose work the others can take over: without them the fit
    // is worse by less than kEqSmallestGainRms over the range.
    const double inRangePoints = static_cast<double>(inside.size());
    for (std::size_t k = best.filters.size(); k-- > 0;) {
        Parameters without = best;
        without.filters.erase(without.filters.begin() + static_cast<std::ptrdiff_t>(k));
        problem.improve(without, kStepIterations);
        const double worse = (problem.cost(without) - problem.cost(best)) / inRangePoints;
        if (worse < kEqSmallestGainRms * kEqSmallestGainRms) best = std::move(without);
    }
    for (EqFilter& f : best.filters) {
        f.frequencyHz = rounded(f.frequencyHz, 0.01);
        f.gainDb = rounded(f.gainDb, 0.01);
        f.q = f.kind == FilterKind::Peaking ? rounded(f.q, 0.001) : kShelfQ;
    }
    std::sort(best.filters.begin(), best.filters.end(),
              [](const EqFilter& a, const EqFilter& b) { return a.frequencyHz < b.frequencyHz; });

    fit.filters = best.filters;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (!inRange[i]) continue;
        fit.frequencyHz.push_back(wide[i]);
        fit.measuredDb.push_back(measured[i]);
        fit.targetDb.push_back(shape[i]);
        fit.predictedDb.push_back(measured[i] + filtersLevelDb(fit.filters, wide[i], s.sampleRate));
    }
    fit.before = deviationFromTarget(fit.measuredDb, fit.targetDb);
    fit.after = deviationFromTarget(fit.predictedDb, fit.targetDb);
    return fit;
}

}  // namespace ressona
