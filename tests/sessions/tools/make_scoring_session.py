#!/usr/bin/env python3
"""Writes the scripted session of a small typed rating study with five
treatments, whose final estimates are worked out here step by step.

Each treatment's ratings (1 to 5, every rating in both truth states) are five
categories. The fit is computed here from the published recipe, one step at a
time: operating points; initial estimates by a least-squares line through the
operating points on normal-deviate axes (the inverse normal by the rational
approximation of Abramowitz and Stegun 26.2.23); each cut-off refined by
bisection on its own score with A and B held; then Fisher scoring on
(A, B, Z(1..4)) with the expected information inverted by a Cholesky factor,
step halving while the log-likelihood falls, and the convergence measure
6 x mean |step| tested from the second pass on; the covariance at the final
point. The normal distribution function is the rational approximation of
A&S 26.2.17 in every place. Printed values are checked against a rounding
edge, and the script tells how many passes each fit takes. A different
constant of the convergence measure must change a printed digit: the study
is the first from a fixed seed on in which 4, 5, 7 and 8 in place of the
constant 6 each change one.

The dialogue lines around the fits are the fixed interface of the typed
dialogue; they are taken from a screen of the program given with --screen
(its date and time lines are set to the sessions' fixed clock), and the
script checks that the screen's final estimates are the ones computed here.

Usage: make_scoring_session.py [sessions-folder] [--screen program-screen.txt]
"""

import math
import os
import sys
from decimal import Decimal, ROUND_HALF_UP

HERE = os.path.dirname(os.path.abspath(__file__))
KAPPA = 2.506628275

# ---------------------------------------------------------------- formatting


def F(v, w, d):
    """Fixed field Fw.d, half away from zero on the exact binary value, the
    zero before the point dropped when it does not fit."""
    neg = v < 0
    q = Decimal(abs(v)).quantize(Decimal(1).scaleb(-d), rounding=ROUND_HALF_UP)
    s = format(q, "f")
    if neg and q != 0:
        s = "-" + s
    elif neg:
        s = "-" + s
    if len(s) > w and s.lstrip("-").startswith("0."):
        s = s.replace("0.", ".", 1)
    if len(s) > w:
        return "*" * w
    return s.rjust(w)


def near_edge(v, d):
    x = abs(v) * 10 ** d
    return abs(x - math.floor(x) - 0.5) < 1e-6


# ------------------------------------------------------- published formulas


def pnorm(x):
    """Phi(x) and phi(x): A&S 26.2.17 for the tail."""
    u = abs(x)
    t = 1.0 / (1.0 + 0.2316419 * u)
    d = 0.3989423 * math.exp(-x * x / 2) if u <= 18 else 0.0
    p = 1.0 - d * t * (0.3193815 + t * (-0.3565638 + t * (1.781478 + t * (-1.821256 + t * 1.330274))))
    if x < 0:
        p = 1.0 - p
    return p, d


def pinvn(p):
    """Inverse normal: A&S 26.2.23."""
    q = 1.0 - p if p > 0.5 else p
    s = math.sqrt(math.log(1.0 / (q * q)))
    x = s - (2.515517 + 0.802853 * s + 0.010328 * s * s) / (1.0 + 1.432788 * s + 0.189269 * s * s + 0.001308 * s ** 3)
    return -x if p <= 0.5 else x


# ------------------------------------------------------------- one binormal fit


