#pragma once
// Linear least squares by Householder QR: minimises |A x - y| without forming A^T A, so the
// conditioning of the problem is not squared. Small dense problems only (a handful of columns).

#include <vector>

namespace qvr::dose {

struct LinearSolution {
    std::vector<double> x;
    std::vector<double> inverseNormal; // (A^T A)^-1, row-major n x n
    double residualSquares = 0;
    bool ok = false; // false when A is rank deficient
};

// a: m rows of n columns, row-major; y: m values; m >= n.
LinearSolution solveLeastSquares(std::vector<double> a, std::vector<double> y, int n);

} // namespace qvr::dose
