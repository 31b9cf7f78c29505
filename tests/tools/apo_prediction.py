#!/usr/bin/env python3
"""Applies an Equalizer APO file's filters to a response with the audio EQ
cookbook's formulas, written here apart from the program's own, and compares
the result with the prediction the measurer reported.

usage: apo_prediction.py APO_FILE REPORT_JSON
Prints the largest difference in dB and the preamp's headroom; exits 1 when
the difference exceeds 0.1 dB or the preamp lets the filters' peak above 0 dB.
"""
import cmath
import json
import math
import re
import sys


def section(kind, fc, gain, q, rate):
    a = 10 ** (gain / 40)
    w0 = 2 * math.pi * fc / rate
    cw, alpha = math.cos(w0), math.sin(w0) / (2 * q)
    if kind == "PK":
        return ([1 + alpha * a, -2 * cw, 1 - alpha * a], [1 + alpha / a, -2 * cw, 1 - alpha / a])
    sa = 2 * math.sqrt(a) * alpha
    if kind == "LSC":
        return ([a * ((a + 1) - (a - 1) * cw + sa), 2 * a * ((a - 1) - (a + 1) * cw),
                 a * ((a + 1) - (a - 1) * cw - sa)],
                [(a + 1) + (a - 1) * cw + sa, -2 * ((a - 1) + (a + 1) * cw),
                 (a + 1) + (a - 1) * cw - sa])
    if kind == "HSC":
        return ([a * ((a + 1) + (a - 1) * cw + sa), -2 * a * ((a - 1) + (a + 1) * cw),
                 a * ((a + 1) + (a - 1) * cw - sa)],
                [(a + 1) - (a - 1) * cw + sa, 2 * ((a - 1) - (a + 1) * cw),
                 (a + 1) - (a - 1) * cw - sa])
    raise ValueError("unknown filter type " + kind)


def level_db(sections, f, rate):
    z = cmath.exp(-2j * math.pi * f / rate)
    h = 1
    for b, a in sections:
        h *= (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z)
    return 20 * math.log10(abs(h))


def main():
    apo_text = open(sys.argv[1]).read()
    eq = json.load(open(sys.argv[2]))["eq"]
    rate = eq["sampleRate"]
    preamp = float(re.search(r"^Preamp: (-?[\d.]+) dB$", apo_text, re.M).group(1))
    sections = []
    for kind, fc, gain, q in re.findall(
            r"^Filter \d+: ON (PK|LSC|HSC) Fc ([-\d.]+) Hz Gain ([-\d.]+) dB Q ([\d.]+)$",
            apo_text, re.M):
        sections.append(section(kind, float(fc), float(gain), float(q), rate))
    worst = max(abs(m + level_db(sections, f, rate) - p)
                for f, m, p in zip(eq["frequencyHz"], eq["measuredDb"], eq["predictedDb"]))
    peak = max(level_db(sections, 10 * 2 ** (i / 48), rate) for i in range(48 * 9))
    print(f"filters {len(sections)}, largest difference {worst:.4f} dB, "
          f"peak with preamp {peak + preamp:.2f} dB")
    return 0 if worst <= 0.1 and peak + preamp <= 0.01 and sections else 1


if __name__ == "__main__":
    sys.exit(main())
