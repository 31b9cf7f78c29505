#include "room/line_fit.h"

#include <cmath>

namespace ressona {

void LineAccumulator::add(double x, double y) {
    if (n_ == 0) {
        x0_ = x;
        y0_ = y;
    }
    const double dx = x - x0_;
    const double dy = y - y0_;
    sx_ += dx;
    sy_ += dy;
    sxx_ += dx * dx;
    syy_ += dy * dy;
    sxy_ += dx * dy;
    ++n_;
}

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
