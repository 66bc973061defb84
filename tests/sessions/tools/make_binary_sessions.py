#!/usr/bin/env python3
"""Writes the scripted sessions of two binary-rating studies, with every number
of their reports worked out here from the published formulas.

With 0/1 results every reader and treatment falls into two categories whose
single interior operating point lies inside the unit square, so the fit on all
cases is degenerate, no area comes from a fitted curve, and every pseudovalue
is N x (trapezoidal area, all cases) - (N - 1) x (trapezoidal area, case left
out). The analysis of variance is then computed here from the pseudovalues:
the feasible-space constraint, the sums of squares, the F tests with their
data-dependent error term, the Satterthwaite approximation, the intervals.

Independent pieces: the trapezoidal area is counted pair by pair; the F tail
probability comes from a Lentz continued fraction of the incomplete beta
function (not the program's fixed 80-level backward evaluation); the printed
d' uses the published rational approximation of the normal quantile that the
program prints (Abramowitz and Stegun 26.2.23) and the t critical values the
published table and Cornish-Fisher expansion (26.7.5); both are compared with
exact values and a warning is printed when a printed digit would differ.

Usage: make_binary_sessions.py [sessions-folder]   (default: the folder above)
"""

import math
import os
import random
import statistics
import sys
from decimal import Decimal, ROUND_HALF_UP

HERE = os.path.dirname(os.path.abspath(__file__))
WARNINGS = []
NOTES = []

# ---------------------------------------------------------------- formatting


def F(v, w, d):
    """Fixed field Fw.d: exact binary value rounded half away from zero; the
    zero before the point dropped when it does not fit; asterisks when the
    number does not fit; NaN right-justified."""
    if v is None or (isinstance(v, float) and math.isnan(v)):
        return "NaN".rjust(w)
    neg = v < 0
    q = Decimal(abs(v)).quantize(Decimal(1).scaleb(-d), rounding=ROUND_HALF_UP)
    s = format(q, "f")
    if d == 0:
        s += "."
    if neg:
        s = "-" + s
    if len(s) > w and s.lstrip("-").startswith("0.") and d > 0:
        s = s.replace("0.", ".", 1)
    if len(s) > w:
        return "*" * w
    return s.rjust(w)


def I(v, w):
    s = str(v)
    return "*" * w if len(s) > w else s.rjust(w)


class Ln:
    """A line assembled by columns (1-based), later writes overwrite."""

    def __init__(self, start=""):
        self.s = list(start)

    def at(self, col, text):
        p = col - 1
        if len(self.s) < p + len(text):
            self.s += [" "] * (p + len(text) - len(self.s))
        self.s[p:p + len(text)] = list(text)
        return self

    def add(self, text):
        self.s += list(text)
        return self

    def str(self):
        return "".join(self.s)


def heading(entries):
    """An 80-column buffer; each entry blanks the rest of the buffer from its
    column on; the buffer is written whole."""
    buf = [" "] * 80
    for col, text in entries:
        p = col - 1
        for k in range(p, 80):
            buf[k] = " "
        for k, ch in enumerate(text):
            if p + k < 80:
                buf[p + k] = ch
    return "".join(buf)


def near_half(v, d):
    """True when v lies within 1e-9 (relative) of a rounding edge at d decimals."""
    x = abs(v) * 10 ** d
    frac = x - math.floor(x)
    return abs(frac - 0.5) < 1e-7 * max(1.0, x)


def check_digits(name, v, d):
    if isinstance(v, float) and not math.isnan(v) and near_half(v, d):
        WARNINGS.append("%s = %.12g lies at a rounding edge for %d decimals" % (name, v, d))


# ------------------------------------------------------- published formulas


def pinvn(p):
    """Normal quantile by the rational approximation of A&S 26.2.23."""
    q = 1.0 - p if p > 0.5 else p
    s = math.sqrt(math.log(1.0 / (q * q)))
    x = s - (2.515517 + 0.802853 * s + 0.010328 * s * s) / (
        1.0 + 1.432788 * s + 0.189269 * s * s + 0.001308 * s ** 3)
    return -x if p <= 0.5 else x


def tcrit(n):
    """Two-sided 5% t critical value: published table for 1..7 df, otherwise
    the Cornish-Fisher expansion about z = 1.96 (A&S 26.7.5)."""
    table = [12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365]
    if 1 <= n <= 7:
        return table[n - 1]
    z = 1.96
    g1 = (z ** 3 + z) / 4
    g2 = (5 * z ** 5 + 16 * z ** 3 + 3 * z) / 96
    g3 = (3 * z ** 7 + 19 * z ** 5 + 17 * z ** 3 - 15 * z) / 384
    g4 = (79 * z ** 9 + 776 * z ** 7 + 1482 * z ** 5 - 1920 * z ** 3 - 945 * z) / 92160
    return z + g1 / n + g2 / n ** 2 + g3 / n ** 3 + g4 / n ** 4


