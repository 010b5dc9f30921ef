#!/usr/bin/env python3
"""What the progress indicator costs the timed copy phase, seen from outside.

The indicator is drawn by a thread of its own from counters the copy loops
store as they go; the copy never writes to the terminal and never waits for
it. This script measures what is left of its cost the only honest way: the
same program, the same tests, run in alternating rounds with standard error
on a pseudo-terminal of its own (the indicator draws) and with standard error
to a file (it does not), standard output on a pipe both times. It prints the
MB/s of each trial and the ratio of the two means.

--stop SECONDS stops the terminal's output (XOFF, what Ctrl-S does) as soon
as the copy phase shows, for that long: a terminal that stops reading must
stall the indicator alone, so the figures with the terminal stopped must
match those with standard error to a file.

  bench/progress_bench.py build/varnoquelbit [--dir DIR] [--rounds N]
                          [--line "LL C: 512M 1M 4 1"] [--stop 5]

The directory (default: a fresh one under the current directory) holds the
configuration, and C: is that directory: it must be on the volume to test.
Exits 0 once it has measured, 2 when it cannot start.
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
import termios
import time

TESTS = [
    "LL C: 64M 64K 8 2",
    "LL C: 256M 1M 4 2",
    "HL C: 256M 4 2",
]
RESULT = re.compile(rb"Result: *([\d.]+)\[MB/s\] \(([\d.]+)\[sec\]\)")


def write_configuration(directory, line):
    with open(os.path.join(directory, "Varnoquelbit.ini"), "w") as f:
        f.write(line + "\n")


def speeds(out):
    return [float(mb_s) for mb_s, _ in RESULT.findall(out)]


def run_to_file(program, directory):
    with tempfile.TemporaryFile() as errors:
        proc = subprocess.run([program], cwd=directory, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=errors, start_new_session=True)
    return speeds(proc.stdout)


def run_on_terminal(program, directory, stop_seconds):
    """Standard error on a new terminal, read as it comes; with stop_seconds,
    its output stopped once the copy phase shows, and started again after
    that long. Returns the trials' MB/s and the seconds it was stopped."""
    master, slave = pty.openpty()
    env = dict(os.environ, TERM=os.environ.get("TERM", "xterm"))
    proc = subprocess.Popen([program], cwd=directory, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=slave, env=env,
                            start_new_session=True)
    received, out = b"", b""
    stopped_at, stopped_for = None, 0.0
    open_ends = [master, proc.stdout.fileno()]
    try:
        while proc.stdout.fileno() in open_ends:
            now = time.monotonic()
            if stop_seconds and stopped_at is None and not stopped_for and b"copying" in received:
                termios.tcflow(slave, termios.TCOOFF)
                stopped_at = now
            if stopped_at is not None and now - stopped_at >= stop_seconds:
                termios.tcflow(slave, termios.TCOON)
                stopped_for, stopped_at = now - stopped_at, None
            for end in select.select(open_ends, [], [], 0.05)[0]:
                try:
                    chunk = os.read(end, 65536)
                except OSError:
                    chunk = b""
                if not chunk:
                    open_ends.remove(end)
                elif end == master:
                    received += chunk
                else:
                    out += chunk
        if stopped_at is not None:
            termios.tcflow(slave, termios.TCOON)
            stopped_for = time.monotonic() - stopped_at
        proc.wait()
    finally:
        os.close(slave)
        os.close(master)
        proc.stdout.close()
    return speeds(out), stopped_for


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--dir")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--line", action="append", help="a test line (default: three tests)")
    parser.add_argument("--stop", type=float, default=0.0,
                        help="seconds the terminal's output stays stopped during the copy")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    if not os.access(program, os.X_OK):
        print("no program at %s" % program, file=sys.stderr)
        return 2
    directory = tempfile.mkdtemp(prefix="progress-bench.", dir=args.dir or os.getcwd())
    try:
        print("program: %s\ndirectory: %s" % (program, directory))
        terminal_name = "terminal stopped %gs" % args.stop if args.stop else "terminal"
        print("%-20s %5s  %-22s %-22s %8s" % ("test", "round", terminal_name + " MB/s",
                                              "stderr to a file MB/s", "ratio"))
        for line in args.line or TESTS:
            write_configuration(directory, line)
            ratios = []
            for r in range(args.rounds):
                # Alternate which goes first, so that neither always follows the other.
                order = (True, False) if r % 2 == 0 else (False, True)
                figures = {}
                for on_terminal in order:
                    if on_terminal:
                        figures[True], stopped = run_on_terminal(program, directory, args.stop)
                    else:
                        figures[False] = run_to_file(program, directory)
                if not figures[True] or not figures[False]:
                    print("%-20s %5d  no result" % (line, r + 1))
                    continue
                ratio = statistics.mean(figures[True]) / statistics.mean(figures[False])
                ratios.append(ratio)
                shown = " ".join("%.1f" % v for v in figures[True])
                if args.stop:
                    shown += " (%.1fs)" % stopped
                print("%-20s %5d  %-22s %-22s %8.3f" % (
                    line, r + 1, shown, " ".join("%.1f" % v for v in figures[False]), ratio))
            if ratios:
                print("%-20s median ratio %.3f" % (line, statistics.median(ratios)))
    finally:
        shutil.rmtree(directory, True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
