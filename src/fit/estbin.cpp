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

}  // namespace

double ESTBIN(CatTab& ct, int ileave, int treatment, int reader, const FitContext& ctx) {
  NullSink nowhere;
  const Destinations silent(nowhere);
  const Destinations& out = ctx.out != nullptr ? *ctx.out : silent;

  OUTINI(ct, ileave, treatment, reader, ctx);
  OBPNT(ct, ileave, ctx);

  int ideg = 0;
  int nin = 0;
  PointIndex lpt{};
  DEGTST(ideg, ct.NCAT, ct.FPF, ct.TPF, nin, lpt);
  if (ideg != 0) return DEGENE(ideg, lpt, ct.FPF, ct.TPF, out);

  INIFIT(ct);
  CUTOFF(ct, ct.PARM[1], ct.PARM[2], out.screen());
  if (ileave == 0) out.toScreen("--- program is running; please wait ---");

  FitWork work;
  CovMat covmat;
  int iter = 0;
  MOSLOP(ct, iter, covmat, work, out.screen());
  if (iter > kMaxPasses || !usableFit(ct, covmat)) return -1.0;
  return OUTRSL(ct, ileave, iter, covmat, ctx);
}

}  // namespace quelbro
