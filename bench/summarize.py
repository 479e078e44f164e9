#!/usr/bin/env python3
"""Summarizes repeated benchmark runs: for each build, image and row, the
median time and ratio to the memcpy of the same run, with the lowest and
highest of the runs beside them. Each input CSV is one run of one build
(build,label,bits,width,height,name,ms,megapixels,type). Writes a Markdown
table per build and image, and a CSV of the medians in the input's format
for the chart.

usage: summarize.py SUMMARY.md MEDIANS.csv RUN.csv..."""
import csv
import statistics
import sys

summary, medians, runs = sys.argv[1], sys.argv[2], sys.argv[3:]
times = {}   # (build, case, name) -> [ms per run]
ratios = {}  # the same -> [ms / memcpy of that run]
order = []   # (build, case) in first-seen order
rows_of = {}  # (build, case) -> names in order
meta = {}    # (build, case, name) -> the row's other fields

for path in runs:
    with open(path, newline="") as f:
        lines = list(csv.reader(f))
    memcpy = {}
    for build, label, bits, width, height, name, ms, mp, *kind in lines:
        if name.startswith("memcpy"):
            memcpy[(build, label)] = float(ms)
    for build, label, bits, width, height, name, ms, mp, *kind in lines:
        case = (build, label)
        if case not in rows_of:
            order.append(case)
            rows_of[case] = []
        if name not in rows_of[case]:
            rows_of[case].append(name)
        key = (build, label, name)
        times.setdefault(key, []).append(float(ms))
        ratios.setdefault(key, []).append(float(ms) / memcpy[case])
        meta[key] = (bits, width, height, mp, kind[0] if kind else "1")


def spread(values, fmt):
    return f"{fmt.format(statistics.median(values))} ({fmt.format(min(values))}-{fmt.format(max(values))})"


with open(summary, "w") as out:
    out.write(f"Medians over {len(runs) // max(1, len({b for b, _ in order}))} runs, "
              "lowest and highest in brackets; ratios to the memcpy of the same run.\n")
    for build, label in order:
        bits, width, height, *_ = meta[(build, label, rows_of[(build, label)][0])]
        out.write(f"\n**{label}** ({bits}-bit {width} x {height}), {build}\n\n")
        out.write("| | ms | x memcpy |\n|---|---:|---:|\n")
        for name in rows_of[(build, label)]:
            key = (build, label, name)
            out.write(f"| {name.strip()} | {spread(times[key], '{:.2f}')} | "
                      f"{spread(ratios[key], '{:.2f}')} |\n")

# The overview: each orientation's ratio to memcpy per build and image, and
# the quarter turn with each kernel set.
COLUMNS = [("quarter turn", ("quadturn (", "quadturn.dll, a quarter turn")),
           ("half turn", ("quadturn, a half turn in place", "quadturn.dll, a half turn in place")),
           ("mirror", ("quadturn, mirror",)), ("flip", ("quadturn, flip",)),
           ("transpose", ("quadturn, transpose",)), ("transverse", ("quadturn, transverse",))]


def find(build, label, prefixes):
    return next((n for n in rows_of[(build, label)] if n.strip().startswith(prefixes)), None)


def cell(key):
    return f"{statistics.median(times[key]):.2f} ms, {spread(ratios[key], '{:.2f}')}x"


with open(summary, "a") as out:
    out.write("\n**Overview**: median ms, and x memcpy with its range over the runs\n\n")
    out.write("| build | image | " + " | ".join(c for c, _ in COLUMNS) + " |\n")
    out.write("|---|---|" + "---|" * len(COLUMNS) + "\n")
    for build, label in order:
        cells = []
        for _, prefixes in COLUMNS:
            name = find(build, label, prefixes)
            cells.append(cell((build, label, name)) if name else "")
        out.write(f"| {build} | {label} | " + " | ".join(cells) + " |\n")
    sets = []
    for build, label in order:
        for n in rows_of[(build, label)]:
            if n.strip().startswith("with ") and n.strip() not in sets:
                sets.append(n.strip())
    if sets:
        out.write("\n**The quarter turn with each kernel set**: x memcpy, median (range)\n\n")
        out.write("| build | image | " + " | ".join(x[5:] for x in sets) + " |\n")
        out.write("|---|---|" + "---:|" * len(sets) + "\n")
        for build, label in order:
            names = {n.strip(): n for n in rows_of[(build, label)]}
            if not any(x in names for x in sets):
                continue
            cells = [spread(ratios[(build, label, names[x])], "{:.2f}") if x in names else ""
                     for x in sets]
            out.write(f"| {build} | {label} | " + " | ".join(cells) + " |\n")

# The transposes against the quarter turn timed beside them, call for call
# on one block: the ratio in each run, its median and range.
BESIDE = "quadturn, a quarter turn beside them"
with open(summary, "a") as out:
    out.write("\n**Transposes against a quarter turn timed beside them** (time over the "
              "quarter turn's, median of the runs' ratios, lowest and highest)\n\n")
    out.write("| build | image | transpose | transverse |\n|---|---|---:|---:|\n")
    for build, label in order:
        names = {n.strip(): n for n in rows_of[(build, label)]}
        if BESIDE not in names:
            continue
        quarter = times[(build, label, names[BESIDE])]
        cells = []
        for kind in ("quadturn, transpose", "quadturn, transverse"):
            own = times[(build, label, names[kind])]
            cells.append(spread([a / b for a, b in zip(own, quarter)], "{:.2f}"))
        out.write(f"| {build} | {label} | " + " | ".join(cells) + " |\n")

# quadturn's call for the orientation each libyuv call does: the whole call
# against libyuv's kernel alone, run by run.
LIBYUV_PAIRS = {
    "libyuv RotatePlane": None,  # None: the image's own quarter-turn row
    "libyuv ARGBRotate": None,
    "libyuv RotatePlane 180": "quadturn, a half turn in place",
    "libyuv ARGBRotate 180": "quadturn, a half turn in place",
    "libyuv MirrorPlane": "quadturn, mirror",
    "libyuv ARGBMirror": "quadturn, mirror",
    "libyuv CopyPlane, height negative": "quadturn, flip",
}
with open(summary, "a") as out:
    out.write("\n**Against libyuv, run by run** (quadturn's whole call, libyuv's call "
              "into a destination it reuses)\n\n")
    out.write("| build | image | libyuv | quadturn ms | libyuv ms | runs quadturn was ahead |\n")
    out.write("|---|---|---|---:|---:|---:|\n")
    for build, label in order:
        names = [n.strip() for n in rows_of[(build, label)]]
        main = next((n for n in rows_of[(build, label)] if n.strip().startswith("quadturn (")), None)
        for name in rows_of[(build, label)]:
            if name.strip() not in LIBYUV_PAIRS:
                continue
            ours = LIBYUV_PAIRS[name.strip()]
            ours = main if ours is None else next(
                (n for n in rows_of[(build, label)] if n.strip() == ours), None)
            if ours is None:
                continue
            a, b = times[(build, label, ours)], times[(build, label, name)]
            won = sum(x < y for x, y in zip(a, b))
            out.write(f"| {build} | {label} | {name.strip()} | {statistics.median(a):.2f} | "
                      f"{statistics.median(b):.2f} | {won} of {min(len(a), len(b))} |\n")

with open(medians, "w", newline="") as f:
    w = csv.writer(f)
    for build, label in order:
        for name in rows_of[(build, label)]:
            key = (build, label, name)
            bits, width, height, mp, kind = meta[key]
            w.writerow([build, label, bits, width, height, name,
                        f"{statistics.median(times[key]):.4f}", mp, kind])
