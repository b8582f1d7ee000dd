#pragma once
// The distributions the calibration's acceptance tests are judged by: Fisher's F (lack of fit),
// Student's t and, from it, Grubbs' critical value (outliers). All come from the regularised
// incomplete beta function, evaluated by its continued fraction to about 1e-14.

namespace qvr::dose {

// I_x(a, b) for a, b > 0 and 0 <= x <= 1.
double incompleteBeta(double a, double b, double x);

// P(F > f) for F with d1 and d2 degrees of freedom.
double fUpperTail(double f, double d1, double d2);

// P(T > t) for T with nu degrees of freedom.
double studentUpperTail(double t, double nu);

// The t whose upper tail P(T > t) is p (0 < p < 1).
double studentUpperQuantile(double p, double nu);

// Grubbs' two-sided critical value for n values (n >= 3) at significance alpha: the largest
// |x - mean| / s that n normal values exceed with probability alpha.
double grubbsCritical(int n, double alpha);

} // namespace qvr::dose