class Fit:
    def __init__(self, cneg, cpos, constant=6.0):
        self.cneg, self.cpos = cneg, cpos
        self.K = len(cneg)
        self.n0, self.n1 = sum(cneg), sum(cpos)
        self.constant = constant

    # Operating points from (1,1) down to (0,0): share of cases in categories i..K.
    def points(self):
        K = self.K
        fpf = [sum(self.cneg[i:]) / self.n0 for i in range(K)] + [0.0]
        tpf = [sum(self.cpos[i:]) / self.n1 for i in range(K)] + [0.0]
        return fpf, tpf

    def initial(self):
        fpf, tpf = self.points()
        m = self.K - 1
        x = [fpf[i + 1] for i in range(m)]
        y = [tpf[i + 1] for i in range(m)]
        for v, n in ((x, self.n0), (y, self.n1)):
            for i in range(m):
                if v[i] == 0:
                    v[i] = 1 / (2 * n)
                if abs(v[i] - 1) < 0.00001:
                    v[i] = 1 - 1 / (2 * n)
                v[i] = pinvn(v[i])
            for i in range(m - 2, -1, -1):
                if v[i] <= v[i + 1]:
                    v[i] = v[i + 1] + 0.1
        sx, sy = sum(x), sum(y)
        sxy = sum(a * b for a, b in zip(x, y))
        sxx = sum(a * a for a in x)
        B = (m * sxy - sx * sy) / (m * sxx - sx * sx)
        A = sy / m - B * sx / m
        return A, B, [-v for v in x]

    def hf(self, k, z, A, B):
        """Score of cut-off k (1-based) for fixed A and B, divided by phi(z)."""
        cn = sum(self.cneg[:k])
        cs = sum(self.cpos[:k])
        n0, n1 = self.n0, self.n1
        if z < -5:
            t1 = -(z ** 3 * KAPPA * math.exp(z * z / 2) * cn / (z * z - 1) + n0 - cn)
        elif z <= 5:
            pz = pnorm(z)[0]
            t1 = cn / pz - (n0 - cn) / (1 - pz)
        else:
            t1 = cn - (n0 - cn) * z ** 3 * KAPPA * math.exp(z * z / 2) / (z * z - 1)
        w = B * z - A
        if w < -5:
            t2 = -B * math.exp(z * z / 2) * (KAPPA * w ** 3 * cs / (w * w - 1) + math.exp(-w * w / 2) * (n1 - cs))
        elif w <= 5:
            pw = pnorm(w)[0]
            t2 = B * math.exp(((1 - B * B) * z * z + 2 * A * B * z - A * A) / 2) * (cs / pw - (n1 - cs) / (1 - pw))
        else:
            t2 = B * math.exp(z * z / 2) * (cs * math.exp(-w * w / 2) - KAPPA * (n1 - cs) * w ** 3 / (w * w - 1))
        return t1 + t2

    def bisect(self, lo, hi, k, A, B):
        while True:
            mid = (lo + hi) * 0.5
            p = self.hf(k, mid, A, B) * self.hf(k, lo, A, B)
            if p < 0:
                hi = mid
            elif p == 0:
                return mid
            else:
                lo = mid
            if abs(hi - lo) < 0.001:
                return (hi + lo) * 0.5

    def cutoffs(self, A, B, Z):
        K = self.K
        tn, ts = self.n0, self.n1
        for k in range(2, K - 1):
            zn = pinvn(sum(self.cneg[:k]) / tn)
            zs = (A + pinvn(sum(self.cpos[:k]) / ts)) / B
            if zn == zs:
                Z[k - 1] = zn
                continue
            lo, hi = min(zn, zs), max(zn, zs)
            widened = 0
            while not (self.hf(k, lo, A, B) * self.hf(k, hi, A, B) < 0):
                lo -= 0.001
                hi += 0.001
                widened += 1
                if widened > 10000:
                    raise RuntimeError("no sign change of the cut-off score")
            Z[k - 1] = self.bisect(lo, hi, k, A, B)
        hi = Z[1]
        t = hi
        while True:
            t -= 0.1
            if t == hi:
                raise RuntimeError("significance error HF")
            p = self.hf(1, t, A, B) * self.hf(1, hi, A, B)
            if p < 0:
                Z[0] = self.bisect(t, hi, 1, A, B)
                break
            if p == 0:
                Z[0] = t
                break
        lo = Z[K - 3]
        t = lo
        while True:
            t += 0.1
            if t == lo:
                raise RuntimeError("significance error HF")
            p = self.hf(K - 1, t, A, B) * self.hf(K - 1, lo, A, B)
            if p < 0:
                Z[K - 2] = self.bisect(lo, t, K - 1, A, B)
                break
            if p == 0:
                Z[K - 2] = t
                break
        return Z

    # Category probabilities and the log-likelihood.
    def terms(self, A, B, Z):
        K = self.K
        cdfp, pdfp, cdfn, pdfn = [0.0] * (K + 1), [0.0] * (K + 1), [0.0] * (K + 1), [0.0] * (K + 1)
        cdfp[K] = cdfn[K] = 1.0
        for i in range(1, K):
            cdfp[i], pdfp[i] = pnorm(B * Z[i - 1] - A)
            cdfn[i], pdfn[i] = pnorm(Z[i - 1])
        prp = [max(cdfp[k + 1] - cdfp[k], 5e-8) for k in range(K)]
        prn = [max(cdfn[k + 1] - cdfn[k], 5e-8) for k in range(K)]
        ll = sum(self.cneg[k] * math.log(prn[k]) + self.cpos[k] * math.log(prp[k]) for k in range(K))
        return ll, (pdfp, pdfn, prp, prn)

    def information(self, A, B, Z, w):
        """Gradient and expected information, parameters (A, B, Z1..Z(K-1))."""
        pdfp, pdfn, prp, prn = w
        K = self.K
        npar = K + 1
        # Boundaries i = 1..K-1 (cut-off Z(i)); category k = 0..K-1 lies below boundary k+1.
        zc = [None] + list(Z) + [None]  # zc[i] = Z(i), infinite ends as None
        grad = [0.0] * npar
        info = [[0.0] * npar for _ in range(npar)]

        def zz(i):
            return 0.0 if zc[i] is None else zc[i]

        # d prp[k] / d theta for the positive categories, likewise negatives.
        def dpos(k):
            d = [0.0] * npar
            for i, sgn in ((k + 1, 1.0), (k, -1.0)):  # upper boundary, lower boundary
                if 1 <= i <= K - 1:
                    ph = pdfp[i]
                    d[0] += sgn * (-ph)
                    d[1] += sgn * ph * zz(i)
                    d[1 + i] += sgn * B * ph
            return d

        def dneg(k):
            d = [0.0] * npar
            for i, sgn in ((k + 1, 1.0), (k, -1.0)):
                if 1 <= i <= K - 1:
                    d[1 + i] += sgn * pdfn[i]
            return d

        for k in range(K):
            dp, dn = dpos(k), dneg(k)
            for a in range(npar):
                grad[a] += self.cpos[k] / prp[k] * dp[a] + self.cneg[k] / prn[k] * dn[a]
                for b in range(npar):
                    info[a][b] += self.n1 * dp[a] * dp[b] / prp[k] + self.n0 * dn[a] * dn[b] / prn[k]
        return grad, info

    @staticmethod
    def invert(m):
        """Inverse of a symmetric positive-definite matrix by its Cholesky
        factor U (M = U'U); the status as the program reports it."""
        n = len(m)
        u = [[0.0] * n for _ in range(n)]
        ier = 0
        for i in range(n):
            d = m[i][i] - sum(u[k][i] ** 2 for k in range(i))
            if d <= 0:
                return None, -1
            if d <= abs(0.001 * m[i][i]) and ier == 0:
                ier = i
            u[i][i] = math.sqrt(d)
            for j in range(i + 1, n):
                u[i][j] = (m[i][j] - sum(u[k][i] * u[k][j] for k in range(i))) / u[i][i]
        # Inverse of U (upper triangular), then M^-1 = U^-1 U^-T.
        v = [[0.0] * n for _ in range(n)]
        for i in range(n - 1, -1, -1):
            v[i][i] = 1.0 / u[i][i]
            for j in range(i + 1, n):
                v[i][j] = -sum(u[i][k] * v[k][j] for k in range(i + 1, j + 1)) / u[i][i]
        inv = [[sum(v[i][k] * v[j][k] for k in range(max(i, j), n)) for j in range(n)] for i in range(n)]
        return inv, ier

    def run(self):
        A, B, Z = self.initial()
        Z = self.cutoffs(A, B, Z)
        K = self.K
        npar = K + 1
        step, crit, conv, it = 1.0, 1.0, False, 0
        delta = [0.0] * npar
        cov = None
        ll = 0.0
        while True:
            it += 1
            ll, w = self.terms(A, B, Z)
            grad, info = self.information(A, B, Z, w)
            inv, ier = self.invert(info)
            if ier < 0:
                step = -abs(step) * 0.5
            else:
                if ier > 0:
                    raise RuntimeError("loss of significance")
                cov = inv
                if conv or K < 4:
                    return A, B, Z, cov, it
                delta = [sum(cov[a][b] * grad[b] for b in range(npar)) for a in range(npar)]
                step = 1.0
            llold = ll
            while True:
                A += step * delta[0]
                B += step * delta[1]
                Z = [Z[i] + step * delta[2 + i] for i in range(K - 1)]
                if step == 1:
                    llold = ll
                ll, w = self.terms(A, B, Z)
                if step == 1 and it != 1:
                    crit = self.constant * sum(abs(d) for d in delta) / (K + 1)
                    if crit <= 0.001:
                        conv = True
                        break
                if ll >= llold:
                    break
                r = abs((ll - llold) / crit)
                if abs(step) > 1e-6 and r > 1e-5:
                    step = -abs(step) * 0.5
                    continue
                break
            if conv:
                continue
            if it > 100:
                raise RuntimeError("does not converge")


