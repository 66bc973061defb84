// The report of one binormal fit: header (OUTINI), operating points of the
// categorized data (OBPNT), and final estimates, fitted curve and critical
// test-result values (OUTRSL).
#pragma once

#include <array>

#include "fit/cattab.h"
#include "fit/fit_context.h"

namespace quelbro {

// False-positive fractions of the fitted curve table.
inline constexpr std::array<double, 26> kFpfTab = {0.005, 0.01, 0.02, 0.03, 0.04, 0.05, 0.06, 0.07, 0.08,
                                                   0.09,  0.10, 0.11, 0.12, 0.13, 0.14, 0.15, 0.20, 0.25,
                                                   0.30,  0.40, 0.50, 0.60, 0.70, 0.80, 0.90, 0.95};

// Header of the fit report: screen version to the screen, report-file version
// (with the input-file line) to the report file. Prints only when ileave = 0.
void OUTINI(const CatTab& ct, int ileave, int treatment, int reader, const FitContext& ctx);

// Fills FPF and TPF of `ct` from the category counts; prints them when
// ileave = 0.
void OBPNT(CatTab& ct, int ileave, const FitContext& ctx);

// The estimates of a fit and their errors, from PARM and COVMAT; the area
// error by the delta method. A variance below 0 (rounding) gives an error of 0.
struct BinormalEstimates {
  double a = 0.0, b = 0.0;
  double seA = 0.0, seB = 0.0;
  double corrAB = 0.0;
  double az = 0.0, seAz = 0.0;
};

BinormalEstimates binormalEstimates(const CatTab& ct, const CovMat& covmat);

// Area under the fitted curve from PARM and COVMAT. When ileave = 0 it prints
// the final estimates (screen and report file), and the fitted curve table
// and the critical test-result values (report file only).
double OUTRSL(const CatTab& ct, int ileave, int iter, const CovMat& covmat, const FitContext& ctx);

}  // namespace quelbro