def exact_tcrit(n):
    """The two-sided 5% t quantile by bisection on the F(1, n) tail."""
    lo, hi = 0.0, 100.0
    for _ in range(200):
        mid = (lo + hi) / 2
        if f_upper(mid * mid, 1, n) > 0.05:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def note_tcrit(n, printed_decimals=4):
    t, exact = tcrit(n), exact_tcrit(n)
    if F(t, 8, printed_decimals) != F(exact, 8, printed_decimals):
        NOTES.append("t(%d df): printed %s (table/expansion), exact %s" % (n, F(t, 8, 4).strip(), F(exact, 8, 4).strip()))
    check_digits("t(%d)" % n, t, printed_decimals)


def round_half_away(x):
    return int(math.floor(abs(x) + 0.5)) * (1 if x >= 0 else -1)


def betacf(a, b, x):
    """Continued fraction of the incomplete beta function (modified Lentz)."""
    tiny = 1e-300
    qab, qap, qam = a + b, a + 1.0, a - 1.0
    c, d = 1.0, 1.0 - qab * x / qap
    d = 1.0 / (d if abs(d) > tiny else tiny)
    h = d
    for m in range(1, 10000):
        m2 = 2 * m
        aa = m * (b - m) * x / ((qam + m2) * (a + m2))
        d = 1.0 + aa * d
        d = 1.0 / (d if abs(d) > tiny else tiny)
        c = 1.0 + aa / c
        c = c if abs(c) > tiny else tiny
        h *= d * c
        aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2))
        d = 1.0 + aa * d
        d = 1.0 / (d if abs(d) > tiny else tiny)
        c = 1.0 + aa / c
        c = c if abs(c) > tiny else tiny
        de = d * c
        h *= de
        if abs(de - 1.0) < 1e-15:
            break
    return h


def ibeta(a, b, x):
    """Regularized incomplete beta I_x(a, b)."""
    if x <= 0.0:
        return 0.0
    if x >= 1.0:
        return 1.0
    lbt = math.lgamma(a + b) - math.lgamma(a) - math.lgamma(b) + a * math.log(x) + b * math.log1p(-x)
    if x < (a + 1.0) / (a + b + 2.0):
        return math.exp(lbt) * betacf(a, b, x) / a
    return 1.0 - math.exp(lbt) * betacf(b, a, 1.0 - x) / b


def f_upper(f, d1, d2):
    """Pr(F(d1, d2) > f); None when undefined."""
    if f is None or math.isnan(f) or d1 <= 0 or d2 < 1.0:
        return None
    if f < 0:
        return None
    return ibeta(d2 / 2.0, d1 / 2.0, d2 / (d2 + d1 * f))


def ratio(a, b):
    if b == 0.0:
        if a == 0.0:
            return float("nan")
        return math.copysign(float("inf"), a)
    return a / b


# ----------------------------------------------------------------- the study


class Study:
    def __init__(self, name, desc, readers, treatments, directions, neg, pos, report):
        self.name = name
        self.desc = desc
        self.readers = readers            # names
        self.treatments = treatments      # descriptions
        self.dirs = directions            # 'L' or 'S' per treatment
        self.neg = neg                    # neg[r][t] = list of 0/1 results
        self.pos = pos
        self.report = report              # output file name
        self.datafile = report.replace(".out", ".dat")
        self.R, self.T = len(readers), len(treatments)
        self.N0 = len(neg[0][0])
        self.N1 = len(pos[0][0])
        self.N = self.N0 + self.N1


def categories(values, direction):
    """Category numbers of 0/1 results: category 1 holds the less abnormal result."""
    return [(1 + v) if direction == "L" else (2 - v) for v in values]


def trap_area(cneg, cpos, leave=None):
    """Trapezoidal area counted pair by pair; `leave` = ('n', i) or ('p', j)."""
    w, nn, np_ = 0.0, 0, 0
    negs = [x for i, x in enumerate(cneg) if leave != ("n", i)]
    poss = [y for j, y in enumerate(cpos) if leave != ("p", j)]
    for x in negs:
        for y in poss:
            if x < y:
                w += 1.0
            elif x == y:
                w += 0.5
    nn, np_ = len(negs), len(poss)
    a = w / (nn * np_)
    return a, nn, np_


def trap_se(a, nn, np_):
    q1 = a / (2 - a)
    q2 = 2 * a * a / (1 + a)
    v = (a * (1 - a) + (np_ - 1) * (q1 - a * a) + (nn - 1) * (q2 - a * a)) / (nn * np_)
    return math.sqrt(max(v, 0.0))


def jackknife(st, r, t):
    cneg = categories(st.neg[r][t], st.dirs[t])
    cpos = categories(st.pos[r][t], st.dirs[t])
    for state in (cneg, cpos):
        assert 1 in state and 2 in state, "every cell of the 2 x 2 table must hold a case"
    a_all, _, _ = trap_area(cneg, cpos)
    n = st.N
    pv = []
    for i in range(st.N0):
        pv.append(n * a_all - (n - 1) * trap_area(cneg, cpos, ("n", i))[0])
    for j in range(st.N1):
        pv.append(n * a_all - (n - 1) * trap_area(cneg, cpos, ("p", j))[0])
    fpf2 = cneg.count(2) / st.N0
    tpf2 = cpos.count(2) / st.N1
    return pv, fpf2, tpf2