def trapezoid(neg, pos):
    w = sum(1.0 if x < y else (0.5 if x == y else 0.0) for x in neg for y in pos)
    a = w / (len(neg) * len(pos))
    q1, q2 = a / (2 - a), 2 * a * a / (1 + a)
    v = (a * (1 - a) + (len(pos) - 1) * (q1 - a * a) + (len(neg) - 1) * (q2 - a * a)) / (len(neg) * len(pos))
    return a, math.sqrt(v)


def final_block(neg, pos, constant=6.0):
    """The final-estimates lines of one fit, the number of passes, the values."""
    cneg = [neg.count(g) for g in range(1, 6)]
    cpos = [pos.count(g) for g in range(1, 6)]
    A, B, Z, cov, it = Fit(cneg, cpos, constant).run()
    sea, seb = math.sqrt(cov[0][0]), math.sqrt(cov[1][1])
    corr = cov[0][1] / math.sqrt(cov[0][0] * cov[1][1])
    dd = 1 + B * B
    az, phz = pnorm(A / math.sqrt(dd))
    var = phz ** 2 * (cov[0][0] / dd + (A * B) ** 2 * cov[1][1] / dd ** 3 - 2 * A * B * cov[0][1] / dd ** 2)
    trapa, trapse = trapezoid(neg, pos)
    values = [A, B, sea, seb, corr, az, math.sqrt(var), trapa, trapse]
    lines = ["", "",
             "      FINAL ESTIMATES OF THE BINORMAL ROC PARAMETERS A AND B:",
             "          A= " + F(A, 7, 4),
             "          B= " + F(B, 7, 4),
             "", "",
             "      ESTIMATED STD. DEV. AND CORRELATION OF THESE PARAMETER VALUES:",
             "          STD. ERROR (A) = " + F(sea, 7, 4),
             "          STD. ERROR (B) = " + F(seb, 7, 4),
             "          CORR(A,B)      = " + F(corr, 7, 4),
             "", "", "",
             "      AREA UNDER FITTED CURVE (A-SUB-Z) = " + F(az, 7, 4),
             "      ESTIMATED STD. ERROR OF A-SUB-Z = " + F(math.sqrt(var), 7, 4),
             "",
             "      TRAPEZOIDAL(WILCOXON) AREA = " + F(trapa, 7, 4),
             "      ESTIMATED STD. ERROR OF TRAPEZOIDAL AREA = " + F(trapse, 7, 4)]
    return lines, it, values


