#!/usr/bin/env python3
"""Reference values for the beta-family tests, by methods other than the
program's: the incomplete beta from its hypergeometric power series,
I_x(a,b) = x^a y^b / (a B(a,b)) * sum_n (a+b)_n / (a+1)_n x^n, summed with
math.fsum, quantiles by bisection, the noncentral F as a plain Poisson sum of
such series. Standard library only."""
import math


def ibeta(x, a, b):
    if x <= 0.0:
        return 0.0
    if x >= 1.0:
        return 1.0
    if x > a / (a + b):
        return 1.0 - ibeta(1.0 - x, b, a)
    terms, t, n, total = [], 1.0, 0, 0.0
    while True:
        terms.append(t)
        total += t
        t *= (a + b + n) / (a + 1 + n) * x
        n += 1
        if t < 1e-20 * total or n > 200000:
            break
    lfront = a * math.log(x) + b * math.log1p(-x) - (math.lgamma(a) + math.lgamma(b) - math.lgamma(a + b))
    return math.exp(lfront) / a * math.fsum(terms)


def f_upper(f, d1, d2):
    x = d1 * f / (d1 * f + d2)
    return 1.0 - ibeta(x, d1 / 2, d2 / 2)


def ncf_upper(f, d1, d2, lam):
    x = d1 * f / (d1 * f + d2)
    mu = lam / 2
    parts = []
    for j in range(0, int(mu + 60 * math.sqrt(mu) + 100)):
        w = math.exp(-mu + j * math.log(mu) - math.lgamma(j + 1))
        parts.append(w * (1.0 - ibeta(x, d1 / 2 + j, d2 / 2)))
    return math.fsum(parts)


def bisect(fn, lo, hi, target):
    for _ in range(200):
        mid = 0.5 * (lo + hi)
        if fn(mid) < target:
            lo = mid
        else:
            hi = mid
    return 0.5 * (lo + hi)


def t_quantile(p, df):
    # P(T <= t) = 1 - I_x(df/2, 1/2) / 2 for t > 0, x = df / (df + t^2)
    return bisect(lambda t: 1.0 - 0.5 * ibeta(df / (df + t * t), df / 2, 0.5), 0.0, 1e4, p)


def f_quantile(p, d1, d2):
    return bisect(lambda f: 1.0 - f_upper(f, d1, d2), 0.0, 1e5, p)


if __name__ == "__main__":
    for x, a, b in [(0.3, 2.5, 4.0), (0.9, 0.5, 7.25), (0.05, 12.0, 3.5), (0.6, 30.0, 25.0), (0.001, 0.7, 0.3)]:
        print(f"ibeta({x}, {a}, {b}) = {ibeta(x, a, b):.16g}")
    for p, df in [(0.975, 1), (0.975, 10), (0.975, 3.7), (0.995, 2.2), (0.9, 150.5)]:
        print(f"t_quantile({p}, {df}) = {t_quantile(p, df):.15g}")
    for p, d1, d2 in [(0.95, 1, 10), (0.95, 1, 2.6), (0.99, 4, 17.3), (0.5, 3, 3)]:
        print(f"f_quantile({p}, {d1}, {d2}) = {f_quantile(p, d1, d2):.15g}")
    for f, d1, d2, lam in [(4.9646027437307, 1, 10, 5.0), (2.5, 3, 20, 10.0), (1.0, 4, 7.5, 0.5),
                           (7.0, 1, 4.3, 12.0), (90.0, 2, 30, 200.0), (6.0, 1, 2.5, 1.0)]:
        print(f"ncf_upper({f}, {d1}, {d2}, {lam}) = {ncf_upper(f, d1, d2, lam):.15g}")


def power(readers, cases, d, s2tr, s2tc, s2e):
    """Power of a planned two-treatment study (the sizing formulas)."""
    all_ = s2e + cases * s2tr + readers * s2tc
    within = s2e + cases * s2tr
    lam = readers * cases * d * d / 2 / all_
    ddf = all_ * all_ / (within * within / (readers - 1))
    crit = f_quantile(0.95, 1, ddf)
    return ddf, lam, ncf_upper(crit, 1, ddf, lam)


def hand_study():
    # t = 2, r = 3, c = 10; MS(T) .02, MS(TR) .004, MS(TC) .003, MS(TRC) .001;
    # means .80, .75 (tests/results/extended_analysis_test.cpp).
    print("random p", f_upper(0.02 / 0.006, 1, 4.5), "t", t_quantile(0.975, 4.5))
    print("fixed readers p", f_upper(0.02 / 0.003, 1, 9), "t", t_quantile(0.975, 9))
    print("fixed cases p", f_upper(5.0, 1, 2), "t", t_quantile(0.975, 2))
    print("power r3 c50", power(3, 50, 0.05, 0.0003, 0.002 / 3, 0.001))
    print("power r10 c400", power(10, 400, 0.05, 0.0003, 0.002 / 3, 0.001))
    # MS(TC) .0005 < MS(TRC): E = MS(TR), ddf = 2
    print("clamped p", f_upper(0.02 / 0.004, 1, 2))
    # t = 5, r = 2, c = 20: MS(T) .01, MS(TR) .002, MS(TC) .0015, MS(TRC) .001
    e = 0.002 + 0.0005
    ddf = e * e / (0.002 ** 2 / 4)
    print("t5 ddf", ddf, "p", f_upper(0.01 / e, 4, ddf), "t", t_quantile(0.975, ddf))
    print("t5 power r4 c100", power(4, 100, 0.03, 0.001 / 20, 0.0005 / 2, 0.001))


if __name__ == "__main__":
    hand_study()
