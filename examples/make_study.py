#!/usr/bin/env python3
"""Writes study.dat, the bundled example study: 4 readers, 2 treatments,
50 actually-negative and 50 actually-positive cases rated on a 1-5 scale.

Ratings come from a binormal latent model with a fixed seed: each case has a
latent value shared by all readers and treatments plus reader noise, and the
reader's four thresholds turn it into a rating. The file is laid out as the
program writes a case data file (CR LF line ends, tab after each field)."""
import random

random.seed(20261208)
N0, N1 = 50, 50
READERS = ["Dr. Adams", "Dr. Baker", "Dr. Chen", "Dr. Dorsey"]
TREATMENTS = ["Film", "Digital"]
SEPARATION = [1.3, 1.7]  # mean of the actually-positive latent values per treatment


def e_field(v):
    """The 12-column exponent field with a zero before the point: 1 -> ' 0.10000E+01'."""
    if v == 0:
        return " 0.00000E+00"
    exp = 0
    m = abs(v)
    while m >= 1:
        m /= 10
        exp += 1
    while m < 0.1:
        m *= 10
        exp -= 1
    digits = f"{m:.5f}"
    if digits.startswith("1."):  # rounding reached 1.00000
        digits, exp = "0.10000", exp + 1
    sign = "-" if v < 0 else " "
    return f"{sign}{digits}E{'+' if exp >= 0 else '-'}{abs(exp):02d}"


def line(text=""):
    return text + "\r\n"


case_neg = [random.gauss(0.0, 0.8) for _ in range(N0)]
case_pos = [random.gauss(0.0, 0.8) for _ in range(N1)]
out = [line("Example study: film versus digital, 4 readers, 50+50 cases".ljust(60)[:60].ljust(80))]
for r, name in enumerate(READERS):
    out.append(line(" " + name.ljust(20)))
    if r == 0:
        header = "".join('"' + t.ljust(12) + '"\t' for t in TREATMENTS)
        out.append(line(" " + header.ljust(80)))
        direction = [" "] * 79
        for i in range(len(TREATMENTS)):
            direction[6 + 13 * i] = "L"
            direction[7 + 13 * i] = "\t"
        out.append(line(" " + "".join(direction)))
    cuts = sorted(random.gauss(c, 0.15) for c in (-0.3, 0.4, 1.0, 1.6))
    for latent, shift in ((case_neg, [0.0, 0.0]), (case_pos, SEPARATION)):
        for x in latent:
            fields = ""
            for t in range(len(TREATMENTS)):
                v = x + shift[t] + random.gauss(0.0, 0.6)
                rating = 1 + sum(v > c for c in cuts)
                fields += " " + e_field(float(rating)) + "\t"
            out.append(line(fields + " " * (64 - 13 * len(TREATMENTS))))
        out.append(line("******"))
out.append(line(" #"))
with open("study.dat", "w", newline="") as f:
    f.write("".join(out))
