// One binormal fit of the categorized data: report header, operating points,
// degenerate data, initial estimates, maximum-likelihood iteration, results.
#include "fit/estbin.h"

#include <cmath>

#include "fit/degene.h"
#include "fit/fit_report.h"
#include "fit/inifit.h"
#include "fit/moslop.h"

namespace quelbro {
namespace {

class NullSink : public LineSink {
 public:
  void writeLine(std::string_view) override {}
};

// A fit whose estimates or variances are not numbers has no area to report.
bool usableFit(const CatTab& ct, const CovMat& covmat) {
  const int npar = ct.NCAT + 1;
  for (int i = 1; i <= npar && i <= kMaxCategories + 1; ++i)
    if (!std::isfinite(ct.PARM[i]) || !std::isfinite(covmat[i][i])) return false;
  return true;
}

// Copies the categorized data the fit worked on into the outcome.
void keepData(const CatTab& ct, FitOutcome& o) {
  o.nneg = ct.NNEG;
  o.npos = ct.NPOS;
  o.ncat = ct.NCAT;
  o.cneg = ct.CNEG;
  o.cpos = ct.CPOS;
  o.fpf = ct.FPF;
  o.tpf = ct.TPF;
  o.trapa = ct.TRAPA;
  o.trapse = ct.TRAPSE;
}

}  // namespace

double ESTBIN(CatTab& ct, int ileave, int treatment, int reader, const FitContext& ctx, FitOutcome* outcome) {
  NullSink nowhere;
  const Destinations silent(nowhere);
  const Destinations& out = ctx.out != nullptr ? *ctx.out : silent;
  if (outcome != nullptr) *outcome = FitOutcome{};

  OUTINI(ct, ileave, treatment, reader, ctx);
  OBPNT(ct, ileave, ctx);
  if (outcome != nullptr) keepData(ct, *outcome);

  int ideg = 0;
  int nin = 0;
  PointIndex lpt{};
  DEGTST(ideg, ct.NCAT, ct.FPF, ct.TPF, nin, lpt);
  if (ideg != 0) {
    const double area = DEGENE(ideg, lpt, ct.FPF, ct.TPF, out);
    if (outcome != nullptr) {
      outcome->kind = FitOutcome::Kind::Degenerate;
      outcome->degenerateType = ideg;
      outcome->degenerateArea = area;
    }
    return area;
  }

  INIFIT(ct);
  CUTOFF(ct, ct.PARM[1], ct.PARM[2], out.screen());
  if (ileave == 0) out.toScreen("--- program is running; please wait ---");

  FitWork work;
  CovMat covmat;
  int iter = 0;
  MOSLOP(ct, iter, covmat, work, out.screen());
  if (outcome != nullptr) outcome->iterations = iter;
  if (iter > kMaxPasses || !usableFit(ct, covmat)) return -1.0;
  if (outcome != nullptr) {
    outcome->kind = FitOutcome::Kind::Fitted;
    outcome->estimates = binormalEstimates(ct, covmat);
  }
  return OUTRSL(ct, ileave, iter, covmat, ctx);
}

}  // namespace quelbro