# ------------------------------------------------------------------ analysis


def anova(st, pv):
    """pv[r][t][c]; returns every number the report prints."""
    R, T, C = st.R, st.T, st.N
    out = {"constrained": []}
    # Feasible-space constraint, one cell per scan.
    for _ in range(R * T + 1):
        found = None
        for r in range(R):
            for t in range(T):
                m = sum(pv[r][t]) / C
                if m > 1 or m < 0:
                    found = (r, t)
                    break
            if found:
                break
        if not found:
            break
        r, t = found
        out["constrained"].append((t + 1, r + 1))
        pv[r][t] = [min(1.0, max(0.0, y)) for y in pv[r][t]]

    cell = [[sum(pv[r][t]) / C for t in range(T)] for r in range(R)]
    rmean = [sum(pv[r][t][c] for t in range(T) for c in range(C)) / (T * C) for r in range(R)]
    tmean = [sum(pv[r][t][c] for r in range(R) for c in range(C)) / (R * C) for t in range(T)]
    cmean = [sum(pv[r][t][c] for r in range(R) for t in range(T)) / (R * T) for c in range(C)]
    tc = [[sum(pv[r][t][c] for r in range(R)) / R for c in range(C)] for t in range(T)]
    rc = [[sum(pv[r][t][c] for t in range(T)) / T for c in range(C)] for r in range(R)]
    G = sum(pv[r][t][c] for r in range(R) for t in range(T) for c in range(C)) / (R * T * C)
    ss = {}
    ss["R"] = T * C * sum((rmean[r] - G) ** 2 for r in range(R))
    ss["T"] = R * C * sum((tmean[t] - G) ** 2 for t in range(T))
    ss["C"] = T * R * sum((cmean[c] - G) ** 2 for c in range(C))
    ss["TR"] = C * sum((cell[r][t] - rmean[r] - tmean[t] + G) ** 2 for r in range(R) for t in range(T))
    ss["TC"] = R * sum((tc[t][c] - cmean[c] - tmean[t] + G) ** 2 for t in range(T) for c in range(C))
    ss["RC"] = T * sum((rc[r][c] - cmean[c] - rmean[r] + G) ** 2 for r in range(R) for c in range(C))
    ss["TOT"] = sum(pv[r][t][c] ** 2 for r in range(R) for t in range(T) for c in range(C)) - T * R * C * G * G
    ss["TRC"] = ss["TOT"] - ss["R"] - ss["C"] - ss["T"] - ss["TC"] - ss["RC"] - ss["TR"]
    df = {"T": T - 1, "R": R - 1, "C": C - 1, "TR": (T - 1) * (R - 1), "TC": (T - 1) * (C - 1),
          "RC": (R - 1) * (C - 1), "TRC": (T - 1) * (R - 1) * (C - 1), "TOT": T * R * C - 1}
    ms = {k: ss[k] / df[k] for k in ("T", "R", "C", "TR", "TC", "RC", "TRC")}
    f, p = {}, {}
    for src, err in (("C", "RC"), ("R", "RC"), ("TC", "TRC"), ("RC", "TRC"), ("TR", "TRC")):
        f[src] = ratio(ms[src], ms[err])
        p[src] = f_upper(f[src], df[src], df[err])
    ftr, ftc = f["TR"], f["TC"]
    gt = lambda x: (not math.isnan(x)) and x > 1
    le = lambda x: (not math.isnan(x)) and x <= 1
    nu = e = None
    if le(ftr) and le(ftc):
        icase, f["T"], d2 = 1, ratio(ms["T"], ms["TRC"]), df["TRC"]
        err_ms = ms["TRC"]
    elif gt(ftr) and le(ftc):
        icase, f["T"], d2 = 2, ratio(ms["T"], ms["TR"]), df["TR"]
        err_ms = ms["TR"]
    elif le(ftr) and gt(ftc):
        icase, f["T"], d2 = 3, ratio(ms["T"], ms["TC"]), df["TC"]
        err_ms = ms["TC"]
    elif gt(ftr) and gt(ftc):
        icase = 4
        e = ms["TR"] + ms["TC"] - ms["TRC"]
        nu = e * e / (ms["TRC"] ** 2 / df["TRC"] + ms["TC"] ** 2 / df["TC"] + ms["TR"] ** 2 / df["TR"])
        f["T"], d2, err_ms = ratio(ms["T"], e), nu, e
    else:
        raise SystemExit("an undefined F ratio: choose other data")
    p["T"] = f_upper(f["T"], df["T"], d2)
    nottrc = gt(ftr) or gt(ftc)
    sig = {k: (p[k] is not None and p[k] <= 0.05) for k in p}
    for k in p:
        if p[k] is not None:
            check_digits("P(%s)" % k, p[k], 4)
            if abs(p[k] - 0.05) < 1e-5:
                WARNINGS.append("P(%s) = %.8f lies at the 0.05 decision edge" % (k, p[k]))

    # Readers-by-cases analyses.
    msR, msC, msRC = [], [], []
    for t in range(T):
        tot = sum(pv[r][t][c] for r in range(R) for c in range(C))
        K = tot * tot / (R * C)
        sst = sum(pv[r][t][c] ** 2 for r in range(R) for c in range(C)) - K
        ssr = sum(sum(pv[r][t]) ** 2 for r in range(R)) / C - K
        ssc = sum(sum(pv[r][t][c] for r in range(R)) ** 2 for c in range(C)) / R - K
        msR.append(ssr / (R - 1))
        msC.append(ssc / (C - 1))
        msRC.append((sst - ssr - ssc) / ((R - 1) * (C - 1)))

    out.update(dict(cell=cell, rmean=rmean, tmean=tmean, G=G, ss=ss, df=df, ms=ms, f=f, p=p, sig=sig,
                    icase=icase, nottrc=nottrc, nu=nu, e=e, d2=d2, err_ms=err_ms,
                    msR=msR, msC=msC, msRC=msRC))

    if T == 2:
        se, dft = [], []
        for t in range(2):
            v = msR[t] + msC[t] - msRC[t]
            se.append(math.sqrt(v / (R * C)) if v >= 0 else float("nan"))
            den = msRC[t] ** 2 / ((R - 1) * (C - 1)) + msC[t] ** 2 / (C - 1) + msR[t] ** 2 / (R - 1)
            dft.append(0.0 if den == 0 else v * v / den)
        se_d = math.sqrt(2.0 / (R * C) * err_ms) if err_ms >= 0 else float("nan")
        n_d = round_half_away(d2)
        note_tcrit(n_d)
        half = tcrit(n_d) * se_d
        diff = tmean[0] - tmean[1]
        out["two"] = dict(se=se, df=dft, se_d=se_d, df_d=d2, lower=diff - half, upper=diff + half)
        single = []
        for r in range(R):
            d = [pv[r][0][c] - pv[r][1][c] for c in range(C)]
            s1, s2, n = sum(d), sum(x * x for x in d), float(C)
            var = s2 / (n * n - n) - s1 * s1 / (n ** 3 - n * n)
            se_r = math.sqrt(max(var, 0.0))
            tc_ = tcrit(C - 1)
            if r == 0:
                note_tcrit(C - 1)
            dm = cell[r][0] - cell[r][1]
            single.append(dict(se=se_r, t=tc_, lower=dm - tc_ * se_r, upper=dm + tc_ * se_r))
        out["single"] = single
    return out


