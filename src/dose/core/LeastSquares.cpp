#include "dose/core/LeastSquares.h"

#include <cmath>

namespace qvr::dose {

LinearSolution solveLeastSquares(std::vector<double> a, std::vector<double> y, int n) {
    LinearSolution out;
    const int m = static_cast<int>(y.size());
    if (n <= 0 || m < n || static_cast<int>(a.size()) != m * n)
        return out;
    auto at = [&](int r, int c) -> double& { return a[r * n + c]; };

    // Column norms, to judge rank deficiency relative to each column's own size.
    std::vector<double> columnNorm(n, 0.0);
    for (int c = 0; c < n; ++c) {
        for (int r = 0; r < m; ++r)
            columnNorm[c] += at(r, c) * at(r, c);
        columnNorm[c] = std::sqrt(columnNorm[c]);
        if (columnNorm[c] == 0)
            return out;
    }

    for (int c = 0; c < n; ++c) {
        double norm = 0;
        for (int r = c; r < m; ++r)
            norm += at(r, c) * at(r, c);
        norm = std::sqrt(norm);
        if (norm <= 1e-13 * columnNorm[c])
            return out;
        const double alpha = at(c, c) > 0 ? -norm : norm;
        std::vector<double> v(m - c);
        for (int r = c; r < m; ++r)
            v[r - c] = at(r, c);
        v[0] -= alpha;
        double vv = 0;
        for (double e : v)
            vv += e * e;
        if (vv == 0)
            continue;
        for (int k = c; k < n; ++k) {
            double dot = 0;
            for (int r = c; r < m; ++r)
                dot += v[r - c] * at(r, k);
            const double f = 2 * dot / vv;
            for (int r = c; r < m; ++r)
                at(r, k) -= f * v[r - c];
        }
        double dot = 0;
        for (int r = c; r < m; ++r)
            dot += v[r - c] * y[r];
        const double f = 2 * dot / vv;
        for (int r = c; r < m; ++r)
            y[r] -= f * v[r - c];
    }

    // Back substitution R x = Q^T y.
    out.x.assign(n, 0.0);
    for (int i = n - 1; i >= 0; --i) {
        double s = y[i];
        for (int k = i + 1; k < n; ++k)
            s -= at(i, k) * out.x[k];
        out.x[i] = s / at(i, i);
    }
    for (int r = n; r < m; ++r)
        out.residualSquares += y[r] * y[r];

    // R^-1 (upper triangular), then (A^T A)^-1 = R^-1 R^-T.
    std::vector<double> rInv(n * n, 0.0);
    for (int j = 0; j < n; ++j) {
        rInv[j * n + j] = 1 / at(j, j);
        for (int i = j - 1; i >= 0; --i) {
            double s = 0;
            for (int k = i + 1; k <= j; ++k)
                s += at(i, k) * rInv[k * n + j];
            rInv[i * n + j] = -s / at(i, i);
        }
    }
    out.inverseNormal.assign(n * n, 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int k = std::max(i, j); k < n; ++k)
                s += rInv[i * n + k] * rInv[j * n + k];
            out.inverseNormal[i * n + j] = s;
        }
    out.ok = true;
    return out;
}

} // namespace qvr::dose
