#!/usr/bin/env python3
"""Turns the benchmark CSV of one run (all builds) into the chart's data:
milliseconds per megapixel for each image (rows) and each contender
(columns): quadturn in each build, the DLL under Wine, the peers, memcpy."""
import csv
import sys

source, data, labels = sys.argv[1:4]
times = {}      # (case, series) -> ms per megapixel
cases = []
series = []


def add(case, name, value):
    if case not in cases:
        cases.append(case)
    if name not in series:
        series.append(name)
    times[(case, name)] = value


with open(source, newline="") as f:
    for build, label, bits, width, height, name, ms, mp, *kind in csv.reader(f):
        # The chart is of quarter turns; other orientations have their tables.
        if kind and kind[0] != "1":
            continue
        case = f"{bits}-bit {width}x{height}"
        per_mp = float(ms) / float(mp)
        if name.startswith("quadturn (") or name == "quadturn.dll, a quarter turn":
            add(case, f"quadturn, {build}", per_mp)
        elif build == "native -O3" and name.startswith("memcpy"):
            add(case, "memcpy", per_mp)
        elif build == "native -O3" and not name.startswith((" ", "quadturn", "grey", "memcpy")):
            # One series per peer library, whichever of its calls turned it.
            add(case, name.split()[0] if name.startswith("libyuv") else name, per_mp)

# memcpy first, then quadturn in each build, then the peers.
series.sort(key=lambda s: (0 if s == "memcpy" else 1 if s.startswith("quadturn") else 2))
with open(data, "w") as f:
    for case in cases:
        values = [f"{times[(case, s)]:.4f}" if (case, s) in times else "-" for s in series]
        f.write(f'"{case}" ' + " ".join(values) + "\n")
with open(labels, "w") as f:
    f.write("\n".join(series) + "\n")
