#include "room/line_fit.h"

#include <cmath>

namespace ressona {

LineFit LineAccumulator::fit() const {
    LineFit line;
    line.points = n_;
    if (n_ < 2) return line;
    const double n = static_cast<double>(n_);
    const double varX = sxx_ - sx_ * sx_ / n;
    const double varY = syy_ - sy_ * sy_ / n;
    const double cov = sxy_ - sx_ * sy_ / n;
    if (!(varX > 0.0)) return line;
    line.slope = cov / varX;
    line.intercept = y0_ + (sy_ - line.slope * sx_) / n - line.slope * x0_;
    if (varY > 0.0) line.r = cov / std::sqrt(varX * varY);
    return line;
}

}  // namespace ressona
