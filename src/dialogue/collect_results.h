// The records of a finished dataset, taken from the study tables, the fits'
// outcomes and the analysis's findings.
#pragma once

#include <string>

#include "anova/anova.h"
#include "dialogue/study.h"
#include "results/results.h"

namespace quelbro {

// The record of one fit on all cases; `psflag` is the jackknife's flag of
// that reader and treatment.
FitRecord fitRecord(int r, int t, int direction, const FitOutcome& fit, int psflag);

// The analysis of R readers and T treatments as records.
AnalysisRecord analysisRecord(const AnovaFindings& found, int R, int T);

// The dataset just analysed: st holds its readers, treatments, fits and
// pseudovalues; `analysis` is null when no analysis ran. Without
// `withPseudovalues` the record's pseudovalues stay empty.
DatasetResults collectResults(const Study& st, int dataset, const std::string& inputFile,
                              const AnovaFindings* analysis, bool withPseudovalues = true);

// Where the study tables keep the pseudovalues of the dataset being analysed.
PseudovalueCells pseudovalueCells(const Study& st, int dataset);

}  // namespace quelbro