# ------------------------------------------------------------------ the study


ALTERNATIVES = (4.0, 5.0, 7.0, 8.0)  # other constants the session must tell apart


def study(seed):
    """Fifteen negative and fifteen positive cases rated 1..5 under five
    treatments, from a linear congruential sequence; every rating in both
    truth states."""
    state = [seed]

    def uniform():
        state[0] = (state[0] * 1103515245 + 12345) % 2 ** 31
        return state[0] / 2 ** 31

    def normal():
        return math.sqrt(-2 * math.log(uniform() + 1e-12)) * math.cos(2 * math.pi * uniform())

    n = 15
    cuts = [-0.5, 0.2, 0.8, 1.4]
    while True:
        neg = [[0] * 5 for _ in range(n)]
        pos = [[0] * 5 for _ in range(n)]
        for t in range(5):
            for c in range(n):
                for table, mu, sd in ((neg, 0.0, 1.0), (pos, 0.7 + 0.1 * t, 1.2)):
                    x = mu + sd * normal()
                    table[c][t] = 1 + sum(1 for k in cuts if x > k)
        ok = all(len({r[t] for r in neg}) == 5 and len({r[t] for r in pos}) == 5 for t in range(5))
        if ok:
            return neg, pos


def expected_screen(screen, blocks):
    """The program's screen with each fit report cut down to its final
    estimates, which must be the ones computed here."""
    out, i = [], 0
    while "Starting Analysis for reader" not in screen[i]:
        out.append(screen[i])
        i += 1
    out.append(screen[i])
    for b in blocks:
        while "FINAL ESTIMATES OF THE BINORMAL ROC PARAMETERS" not in screen[i]:
            i += 1
        got = screen[i - 2:i - 2 + len(b)]
        if got != b:
            sys.exit("the program's final estimates differ:\n%s\n%s" % ("\n".join(got), "\n".join(b)))
        out.append("@@ REPORT @@")
        out += b
        i += 1
    while not screen[i].startswith("QUELBRO needs at least 2 readers"):
        i += 1
    out.append("@@ REPORT @@")
    out += screen[i - 1:]
    fixed = []
    for line in out:
        if line.startswith(" " * 60 + "DATE - "):
            line = " " * 60 + "DATE - 08-Dec-26"
        elif line.startswith(" " * 61 + "TIME - "):
            line = " " * 61 + "TIME - 10:30:00"
        fixed.append(line)
    return fixed