# ---------------------------------------------------------------- the report

DATE, TIME = "08-Dec-26", "10:30:00"
TITLE = "QUELBRO (DOS version 1.0 beta):".ljust(60)
AUTHORS = ("QUELBRO PROJECT, STATISTICS WORKING GROUP", "QUELBRO PROJECT RELEASE")
REFERENCE = [
    " JACKKNIFE PSEUDOVALUES OF THE AREA UNDER THE FITTED BINORMAL ROC CURVE,",
    " ANALYSED BY A TREATMENT X READER X CASE ANALYSIS OF VARIANCE WITH",
    " TREATMENT FIXED AND READERS AND CASES RANDOM.",
    " QUELBRO PROJECT NOTES ON MULTIREADER-MULTICASE ROC ANALYSIS.",
]


def list_int(v):
    return I(v, 12)


def fit_report(st, r, t, fpf2, tpf2, to_file):
    """Header, operating points and the type-2 message of one degenerate fit."""
    L = [""]
    L.append(" " * 60 + "DATE - " + DATE)
    L.append(" " * 61 + "TIME - " + TIME)
    L += ["", ""]
    if not to_file:
        L += ["", "", "", ""]
    L.append(" " * 6 + TITLE)
    L.append(" " * 10 + st.desc.ljust(60)[:60])
    L.append("")
    L.append(" " * 10 + "Reader:    " + st.readers[r].ljust(20)[:20])
    L.append(" " * 10 + "Treatment: " + st.treatments[t].ljust(12)[:12])
    L += ["", ""]
    if to_file:
        L.append(" " * 6 + "NAME OF INPUT FILE BEING USED: " + st.datafile[:20])
        L += ["", ""]
    word = "LARGER" if st.dirs[t] == "L" else "SMALLER"
    L.append(" " * 6 + word + " VALUES OF THE TEST RESULT REPRESENT STRONGER EVIDENCE THAT THE")
    L.append(" " * 6 + "CASE IS ACTUALLY POSITIVE (E.G., THAT THE PATIENT IS ACTUALLY DISEASED)")
    L.append("")
    L.append(" " * 6 + "NO. OF ACTUALLY-NEGATIVE CASES =" + I(st.N0, 6))
    L.append(" " * 6 + "NO. OF ACTUALLY-POSITIVE CASES =" + I(st.N1, 6))
    # Operating points, from (0,0) to (1,1): three points.
    L.append("")
    L.append(" " * 6 + "OPERATING POINTS CORRESPONDING TO THE CATEGORIZED INPUT DATA:")
    L.append(" " * 6 + " FPF: " + "".join(F(x, 5, 3) + " " for x in (0.0, fpf2, 1.0)))
    L.append(" " * 6 + " TPF: " + "".join(F(x, 5, 3) + " " for x in (0.0, tpf2, 1.0)))
    L += ["", ""]
    # Degenerate data: a single operating point inside the square.
    dprime = pinvn(tpf2) - pinvn(fpf2)
    exact = statistics.NormalDist().inv_cdf(tpf2) - statistics.NormalDist().inv_cdf(fpf2)
    if F(dprime, 8, 4) != F(exact, 8, 4) and not to_file:
        NOTES.append("d' of reader %d treatment %d: printed %s (A&S 26.2.23), exact %s" %
                     (r + 1, t + 1, F(dprime, 8, 4), F(exact, 8, 4)))
    check_digits("d'", dprime, 4)
    ind = " " * 22
    L += ["", "", ""]
    L.append(ind + "DATA ARE DEGENERATE AND PROVIDE ONLY A SINGLE ")
    L.append(ind + "OPERATING POINT OFF THE (0,0) AND (1,1) CORNERS.")
    L.append(ind + "BINORMAL ROC CURVE CANNOT BE ESTIMATED UNIQUELY. ")
    L.append(ind + "UNIT SLOPE ROC CURVE (B=1) WOULD HAVE A=D'=" + F(dprime, 8, 4) + ".")
    L += ["", ""]
    return L


