#!/usr/bin/env python3
"""What the progress indicator costs the timed copy phase.

The indicator runs inside the copy phase (it looks at the millisecond clock at
each transfer or file boundary and draws at most 4 times a second), so its
cost is measured where it arises rather than guessed from two noisy runs: a
build configured with -DVARNO_PROGRESS_COST=ON sums, with a fine clock, the
time spent in the indicator during copy phases and tells it after each test
on standard error:

  varnoquelbit: progress cost: 0.212 ms in 410 looks at the clock of 16400 boundaries during 5123.4 ms of copy phases (0.0041 %), 0.150 ms of it in 5 drawings; their processor time 0.140 ms

The indicator looks at the clock only every so many bytes (about every 10 ms
of work at the pace it last saw), at a transfer or file boundary; the sum
covers those looks and the drawings. The boundaries in between cost one
comparison each, which is not timed (the timing would cost more than it).

This script runs such a build with standard error on a pseudo-terminal of its
own (so the indicator draws) and standard output on a pipe, and sets each
test's indicator time against the timed seconds the console printed for its
trials. The same tests run again with standard error on a pipe, where the
indicator is off, in alternating rounds, for the with/without ratio of the
MB/s figures (noisy, unlike the sum). --frames also prints what a terminal
shared by standard output and standard error shows while a test runs, a
frame whenever the last line changes.

  cmake -S . -B build-cost -DBUILD_TESTING=OFF -DVARNO_PROGRESS_COST=ON
  cmake --build build-cost -j2 --target varnoquelbit
  bench/progress_bench.py build-cost/varnoquelbit [--dir DIR] [--rounds N] [--frames]

The directory (default: a fresh one under the current directory) must be on
a real volume. Exits 0 once it has measured, 2 when it cannot start.
"""
import argparse
import os
import pty
import re
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TESTS = [
    ("LL 64K buffer", "LL C: 64M 64K 8 2"),
    ("LL 1M buffer", "LL C: 256M 1M 4 2"),
    ("HL", "HL C: 256M 4 2"),
]
COST = re.compile(rb"progress cost: ([\d.]+) ms in (\d+) looks at the clock of (\d+) boundaries"
                  rb".* ([\d.]+) ms of it in (\d+) drawings; their processor time ([\d.]+) ms")
RESULT = re.compile(r"Result: *([\d.]+)\[MB/s\] \(([\d.]+)\[sec\]\)")


def read_all(master, proc, frames=None):
    """Everything the terminal receives until the program ends, with the
    time each piece came when frames is a list."""
    received = b""
    start = time.monotonic()
    while True:
        if not select.select([master], [], [], 1)[0]:
            if proc.poll() is not None:
                break
            continue
        try:
            chunk = os.read(master, 65536)
        except OSError:
            break
        if not chunk:
            break
        received += chunk
        if frames is not None:
            frames.append((time.monotonic() - start, received))
    proc.wait()
    return received


def run(program, directory, line, stderr_on_terminal, shared=False, frames=None):
    with open(os.path.join(directory, "Varnoquelbit.ini"), "w") as f:
        f.write(line + "\n")
    env = dict(os.environ, TERM=os.environ.get("TERM", "xterm"))
    if not stderr_on_terminal:
        proc = subprocess.run([program], cwd=directory, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                              start_new_session=True)
        return proc.stdout.decode("latin-1"), proc.stderr
    master, slave = pty.openpty()
    try:
        proc = subprocess.Popen([program], cwd=directory, stdin=subprocess.DEVNULL,
                                stdout=slave if shared else subprocess.PIPE, stderr=slave,
                                env=env, start_new_session=True)
        os.close(slave)
        if shared:
            return "", read_all(master, proc, frames)
        # Standard output is small; the terminal is drained while the program runs.
        received = read_all(master, proc)
        return proc.stdout.read().decode("latin-1"), received
    finally:
        os.close(master)


def last_line(received, columns=200):
    """The line the cursor is on, as a terminal shows it (CR, LF, backspace)."""
    line, col = [], 0
    for ch in received.decode("latin-1"):
        if ch == "\n":
            line, col = [], 0
        elif ch == "\r":
            col = 0
        elif ch == "\b":
            col = max(0, col - 1)
        elif col < columns:
            line.extend(" " * (col + 1 - len(line)))
            line[col] = ch
            col += 1
    return "".join(line).rstrip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--dir")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--frames", action="store_true")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    if not os.access(program, os.X_OK):
        print("no program at %s" % program, file=sys.stderr)
        return 2
    directory = tempfile.mkdtemp(prefix="progress-bench.", dir=args.dir or os.getcwd())
    try:
        out, err = run(program, directory, "LL C: 1M 1M 1 1", True)
        if not COST.search(err):
            print("%s tells no progress cost: build it with -DVARNO_PROGRESS_COST=ON" % program,
                  file=sys.stderr)
            return 2
        print("program: %s\ndirectory: %s" % (program, directory))
        print("%-14s %5s %10s %6s %5s %10s %9s %9s %9s %8s" % (
            "test", "round", "boundaries", "looks", "draws", "in ind. ms", "draw cpu",
            "timed ms", "share %", "with/w/o"))
        for name, line in TESTS:
            shares, ratios = [], []
            for r in range(args.rounds):
                # Alternate which goes first, so that neither always follows the other.
                order = (True, False) if r % 2 == 0 else (False, True)
                speeds = {}
                for on_terminal in order:
                    out, err = run(program, directory, line, on_terminal)
                    results = RESULT.findall(out)
                    speeds[on_terminal] = statistics.mean(float(s) for s, _ in results)
                    if on_terminal:
                        cost = COST.search(err)
                        timed_ms = 1000.0 * sum(float(t) for _, t in results)
                        in_ms, looks = float(cost.group(1)), int(cost.group(2))
                        boundaries = int(cost.group(3))
                        drawings, drawing_cpu = int(cost.group(5)), float(cost.group(6))
                        share = 100.0 * in_ms / timed_ms
                        shares.append(share)
                ratio = speeds[True] / speeds[False]
                ratios.append(ratio)
                print("%-14s %5d %10d %6d %5d %10.3f %9.3f %9.1f %9.4f %8.3f" % (
                    name, r + 1, boundaries, looks, drawings, in_ms, drawing_cpu, timed_ms,
                    share, ratio))
            print("%-14s median share %.4f %%, max %.4f %%; MB/s with/without median %.3f" % (
                name, statistics.median(shares), max(shares), statistics.median(ratios)))
        if args.frames:
            frames = []
            run(program, directory, TESTS[1][1], True, shared=True, frames=frames)
            print("\nframes of a terminal shared by standard output and standard error:")
            shown = None
            for at, received in frames:
                line = last_line(received)
                if line and line != shown:
                    print("%7.2f s | %s" % (at, line))
                    shown = line
    finally:
        shutil.rmtree(directory, True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
