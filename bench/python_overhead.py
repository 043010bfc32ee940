#!/usr/bin/python3
"""What the Python module adds to a decode: norvale.decode against the C++ API's call on the same
pixels (DecodeGray) and the same path (DecodePath), per picture, in one run.

usage: bench/python_overhead.py [MANIFEST] [--category C]... [--runs N] [--calls N]
  MANIFEST      corpus manifest (default ../shared/corpus/manifest.tsv beside the repository)
  --category C  only the rows of category C (repeatable; default every row)
  --runs N      timed runs of each call per picture, interleaved, the fastest kept (default 6)
  --calls N     calls of each kind on a 16x16 picture for the fixed cost of a call (default 20000)

Only the pictures that both C++ calls decode count. Runs with /usr/bin/python3 on the module in
build/python, built with -DNORVALE_PYTHON=ON, which also builds the C++ side, norvale_bench_calls,
in build/bench. Each row prints the medians over the pictures of the fastest times, the median
and 90th percentile of their difference and the ratio of the totals; then the fixed cost of one
call on a tiny picture, and how two threads scale over one (two cores).
"""
import argparse
import pathlib
import statistics
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
from PIL import Image

ROOT = pathlib.Path(__file__).resolve().parents[1]
# The build tree's module and calls, ahead of any installed norvale.
sys.path[1:1] = [str(ROOT / "build" / "python"), str(ROOT / "build" / "bench")]

import norvale  # noqa: E402
import norvale_bench_calls  # noqa: E402


def read_manifest(manifest, categories):
    rows = []
    lines = manifest.read_text(encoding="utf-8").splitlines()
    for line in lines[1:]:
        fields = line.split("\t")
        if len(fields) >= 3 and (not categories or fields[2] in categories):
            rows.append(manifest.parent / fields[0])
    return rows


def grey_plane(path):
    try:
        with Image.open(path) as picture:
            return np.ascontiguousarray(np.asarray(picture.convert("L")))
    except Exception:  # the corpus holds refused and truncated files on purpose
        return None


def fastest(call, runs):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def report(name, cpp, python):
    extra = [p - c for c, p in zip(cpp, python)]
    ms = 1000.0
    print(f"{name:<16} {len(cpp):>8} {statistics.median(cpp) * ms:>10.3f} {statistics.median(python) * ms:>10.3f}"
          f" {statistics.median(extra) * 1e6:>12.1f} {percentile(extra, 0.9) * 1e6:>12.1f}"
          f" {sum(python) / sum(cpp):>8.4f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("manifest", nargs="?", default=str(ROOT.parent / "shared/corpus/manifest.tsv"))
    parser.add_argument("--category", action="append", default=[])
    parser.add_argument("--runs", type=int, default=6)
    parser.add_argument("--calls", type=int, default=20000)
    options = parser.parse_args()

    pictures = []
    for path in read_manifest(pathlib.Path(options.manifest), set(options.category)):
        plane = grey_plane(path)
        if (plane is not None and norvale_bench_calls.decode_gray_seconds(plane)[1]
                and norvale_bench_calls.decode_path_seconds(str(path))[1]):
            pictures.append((path, plane))
    if not pictures:
        sys.exit("no picture decoded")

    rows = {"array": ([], []), "path": ([], [])}
    for path, plane in pictures:
        calls = {
            "array": (lambda: norvale_bench_calls.decode_gray_seconds(plane)[0],
                      lambda: fastest(lambda: norvale.decode(plane), 1)),
            "path": (lambda: norvale_bench_calls.decode_path_seconds(str(path))[0],
                     lambda: fastest(lambda: norvale.decode(str(path)), 1)),
        }
        for kind, (cpp_call, python_call) in calls.items():
            # Interleaved, each side first every other run, so that a busy moment of the machine
            # and the caches fall on both sides alike.
            cpp, python = float("inf"), float("inf")
            for run in range(options.runs):
                if run % 2:
                    python = min(python, python_call())
                cpp = min(cpp, cpp_call())
                if not run % 2:
                    python = min(python, python_call())
            rows[kind][0].append(cpp)
            rows[kind][1].append(python)

    print(f"{'norvale.decode':<16} {'pictures':>8} {'C++ ms':>10} {'Python ms':>10} {'extra us':>12}"
          f" {'extra us p90':>12} {'ratio':>8}")
    for kind, (cpp, python) in rows.items():
        report(kind, cpp, python)

    tiny = np.full((16, 16), 255, np.uint8)
    cpp_call = sum(norvale_bench_calls.decode_gray_seconds(tiny)[0] for _ in range(options.calls)) / options.calls
    python_call = fastest(lambda: [norvale.decode(tiny) for _ in range(options.calls)], 1) / options.calls
    print(f"one call on a 16x16 picture: C++ {cpp_call * 1e6:.2f} us, Python {python_call * 1e6:.2f} us,"
          f" extra {(python_call - cpp_call) * 1e6:.2f} us")

    planes = [plane for _, plane in pictures] * 2
    one = fastest(lambda: [norvale.decode(p) for p in planes], 1)
    with ThreadPoolExecutor(max_workers=2) as pool:
        two = fastest(lambda: list(pool.map(norvale.decode, planes)), 1)
    print(f"{len(planes)} decodes: one thread {one:.2f} s, two threads {two:.2f} s, speed-up {one / two:.2f}")


if __name__ == "__main__":
    main()