def anova_first_pass(st, a):
    R, T, C = st.R, st.T, st.N
    L = []
    L.append(Ln().at(61, "DATE - " + DATE).str())
    L.append(Ln().at(62, "TIME - " + TIME).str())
    L += ["", ""]
    # Banner and notes.
    L += ["", ""]
    L.append(Ln().at(32, "KORV16  1.55").str())
    L.append(Ln().at(12, "MULTIREADER-MULTICASE ROC ANALYSIS OF VARIANCE USING").str())
    L.append(Ln().at(27, "GAUSSIAN DISTRIBUTION").str())
    L.append(Ln().at(19, AUTHORS[0]).str())
    L.append(Ln().at(28, AUTHORS[1]).str())
    L += ["", ""]
    cons = a["constrained"]
    if not cons:
        L.append(" NOTE : PSEUDOVALUES ARE UNCONSTRAINED.")
    elif len(cons) == 1:
        t, r = cons[0]
        L.append(" NOTE: PSEUDOVALUES FOR TREATMENT" + I(t, 2) + ", READER" + I(r, 2) +
                 " ARE CONSTRAINED TO THE FEASIBLE")
        L.append("       SPACE.")
    else:
        t, r = cons[0]
        L.append(" NOTE: PSEUDOVALUES FOR TREATMENT" + I(t, 2) + ", READER" + I(r, 2) + ",")
        for t, r in cons[1:-1]:
            L.append("       PSEUDOVALUES FOR TREATMENT" + I(t, 3) + ", READER" + I(r, 3) + ",")
        t, r = cons[-1]
        L.append("       AND FOR TREATMENT" + I(t, 3) + ", READER" + I(r, 3) +
                 " ARE CONSTRAINED TO THE FEASIBLE SPACE.")
    L.append("")
    # The table.
    L.append(Ln().at(2, "SOURCE").at(9, "SUMS OF SQUARES").at(25, "   DF   ").at(34, "MEAN SQUARES")
             .at(47, "F RATIOS  ").at(59, "PROB.").at(64, "   DECISION").str())
    L.append(" ------ --------------- -------- ------------ ----------- ----------------")
    ss, df, ms, f, p = a["ss"], a["df"], a["ms"], a["f"], a["p"]

    def start(src):
        return Ln().at(7 - len(src), src).at(7, F(ss[src], 14, 4)).at(24, I(df[src], 5))

    def tested(src):
        ln = start(src).at(31, F(ms[src], 10, 4)).at(43, F(f[src], 10, 4)).at(57, F(p[src], 8, 4))
        return ln.at(70, ("SIG." if a["sig"][src] else "").ljust(10)).str()

    L.append(start("TOT").str())
    if a["icase"] == 4:
        L.append(start("T").at(31, F(ms["T"], 10, 4)).at(50, "*").at(62, "*").str())
    else:
        L.append(tested("T"))
    L.append(tested("C"))
    L.append(tested("R"))
    L.append(tested("TC"))
    L.append(tested("TR"))
    if a["nottrc"]:
        L.append(start("RC").at(31, F(ms["RC"], 10, 4)).at(50, "**").at(62, "**").str())
    else:
        L.append(tested("RC"))
    L.append(start("TRC").at(31, F(ms["TRC"], 10, 4)).str())
    L.append(" " + "-" * 73)
    L.append("  ALPHA EQUALS 0.05.")
    # Error-term messages.
    if a["icase"] == 4:
        pt = a["p"]["T"]
        L += ["", " *  SATTERTHWAITE APROXIMATION :", ""]
        L.append("      SATTERTHWAITE DF =" + F(a["nu"], 6, 0))
        L.append("      SATTERTHWAITE MEAN SQUARE ERROR TERM =" + F(a["e"], 8, 4))
        L.append("      SATTERTHWAITE F RATIO = " + F(a["f"]["T"], 8, 4))
        L.append("      THE SATTERTHWAITE F RATIO HAS A PROB. VALUE OF" + F(pt, 6, 4) + " AND IT IS")
        if pt is None or pt > 0.05:
            L.append("      NOT SIGNIFICANT.")
        else:
            level = 0.001 if pt < 0.001 else (0.010 if pt <= 0.01 else 0.050)
            L.append("      SIGNIFICANT AT ALPHA =" + F(level, 5, 3) + " LEVEL.")
    else:
        msg = {1: (" *  TR AND TC SOURCE OF VARIANCE ARE ASSUMED NEGLIGIBLE. THEREFORE, TRC MEAN",
                   "    SQUARE USED AS AN ERROR TERM."),
               2: (" *  TC SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TR MEAN SQUARE",
                   "    USED AS AN ERROR TERM."),
               3: (" *  TR SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TC MEAN SQUARE",
                   "    USED AS AN ERROR TERM.")}[a["icase"]]
        L += ["", msg[0], msg[1], ""]
    if a["nottrc"]:
        L += ["", " ** TRC SOURCE OF VARIANCE MAY NOT BE NEGLIGIBLE. THEREFORE, READER BY",
              "    CASE INTERACTION IS NOT TESTED.", ""]
    # Readers by cases.
    L += ["", Ln().at(24, "READERS BY CASES ANOVAs").str(), "", Ln().at(30, "MEAN SQUARES").str()]
    L.append(heading([(2, "SOURCE"), (12, "DF")] +
                     [(14 + 13 * t, "     TREAT" + I(t + 1, 2) + " ") for t in range(T)]))
    L.append(heading([(17 + 13 * t, st.treatments[t].ljust(12)[:12]) for t in range(T)]))
    L.append("")
    row = Ln().at(6, "R").at(10, I(R - 1, 4))
    for t in range(T):
        row.at(15 + 13 * t, F(a["msR"][t], 10, 4))
    L.append(row.str())
    row = Ln().at(6, "C").at(10, I(C - 1, 4))
    for t in range(T):
        row.at(14 + 13 * t, F(a["msC"][t], 11, 4))
    L.append(row.str())
    row = Ln().at(5, "RC").at(10, I((R - 1) * (C - 1), 4))
    for t in range(T):
        row.at(14 + 13 * t, F(a["msRC"][t], 11, 4))
    L.append(row.str())
    return L


