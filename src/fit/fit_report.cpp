// The report of one binormal fit: header, operating points, final estimates
// with the delta-method error of the area, fitted curve and critical values.
#include "fit/fit_report.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "stats/distributions.h"
#include "console/fields.h"

namespace quelbro {
namespace {

double safeSqrt(double v) { return v > 0.0 ? std::sqrt(v) : 0.0; }

void emptyLines(LineSink& s, int n) {
  for (int i = 0; i < n; ++i) s.writeLine("");
}

void writeHeader(LineSink& s, const CatTab& ct, const FitContext& ctx, bool reportFile) {
  s.writeLine("");
  s.writeLine(Line().x(60).t("DATE - ").t(ctx.date).str());
  s.writeLine(Line().x(61).t("TIME - ").t(ctx.time).str());
  emptyLines(s, 2);
  if (!reportFile) emptyLines(s, 4);
  s.writeLine(Line().x(6).t(padTo(ctx.title, 60)).str());
  s.writeLine(Line().x(10).t(padTo(ctx.datdes, 60)).str());
  s.writeLine("");
  s.writeLine(Line().x(10).t("Reader:    ").t(padTo(ctx.readerName, 20)).str());
  s.writeLine(Line().x(10).t("Treatment: ").t(padTo(ctx.treatmentDes, 12)).str());
  emptyLines(s, 2);
  if (reportFile) {
    switch (ctx.input) {
      case InputKind::TypedNotSaved:
        s.writeLine(Line().x(6).t("NAME OF INPUT FILE BEING USED: (none)").str());
        break;
      case InputKind::TypedSaved:
        s.writeLine(Line().x(6).t("NAME OF CREATED INPUT FILE: ").t(ctx.fileName).str());
        break;
      case InputKind::FromFile:
        s.writeLine(Line().x(6).t("NAME OF INPUT FILE BEING USED: ").t(ctx.fileName).str());
        break;
    }
    emptyLines(s, 2);
  }
  // The sentence follows the treatment's direction: with a single category
  // the category numbers cannot tell which end is abnormal.
  s.writeLine(Line()
                  .x(6)
                  .t(ctx.direction < 0
                         ? "SMALLER VALUES OF THE TEST RESULT REPRESENT STRONGER EVIDENCE THAT THE"
                         : "LARGER VALUES OF THE TEST RESULT REPRESENT STRONGER EVIDENCE THAT THE")
                  .str());
  s.writeLine(Line().x(6).t("CASE IS ACTUALLY POSITIVE (E.G., THAT THE PATIENT IS ACTUALLY DISEASED)").str());
  s.writeLine("");
  s.writeLine(Line().x(6).t("NO. OF ACTUALLY-NEGATIVE CASES =").i(ct.NNEG, 6).str());
  s.writeLine(Line().x(6).t("NO. OF ACTUALLY-POSITIVE CASES =").i(ct.NPOS, 6).str());
}

// One group of operating points, i = from down to to (inclusive).
void writePointGroup(const Destinations& out, const CatTab& ct, int from, int to) {
  Line f = Line().x(6).t(" FPF: ");
  Line t = Line().x(6).t(" TPF: ");
  for (int i = from; i >= to; --i) {
    f.f(ct.FPF[i], 5, 3).t(" ");
    t.f(ct.TPF[i], 5, 3).t(" ");
  }
  out.toBoth(f.str());
  out.toBoth(t.str());
  if (from - to + 1 == 10) out.toBoth("");
}

}  // namespace

void OUTINI(const CatTab& ct, int ileave, int treatment, int reader, const FitContext& ctx) {
  (void)treatment;  // the names arrive in ctx
  (void)reader;
  if (ileave != 0 || ctx.out == nullptr) return;
  writeHeader(ctx.out->screen(), ct, ctx, false);
  if (LineSink* file = ctx.out->file()) writeHeader(*file, ct, ctx, true);
}

void OBPNT(CatTab& ct, int ileave, const FitContext& ctx) {
  const int k = std::clamp(ct.NCAT, 1, kMaxCategories);
  ct.FPF.fill(0.0);
  ct.TPF.fill(0.0);
  // Running sums from the most abnormal category down, then divided. A truth
  // state without cases keeps the corners (1 at point 1, 0 elsewhere).
  double sn = 0.0, sp = 0.0;
  for (int i = k; i >= 1; --i) {
    sn += ct.CNEG[i];
    sp += ct.CPOS[i];
    ct.FPF[i] = ct.NNEG > 0 ? sn / ct.NNEG : (i == 1 ? 1.0 : 0.0);
    ct.TPF[i] = ct.NPOS > 0 ? sp / ct.NPOS : (i == 1 ? 1.0 : 0.0);
  }
  ct.FPF[k + 1] = 0.0;
  ct.TPF[k + 1] = 0.0;
  if (ileave != 0 || ctx.out == nullptr) return;

  const Destinations& out = *ctx.out;
  out.toBoth("");
  out.toBoth(Line().x(6).t("OPERATING POINTS CORRESPONDING TO THE CATEGORIZED INPUT DATA:").str());
  const int npt = k + 1;
  if (npt <= 10) {
    writePointGroup(out, ct, npt, 1);
    out.toBoth("");
    out.toBoth("");
  } else if (npt <= 20) {
    writePointGroup(out, ct, npt, npt - 9);
    writePointGroup(out, ct, npt - 10, 1);
    out.toBoth("");
    out.toBoth("");
  } else {
    writePointGroup(out, ct, 21, 12);
    writePointGroup(out, ct, 11, 2);
    out.toBoth(Line().x(6).t(" FPF: ").f(ct.FPF[1], 5, 3).str());
    out.toBoth(Line().x(6).t(" TPF: ").f(ct.TPF[1], 5, 3).str());
  }
}

BinormalEstimates binormalEstimates(const CatTab& ct, const CovMat& covmat) {
  BinormalEstimates e;
  e.a = ct.PARM[1];
  e.b = ct.PARM[2];
  const double va = covmat[1][1];
  const double vb = covmat[2][2];
  const double cab = covmat[2][1];
  e.seA = safeSqrt(va);
  e.seB = safeSqrt(vb);
  const double corrDen = std::sqrt(std::max(va, 0.0) * std::max(vb, 0.0));
  e.corrAB = corrDen > 0.0 ? covmat[1][2] / corrDen : 0.0;

  // Area and its delta-method variance.
  const double a = e.a, b = e.b;
  const double d = 1.0 + b * b;
  const double arg = a / std::sqrt(d);
  e.az = Phi(arg);
  const double phz = phi(arg);
  const double varAz =
      phz * phz * (va / d + (a * b) * (a * b) * vb / (d * d * d) - 2.0 * a * b * cab / (d * d));
  e.seAz = safeSqrt(varAz);
  return e;
}

double OUTRSL(const CatTab& ct, int ileave, int iter, const CovMat& covmat, const FitContext& ctx) {
  (void)iter;
  const int k = std::clamp(ct.NCAT, 1, kMaxCategories);
  const BinormalEstimates e = binormalEstimates(ct, covmat);
  const double a = e.a, b = e.b;
  const double va = covmat[1][1];
  const double vb = covmat[2][2];
  const double cab = covmat[2][1];
  const double sea = e.seA, seb = e.seB, corrab = e.corrAB, az = e.az, seaz = e.seAz;
  if (ileave != 0 || ctx.out == nullptr) return az;

  const Destinations& out = *ctx.out;
  out.toBoth("");
  out.toBoth("");
  out.toBoth(Line().x(6).t("FINAL ESTIMATES OF THE BINORMAL ROC PARAMETERS A AND B:").str());
  out.toBoth(Line().x(10).t("A= ").f(a, 7, 4).str());
  out.toBoth(Line().x(10).t("B= ").f(b, 7, 4).str());
  out.toBoth("");
  out.toBoth("");
  out.toBoth(Line().x(6).t("ESTIMATED STD. DEV. AND CORRELATION OF THESE PARAMETER VALUES:").str());
  out.toBoth(Line().x(10).t("STD. ERROR (A) = ").f(sea, 7, 4).str());
  out.toBoth(Line().x(10).t("STD. ERROR (B) = ").f(seb, 7, 4).str());
  out.toBoth(Line().x(10).t("CORR(A,B)      = ").f(corrab, 7, 4).str());
  for (int i = 0; i < 3; ++i) out.toBoth("");
  out.toBoth(Line().x(6).t("AREA UNDER FITTED CURVE (A-SUB-Z) = ").f(az, 7, 4).str());
  out.toBoth(Line().x(6).t("ESTIMATED STD. ERROR OF A-SUB-Z = ").f(seaz, 7, 4).str());
  out.toBoth("");
  out.toBoth(Line().x(6).t("TRAPEZOIDAL(WILCOXON) AREA = ").f(ct.TRAPA, 7, 4).str());
  out.toBoth(Line().x(6).t("ESTIMATED STD. ERROR OF TRAPEZOIDAL AREA = ").f(ct.TRAPSE, 7, 4).str());

  LineSink* file = out.file();
  if (file == nullptr) return az;

  // Fitted curve with bounds symmetric on the normal-deviate scale.
  emptyLines(*file, 3);
  file->writeLine(Line().x(6).t("ESTIMATED BINORMAL ROC CURVE, WITH LOWER AND").str());
  file->writeLine(Line().x(6).t("UPPER BOUNDS OF THE ASYMMETRIC 95% CONFIDENCE").str());
  file->writeLine(Line().x(6).t("INTERVAL FOR TRUE-POSITIVE FRACTION AT A VARIETY").str());
  file->writeLine(Line().x(6).t("OF FALSE-POSITIVE FRACTION:").str());
  emptyLines(*file, 2);
  file->writeLine(Line().x(9).t("FPF").x(6).t("TPF").x(8).t("(LOWER BOUND, UPPER BOUND)").str());
  for (double f : kFpfTab) {
    const double x = PhiInv(f);
    const double v = b * x + a;
    const double s = safeSqrt(x * x * vb + va + 2.0 * x * cab);
    file->writeLine(Line()
                        .x(7)
                        .f(f, 5, 3)
                        .x(4)
                        .f(Phi(v), 6, 4)
                        .x(7)
                        .t("(")
                        .x(3)
                        .f(Phi(v - 1.96 * s), 6, 4)
                        .x(2)
                        .t(",")
                        .x(3)
                        .f(Phi(v + 1.96 * s), 6, 4)
                        .x(3)
                        .t(")")
                        .str());
  }

  // Critical test-result values: one decimal more than the most precise
  // result, at most seven, always ending in column 27.
  file->writeLine("1");
  emptyLines(*file, 2);
  file->writeLine(Line().x(10).t("ESTIMATED RELATIONSHIP BETWEEN THE CRITICAL TEST-RESULT VALUE").str());
  file->writeLine(Line().x(10).t("(WHICH SEPARATES 'POSITIVE' RESULTS FROM 'NEGATIVE' RESULTS)").str());
  file->writeLine(Line().x(10).t("AND THE CORRESPONDING OPERATING POINT ON THE FITTED BINORMAL").str());
  file->writeLine(Line().x(10).t("ROC CURVE:").str());
  file->writeLine("");
  file->writeLine(Line().x(5).t(std::string(71, '*')).str());
  file->writeLine("");
  file->writeLine(Line().x(14).t("CRITICAL TEST").x(11).t("(  FPF ,   TPF )").str());
  file->writeLine(Line().x(14).t("RESULT VALUE").str());
  emptyLines(*file, 2);
  const int dec = (ctx.maxdec >= 0 && ctx.maxdec <= 5) ? ctx.maxdec + 1 : 7;
  const int lead = 19 - dec;
  const int width = 8 + dec;
  for (int j = k - 1; j >= 1; --j) {
    const double z = ct.PARM[j + 2];
    file->writeLine(Line()
                        .x(lead)
                        .f(ct.CUTS[j], width, dec)
                        .x(11)
                        .t("(")
                        .f(1.0 - Phi(z), 6, 3)
                        .t(",")
                        .x(1)
                        .f(1.0 - Phi(b * z - a), 6, 3)
                        .t(")")
                        .str());
  }
  return az;
}

}  // namespace quelbro
