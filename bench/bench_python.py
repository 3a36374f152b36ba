#!/usr/bin/env python3
"""Benchmarks of the Python package, run by hand after scripts/run.sh:

    PYTHONPATH=build/python python3 bench/bench_python.py [BUILD_DIR] [--rounds 5]

1. kvdib.quantize on a 3840 x 2160 array against BM_Normal8 of kvdib-bench on the same
   pixels (kvdib-bench reads them from a BMP through KVDIB_BENCH_IMAGE). The two are timed
   in turns, round by round, and compared by the ratio of their medians; quantize pays for
   the copy into the library's 24-bit block and the copy of the indices out, BM_Normal8
   for neither.
2. Two threads converting two images at once against one thread converting one, by the
   normal and the fine method: the interpreter lock is released while the library works.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

import kvdib

WIDTH, HEIGHT = 3840, 2160


def bench_image(source):
    """The photograph enlarged bilinearly to 3840 x 2160, as kvdib-bench makes its own."""
    small = kvdib.open(source).to_numpy().astype(np.float64)
    sh, sw = small.shape[:2]
    fy = np.linspace(0, sh - 1, HEIGHT)
    fx = np.linspace(0, sw - 1, WIDTH)
    y0 = fy.astype(int)
    x0 = fx.astype(int)
    y1 = np.minimum(y0 + 1, sh - 1)
    x1 = np.minimum(x0 + 1, sw - 1)
    wy = (fy - y0)[:, None, None]
    wx = (fx - x0)[None, :, None]
    top = small[y0][:, x0] * (1 - wx) + small[y0][:, x1] * wx
    bottom = small[y1][:, x0] * (1 - wx) + small[y1][:, x1] * wx
    return np.ascontiguousarray(np.rint(top * (1 - wy) + bottom * wy).astype(np.uint8))


def bm_normal8(bench, image_path):
    """BM_Normal8's median wall time per iteration, in seconds."""
    env = dict(os.environ, KVDIB_BENCH_IMAGE=image_path)
    report = image_path + ".json"
    subprocess.run(
        [bench, "--benchmark_filter=^BM_Normal8$", "--benchmark_repetitions=3", "--benchmark_out=" + report,
         "--benchmark_out_format=json"],
        env=env, check=True, capture_output=True)
    with open(report) as f:
        runs = json.load(f)["benchmarks"]
    median = [b for b in runs if b.get("aggregate_name") == "median"][0]
    return median["real_time"] / {"ms": 1e3, "us": 1e6, "ns": 1e9, "s": 1}[median["time_unit"]]


def timed(fn, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "astronaut.bmp")
    bench = os.path.join(args.build, "kvdib-bench")
    rgb = bench_image(source)
    print("kvdib %s, image %d x %d" % (kvdib.__version__, WIDTH, HEIGHT))

    if os.access(bench, os.X_OK):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "bench.bmp")
            kvdib.from_numpy(rgb).save(path)
            library, package = [], []
            for _ in range(args.rounds):
                library.append(bm_normal8(bench, path))
                package.append(timed(lambda: kvdib.quantize(rgb), 3))
        lib, pkg = statistics.median(library), statistics.median(package)
        ratios = sorted(p / l for p, l in zip(package, library))
        print("BM_Normal8 (kvdib-bench)   %7.1f ms  (median of %d rounds)" % (lib * 1e3, args.rounds))
        print("kvdib.quantize             %7.1f ms" % (pkg * 1e3))
        print("quantize / BM_Normal8      %7.2f    (per round %.2f .. %.2f)" % (pkg / lib, ratios[0], ratios[-1]))
    else:
        print("%s not found (scripts/run.sh builds it): quantize against BM_Normal8 skipped" % bench)

    images = [kvdib.from_numpy(rgb), kvdib.from_numpy(np.ascontiguousarray(rgb[::-1]))]
    for fine in (False, True):
        one = timed(lambda: images[0].convert("8bit", fine=fine), args.rounds)

        def two():
            threads = [threading.Thread(target=img.convert, args=("8bit", fine)) for img in images]
            for t in threads:
                t.start()
            for t in threads:
                t.join()

        both = timed(two, args.rounds)
        print("convert('8bit', fine=%-5s) one image %7.1f ms, two images in two threads %7.1f ms: %.2f x one"
              % (fine, one * 1e3, both * 1e3, both / one))
    return 0


if __name__ == "__main__":
    sys.exit(main())
