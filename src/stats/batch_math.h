// Exponentials and logarithms of many values at once: each result is the same
// bits as std::exp or std::log of the same argument, four at a time where the CPU allows.
#pragma once

namespace quelbro {

// y[i] = std::exp(x[i]) and y[i] = std::log(x[i]) for i < n, bit for bit; y may be x.
void expMany(const double* x, double* y, int n);
void logMany(const double* x, double* y, int n);

// Whether this process takes the four-lane path (decided once, on the first call): only on a
// CPU with AVX2 and FMA, and only when the four-lane results have matched the C library's on
// a fixed set of several thousand arguments.
bool batchMathVectorised();

namespace batch_math_detail {
// The four-lane routines themselves, whatever the decision above; the tests call them on
// machines where batchMathVectorised() holds. Only to be called on a CPU with AVX2 and FMA.
void expFourLanes(const double* x, double* y, int n);
void logFourLanes(const double* x, double* y, int n);
}  // namespace batch_math_detail

}  // namespace quelbro