def interval_lines(lower, upper):
    return ["", " THE 95% CONFIDENCE INTERVAL FOR THE POPULATION MEAN DIFFERENCE",
            " FOR TREATMENT 1 MINUS TREATMENT 2 IS (" + F(lower, 6, 4) + "," + F(upper, 6, 4) + ")", ""]


def anova_second_pass(st, a):
    two = a["two"]
    L = ["", Ln().at(13, "STANDARD ERRORS AND 95% CONFIDENCE INTERVAL").str(),
         Ln().at(24, "FOR KORV ANALYSES").str(), ""]
    L.append(Ln().at(16, "TREATMENT 1").at(30, "TREATMENT 2").at(43, "DIFFERENCE").str())
    L.append(Ln().at(16, st.treatments[0].ljust(12)[:12]).at(30, st.treatments[1].ljust(12)[:12]).str())
    m1, m2 = a["tmean"]
    for label, vals in (("AREA      ", (m1, m2, m1 - m2)), ("STD. ERROR", (two["se"][0], two["se"][1], two["se_d"]))):
        L.append(Ln().at(2, label).at(14, F(vals[0], 8, 4)).at(28, F(vals[1], 8, 4)).at(42, F(vals[2], 8, 4)).str())
    L.append(Ln().at(2, "DF        ").at(15, F(two["df"][0], 7, 0)).at(22, "*").at(28, F(two["df"][1], 7, 0))
             .at(35, "*").at(43, F(two["df_d"], 7, 0)).at(50, "*" if a["icase"] == 4 else " ").str())
    L.append(Ln().at(6, "* SATTERTHWAITE DF.").str())
    L += interval_lines(two["lower"], two["upper"])
    L += ["", " READER MEANS:- "]
    for r in range(st.R):
        L.append(Ln().at(3, I(r + 1, 2)).at(6, st.readers[r].ljust(20)[:12]).at(20, F(a["rmean"][r], 6, 4)).str())
    L += ["", " TREATMENT MEANS:- "]
    for t in range(st.T):
        L.append(Ln().at(3, I(t + 1, 2)).at(6, st.treatments[t].ljust(12)[:12]).at(20, F(a["tmean"][t], 6, 4)).str())
    L += ["", Ln().at(32, "TREATMENT MEANS").str()]
    row = Ln().at(5, "READER")
    for t in range(st.T):
        row.at(20 + 13 * t, I(t + 1, 2))
    L.append(row.str())
    L.append(heading([(17 + 13 * t, st.treatments[t].ljust(12)[:12]) for t in range(st.T)]))
    for r in range(st.R):
        row = Ln().at(3, I(r + 1, 2)).at(6, st.readers[r].ljust(20)[:20])
        for t in range(st.T):
            row.at(15 + 13 * t, F(a["cell"][r][t], 10, 4))
        L.append(row.str())
    L.append("")
    return L


