#pragma once
// A least-squares straight line y = intercept + slope x through points, with
// the points' correlation coefficient.

#include <cstddef>

namespace ressona {

struct LineFit {
    double slope = 0.0;
    double intercept = 0.0;
    double r = 0.0;  // Pearson's correlation coefficient of x and y; 0 when undefined
    std::size_t points = 0;
};

// Accumulates points one by one; fit() gives the line through those so far
// (slope and intercept 0 with fewer than two distinct x).
class LineAccumulator {
  public:
    void add(double x, double y) {
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
    LineFit fit() const;

  private:
    // Sums of the offsets from the first point, which keeps them well conditioned.
    double x0_ = 0.0, y0_ = 0.0;
    double sx_ = 0.0, sy_ = 0.0, sxx_ = 0.0, syy_ = 0.0, sxy_ = 0.0;
    std::size_t n_ = 0;
};

}  // namespace ressona
