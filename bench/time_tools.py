#!/usr/bin/env python3
"""Times whole processes turning image files a quarter turn clockwise, side
by side in one run: the quadturn tool against tiffcrop, jpegtran, vips and
ImageMagick where they are installed. Each command runs REPS times, interleaved with the
others so that the machine's drift falls on all alike; the best and the
median wall time, the peak memory (maximum resident set) and the size of the
file written are reported as a Markdown table.

Usage: time_tools.py QUADTURN FOLDER [REPS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import time


def commands(quadturn, folder, out):
    """The files and, for each, the commands that do the job file to file."""
    fax = os.path.join(folder, "fax-100-pages.tif")
    scan = os.path.join(folder, "scan-a4-300dpi-lzw.tif")
    png = os.path.join(folder, "scan-a4-600dpi-grey.png")
    photo = os.path.join(folder, "photo-24mp.jpg")
    jpeg_scan = os.path.join(folder, "scan-a4-600dpi-colour.jpg")
    jobs = [
        ("100-page A4 fax, TIFF Group 4, 1728 x 2200", fax, "tif", [
            ("quadturn", [quadturn, "right", "-q", fax, "-o", "{out}"]),
            ("tiffcrop -R 90", ["tiffcrop", "-R", "90", fax, "{out}"]),
            # Debian's ImageMagick policy caps its pixel cache below what 100
            # pages need; a policy of our own lifts the caps (see main).
            ("ImageMagick convert -rotate 90", ["convert", fax, "-rotate", "90", "{out}"]),
        ]),
        ("A4 colour scan, 300 dpi, TIFF LZW, 2480 x 3508", scan, "tif", [
            ("quadturn", [quadturn, "right", "-q", scan, "-o", "{out}"]),
            ("tiffcrop -R 90", ["tiffcrop", "-R", "90", scan, "{out}"]),
            ("vips rot (LZW out)", ["vips", "rot", scan, "{out}[compression=lzw]", "d90"]),
            ("ImageMagick convert -rotate 90", ["convert", scan, "-rotate", "90", "{out}"]),
        ]),
        ("24-megapixel photograph, JPEG, 6000 x 4000", photo, "jpg", [
            ("quadturn", [quadturn, "right", "-q", photo, "-o", "{out}"]),
            ("jpegtran -rotate 90", ["jpegtran", "-rotate", "90", "-copy", "all", "-outfile",
                                     "{out}", photo]),
            ("vips rot", ["vips", "rot", photo, "{out}", "d90"]),
            ("ImageMagick convert -rotate 90", ["convert", photo, "-rotate", "90", "{out}"]),
        ]),
        # Its height is not whole blocks: a lossless quarter turn drops the
        # last partial row of blocks (quadturn refuses without --trim).
        ("A4 colour scan, 600 dpi, JPEG, 4960 x 7016", jpeg_scan, "jpg", [
            ("quadturn --trim", [quadturn, "right", "--trim", "-q", jpeg_scan, "-o", "{out}"]),
            ("jpegtran -rotate 90 -trim", ["jpegtran", "-rotate", "90", "-trim", "-copy", "all",
                                           "-outfile", "{out}", jpeg_scan]),
            ("vips rot", ["vips", "rot", jpeg_scan, "{out}", "d90"]),
            ("ImageMagick convert -rotate 90", ["convert", jpeg_scan, "-rotate", "90", "{out}"]),
        ]),
        ("A4 grey scan, 600 dpi, 8-bit PNG, 4960 x 7016", png, "png", [
            ("quadturn", [quadturn, "right", "-q", png, "-o", "{out}"]),
            ("vips rot", ["vips", "rot", png, "{out}", "d90"]),
            ("ImageMagick convert -rotate 90", ["convert", png, "-rotate", "90", "{out}"]),
        ]),
    ]
    for title, source, ext, tools in jobs:
        present = [(name, argv) for name, argv in tools if shutil.which(argv[0])]
        yield title, source, ext, present


def run(argv, env):
    """Wall time in seconds, peak memory in MiB and the exit status."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.stderr.close()
    child.returncode = os.waitstatus_to_exitcode(status)
    return elapsed, usage.ru_maxrss / 1024.0, child.returncode


def main():
    quadturn, folder = sys.argv[1], sys.argv[2]
    reps = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    out_dir = os.path.join(folder, "turned")
    os.makedirs(out_dir, exist_ok=True)
    # ImageMagick reads policy.xml from MAGICK_CONFIGURE_PATH first.
    policy_dir = os.path.join(folder, "imagemagick-policy")
    os.makedirs(policy_dir, exist_ok=True)
    with open(os.path.join(policy_dir, "policy.xml"), "w") as f:
        f.write('<policymap>\n')
        for name, value in (("memory", "8GiB"), ("map", "16GiB"), ("disk", "32GiB"),
                            ("area", "8GP"), ("width", "64KP"), ("height", "64KP")):
            f.write('  <policy domain="resource" name="%s" value="%s"/>\n' % (name, value))
        f.write('</policymap>\n')
    env = dict(os.environ, MAGICK_CONFIGURE_PATH=policy_dir)
    print("| file | command | best (s) | median (s) | peak memory (MiB) | file written (MB) |")
    print("|---|---|---:|---:|---:|---:|")
    for title, source, ext, tools in commands(quadturn, folder, out_dir):
        times = {name: [] for name, _ in tools}
        memory = {name: 0.0 for name, _ in tools}
        sizes = {name: None for name, _ in tools}
        failed = set()
        for _ in range(reps):
            for k, (name, argv) in enumerate(tools):
                out = os.path.join(out_dir, "%s-%d.%s" % (os.path.basename(source), k, ext))
                if os.path.exists(out):
                    os.remove(out)
                elapsed, peak, code = run([a.replace("{out}", out) for a in argv], env)
                if code != 0 or not os.path.exists(out):
                    failed.add(name)
                    continue
                times[name].append(elapsed)
                memory[name] = max(memory[name], peak)
                sizes[name] = os.path.getsize(out)
        for name, _ in tools:
            if name in failed or not times[name]:
                print("| %s | %s | failed | | | |" % (title, name))
                continue
            print("| %s | %s | %.2f | %.2f | %.0f | %.2f |" % (
                title, name, min(times[name]), statistics.median(times[name]), memory[name],
                sizes[name] / 1e6))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