def telling_study():
    """The first study from a fixed seed on whose printed fits change with
    every other constant of the convergence measure tried."""
    for seed in range(20261208, 20261208 + 2000):
        neg, pos = study(seed)
        cols = [([r[t] for r in neg], [r[t] for r in pos]) for t in range(5)]
        try:
            base = [final_block(ng, ps)[0] for ng, ps in cols]
            if all(any(final_block(ng, ps, c)[0] != b for (ng, ps), b in zip(cols, base)) for c in ALTERNATIVES):
                return seed, neg, pos
        except RuntimeError:
            continue
    sys.exit("no study tells the constants apart")


def main():
    args = sys.argv[1:]
    screen = None
    if "--screen" in args:
        k = args.index("--screen")
        with open(args[k + 1]) as f:
            screen = f.read().split("\n")
        del args[k:k + 2]
    root = args[0] if args else os.path.dirname(HERE)
    seed, neg, pos = telling_study()
    print("seed", seed)
    blocks = []
    for t in range(5):
        ng = [r[t] for r in neg]
        ps = [r[t] for r in pos]
        lines, it, values = final_block(ng, ps)
        for v in values:
            if near_edge(v, 4):
                print("warning: treatment %d value %.10f at a rounding edge" % (t + 1, v))
        print("treatment %d: %d passes" % (t + 1, it))
        blocks.append(lines)
    print("every constant of", ALTERNATIVES, "in place of 6 changes a printed digit")

    folder = os.path.join(root, "typed-five-treatments-scoring")
    os.makedirs(folder, exist_ok=True)
    names = ["Plain film", "Tomography", "Ultrasound", "MRI", "Scintigram"]
    answers = ["n", "n", "n", "Five treatments typed", "1", "Dr. Scoring", "5"] + names + ["L L L L L", "15", "15"]
    answers += [" ".join(str(v) for v in r) for r in neg] + ["*"]
    answers += [" ".join(str(v) for v in r) for r in pos] + ["*", "#", "q"]
    with open(os.path.join(folder, "answers.txt"), "w") as f:
        f.write("\n".join(answers) + "\n")
    if screen is not None:
        with open(os.path.join(folder, "expected-screen.txt"), "w") as f:
            f.write("\n".join(expected_screen(screen, blocks)))
    else:
        print("no --screen: answers.txt written; run them through quelbro-con and give its screen")


if __name__ == "__main__":
    main()
