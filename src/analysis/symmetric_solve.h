#pragma once
// Small dense least-squares systems: the normal equations of a fit.

#include <vector>

namespace ressona {

// Solves a x = b in place of b, for a symmetric positive definite matrix `a`
// of b.size() x b.size(), row-major (Cholesky); false when it is not positive
// definite (singular, or not finite), b then unspecified.
bool solveSymmetric(std::vector<double> a, std::vector<double>& b);

}  // namespace ressona