def single_reader(st, a, r):
    s = a["single"][r]
    L = ["", " " + "=" * 55, " READER" + I(r + 1, 4) + ": " + st.readers[r].ljust(20)[:20], " " + "_" * 30,
         Ln().at(6, "TREATMENT MEANS").str(), Ln().at(7, "1").at(20, "2").str(),
         heading([(5, st.treatments[0].ljust(12)[:12]), (18, st.treatments[1].ljust(12)[:12])]),
         Ln().at(3, F(a["cell"][r][0], 8, 4)).at(16, F(a["cell"][r][1], 8, 4)).str(), "",
         " SE(MEAN DIFF) = " + F(s["se"], 8, 4),
         " t(.025,DF=" + I(st.N - 1, 3) + ") =" + F(s["t"], 8, 4)]
    L += interval_lines(s["lower"], s["upper"])
    L.append(" " + "=" * 55)
    return L


def reference():
    return ["", "", "", "", Ln().at(27, "REFERENCE").str()] + REFERENCE


# ------------------------------------------------------------------- session


def data_file(st):
    lines = [st.desc, st.readers[0],
             " ".join('"%s"' % d for d in st.treatments), " ".join(st.dirs)]
    for r in range(st.R):
        if r > 0:
            lines.append(st.readers[r])
        for i in range(st.N0):
            lines.append(" ".join(str(st.neg[r][t][i]) for t in range(st.T)))
        lines.append("*")
        for j in range(st.N1):
            lines.append(" ".join(str(st.pos[r][t][j]) for t in range(st.T)))
        lines.append("*")
    lines.append("#")
    return "".join(l + "\n" for l in lines)


def date_time():
    return [" " * 60 + "DATE - " + DATE, " " * 61 + "TIME - " + TIME, "", "", " "]


def session(st):
    pvs = [[None] * st.T for _ in range(st.R)]
    screen, report = [], []
    screen += ["", "", "", "", "", " " * 13 + TITLE, "",
               " " * 13 + "Maximum Likelihood Estimation of Binormal ROC Curves",
               " " * 13 + "From Discrete-Category or Continuously-Distributed ",
               " " * 13 + "Test Results for Multiple Readers and Multiple Cases", "", ""]
    screen += date_time()
    screen += [" Do you want to use data from a previously created input file for the next",
               " run? (Y/N, R to restart, or Q to quit)",
               " Enter input file name:",
               " Do you want to create an output file? (Yes/No, or R to restart)",
               " enter output file name:",
               "  (filename must take the form filename.extension, where filename is 1 to 8",
               "  characters, extension is 1 to 3 characters, and all characters must be",
               "  alphanumeric. no blanks are allowed in the filename.)",
               " --- program is reading input data; please wait ---", " ", " "]
    for r in range(st.R):
        screen.append(" ")                  # after the reader's name
        if r == 0:
            screen.append(" ")              # after the treatment header
        screen.append(" Starting Analysis for reader" + list_int(r + 1))
        for t in range(st.T):
            pv, fpf2, tpf2 = jackknife(st, r, t)
            pvs[r][t] = pv
            screen += fit_report(st, r, t, fpf2, tpf2, False)
            report += fit_report(st, r, t, fpf2, tpf2, True)
            screen.append(" Degenerate" + list_int(-1) + list_int(-100 - st.N))
    screen.append(" ")                      # after the closing line
    a = anova(st, pvs)
    first = anova_first_pass(st, a)
    screen += first
    report += first
    if st.T == 2:
        second = anova_second_pass(st, a)
        screen += second
        report += second
        head = ["", "", Ln().at(22, "SINGLEREADER-MULTICASES ROC ANALYSIS").str()]
        screen += head
        report += head
        for r in range(st.R):
            block = single_reader(st, a, r)
            screen += block
            report += block
    report += reference()
    # The end of the data file starts a new cycle, which is answered with Q.
    screen += [""] * 7
    screen += date_time()
    screen += [" Do you want to use data from a previously created input file for the next",
               " run? (Y/N, R to restart, or Q to quit)"]
    return screen, report, a


