#!/usr/bin/env python3
"""Wall time of whole runs with the read-back after each trial and without it.

    bench/read_back_cost.py WITH WITHOUT [--rounds N] [--rest S] [--dir D]

WITH is the program as built, WITHOUT the same sources built with
-DVARNO_NO_READ_BACK=ON. Each round runs, for each of three runs (HL C: 64M 4 1,
LL C: 64M 1M 4 1, and the built-in default test without a configuration file),
both programs one after the other in a fresh directory below D (default: the
current directory; "C:" is the program's current directory), the order
alternating from round to round, with a sync and S seconds of rest before
each run. Prints the median wall time of each and the median of the
per-round ratios (with / without).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time

RUNS = [
    ("HL C: 64M 4 1", "HL C: 64M 4 1\n"),
    ("LL C: 64M 1M 4 1", "LL C: 64M 1M 4 1\n"),
    ("default (HL C: 4K 1000 5)", None),
]


def one_run(program, ini, parent, rest):
    directory = tempfile.mkdtemp(prefix="read-back-", dir=parent)
    try:
        if ini is not None:
            with open(os.path.join(directory, "Varnoquelbit.ini"), "w") as f:
                f.write(ini)
        subprocess.run(["sync"], check=True)
        time.sleep(rest)
        start = time.monotonic()
        proc = subprocess.run([program], cwd=directory, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, check=True)
        seconds = time.monotonic() - start
        if b"Average:" not in proc.stdout:
            raise SystemExit("no average from %s:\n%s%s" % (program, proc.stdout.decode(),
                                                             proc.stderr.decode()))
        return seconds
    finally:
        shutil.rmtree(directory, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("with_read_back")
    parser.add_argument("without_read_back")
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--rest", type=float, default=3.0)
    parser.add_argument("--dir", default=".")
    args = parser.parse_args()
    programs = [os.path.abspath(args.with_read_back), os.path.abspath(args.without_read_back)]
    print("| Run | Without the read-back | With it | Ratio |")
    print("|---|---|---|---|")
    for name, ini in RUNS:
        times = {0: [], 1: []}
        for round_number in range(args.rounds):
            order = (0, 1) if round_number % 2 == 0 else (1, 0)
            for which in order:
                times[which].append(one_run(programs[which], ini, args.dir, args.rest))
        ratios = [w / wo for w, wo in zip(times[0], times[1])]
        print("| `%s` | %.2f s | %.2f s | %.2f (rounds %.2f to %.2f) |"
              % (name, statistics.median(times[1]), statistics.median(times[0]),
                 statistics.median(ratios), min(ratios), max(ratios)), flush=True)


if __name__ == "__main__":
    main()