def write_session(root, st):
    folder = os.path.join(root, st.name)
    os.makedirs(folder, exist_ok=True)
    screen, report, a = session(st)
    with open(os.path.join(folder, st.datafile), "w", newline="") as fh:
        fh.write(data_file(st))
    with open(os.path.join(folder, "answers.txt"), "w", newline="") as fh:
        fh.write("y\n%s\ny\n%s\nq\n" % (st.datafile, st.report))
    with open(os.path.join(folder, "expected-screen.txt"), "w", newline="") as fh:
        fh.write("".join(l + "\n" for l in screen))
    with open(os.path.join(folder, "expected-" + st.report), "w", newline="") as fh:
        fh.write("".join(l + "\r\n" for l in report))
    print("%s: case %d, SS(TOT) %.6f, P(T) %s" % (st.name, a["icase"], a["ss"]["TOT"], a["p"]["T"]))


# ---------------------------------------------------------------- the data


def draw(seed, R, T, n0, n1, dirs):
    """0/1 results from a latent normal reading: a case effect shared by all
    readers and treatments, a threshold per reader and treatment, and noise."""
    rng = random.Random(seed)
    case = [rng.gauss(0.0, 0.8) for _ in range(n0 + n1)]
    neg = [[None] * T for _ in range(R)]
    pos = [[None] * T for _ in range(R)]
    for r in range(R):
        for t in range(T):
            cut = rng.gauss(0.6, 0.4)
            shift = 1.0 + 0.4 * t + rng.gauss(0.0, 0.5)
            res = []
            for c in range(n0 + n1):
                x = case[c] + (shift if c >= n0 else 0.0) + rng.gauss(0.0, 0.7)
                v = 1 if x > cut else 0
                res.append(v if dirs[t] == "L" else 1 - v)
            neg[r][t], pos[r][t] = res[:n0], res[n0:]
    return neg, pos


def usable(neg, pos):
    for r in range(len(neg)):
        for t in range(len(neg[0])):
            for col in (neg[r][t], pos[r][t]):
                if col.count(0) < 1 or col.count(1) < 1:
                    return False
    return True


def pick(make, want, first_seed):
    """The first seed from `first_seed` on whose study meets `want`."""
    for seed in range(first_seed, first_seed + 5000):
        st = make(seed)
        if st is None:
            continue
        pvs = [[jackknife(st, r, t)[0] for t in range(st.T)] for r in range(st.R)]
        kept = (len(NOTES), len(WARNINGS))
        a = anova(st, pvs)
        del NOTES[kept[0]:], WARNINGS[kept[1]:]  # only the studies written count
        if want(a):
            return st, seed
    raise SystemExit("no seed found")


def study_two_treatments(seed):
    dirs = ["L", "S"]
    neg, pos = draw(seed, 3, 2, 6, 6, dirs)
    if not usable(neg, pos):
        return None
    return Study("analysis-binary-two-treatments", "Binary readings, three readers, two films",
                 ["Ann Reader", "Bo the second one", "Cy"], ["Film", "Digital"], dirs,
                 neg, pos, "binary2.out")


def study_three_treatments(seed):
    dirs = ["L", "L", "S"]
    neg, pos = draw(seed, 3, 3, 6, 6, dirs)
    if not usable(neg, pos):
        return None
    return Study("analysis-binary-three-treatments", "Binary readings, three readers, three systems",
                 ["First", "Second", "Third"], ["System A", "System B", "System C"], dirs,
                 neg, pos, "binary3.out")


def bits(text):
    return [int(ch) for ch in text]


def study_undefined_errors():
    """Readers with equal means (a reader sum of squares of 0) and a treatment
    whose readers-by-cases variance estimate is negative: its standard error
    is undefined and shows as NaN."""
    neg = [[bits("000101"), bits("110110")],
           [bits("001001"), bits("101111")],
           [bits("010000"), bits("011011")]]
    pos = [[bits("110110"), bits("001000")],
           [bits("111010"), bits("010010")],
           [bits("101101"), bits("100001")]]
    return Study("analysis-binary-undefined-errors", "Binary readings, equal reader means",
                 ["Ann Reader", "Bo the second one", "Cy"], ["Film", "Digital"], ["L", "S"],
                 neg, pos, "binaryu.out")


def satterthwaite_with_intervals(a):
    """Case 4 with a defined df and both treatment variances positive."""
    return (a["icase"] == 4 and a["nu"] >= 1 and all(v == v for v in a["two"]["se"])
            and not a["constrained"])


def tr_error_term(a):
    """Case 2 or 3, with at least one significant source."""
    return a["icase"] in (2, 3) and any(a["sig"].values()) and not a["constrained"]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(HERE)
    for make, want, first in ((study_two_treatments, satterthwaite_with_intervals, 1),
                              (study_three_treatments, tr_error_term, 1)):
        st, seed = pick(make, want, first)
        print("%s: seed %d" % (st.name, seed))
        write_session(root, st)
    write_session(root, study_undefined_errors())
    for n in NOTES:
        print("note:", n)
    for w in WARNINGS:
        print("warning:", w)
    return 1 if WARNINGS else 0


if __name__ == "__main__":
    sys.exit(main())
