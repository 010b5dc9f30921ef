"""The command line: which files, which output, and how failures end.

Exit status: 0; 2 for a file that is not a varnoquelbit result of a known
schema (or a value in one of a wrong kind or size) and for a wrong command
line; 1 when an output cannot be written or the picture cannot be drawn.
Each failure is one line on standard error, "varnoquelbit-compare: '<file>':
<reason>", and never a traceback.
"""

import argparse
import os
import sys

from . import PROGRAM, VERSION, note
from .figures import build_table
from .reading import read_runs
from .text import print_csv, print_csv_long, print_markdown, print_table

DESCRIPTION = ("Reads result.json files (one run each) and results.jsonl files (one run a "
               "line) and prints one row per test (method, drive and sizes) and one column per "
               "run, labelled by its date and the disks, file systems and mount points it "
               "measured. Each cell is the test's average in MB/s (1 MB = 1,048,576 bytes) with "
               "the slowest and fastest trial, the trials' standard deviation and the ratio to "
               "the earliest run with the test.")


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog=PROGRAM, description=DESCRIPTION,
        epilog="Exit status: 0; 2 for a file that is not a varnoquelbit result of a known "
               "schema or holds a value of a wrong kind or size; 1 when an output cannot be "
               "written.")
    parser.add_argument("files", nargs="+", metavar="FILE",
                        help="result.json (one run) or results.jsonl (one run a line)")
    output = parser.add_mutually_exclusive_group()
    output.add_argument("--csv", action="store_true",
                        help="print the table as CSV, one row per test, three columns per run")
    output.add_argument("--csv-long", action="store_true",
                        help="print CSV with one row per run, test and trial")
    output.add_argument("--markdown", action="store_true",
                        help="print a GitHub-flavoured Markdown table and the runs' systems")
    parser.add_argument("--html", metavar="PAGE",
                        help="also write a self-contained HTML page of the runs to PAGE")
    parser.add_argument("--plot", metavar="PICTURE",
                        help="also draw the runs into PICTURE (.svg or .png; needs matplotlib)")
    scale = parser.add_mutually_exclusive_group()
    scale.add_argument("--log", dest="log_scale", action="store_const", const=True,
                       help="draw MB/s on a log scale (the default when speeds span more "
                            "than 20x)")
    scale.add_argument("--linear", dest="log_scale", action="store_const", const=False,
                       help="draw MB/s on a linear scale")
    parser.add_argument("--version", action="version", version="%s %s" % (PROGRAM, VERSION))
    return parser.parse_args(argv)


def write_stdout(print_output, runs, rows):
    """Prints one output to standard output; 1 (with its line) when it
    cannot be written, 0 otherwise, a closed pipe included."""
    try:
        print_output(runs, rows, sys.stdout)
        sys.stdout.flush()
    except BrokenPipeError:
        silence_stdout()
        return 0
    except OSError as e:
        silence_stdout()
        note("<standard output>", e.strerror or str(e))
        return 1
    return 0


def silence_stdout():
    """Standard output to /dev/null, so that what is still buffered does not
    fail again when Python exits."""
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
    except OSError:
        pass


def run(argv):
    args = parse_arguments(argv)
    if args.plot and os.path.splitext(args.plot)[1].lower() not in (".svg", ".png"):
        note(args.plot, "the picture's name must end in .svg or .png")
        return 2
    runs = []
    for path in args.files:
        reason = read_runs(path, runs)
        if reason:
            note(path, reason)
            return 2
    rows = build_table(runs)
    if args.csv:
        status = write_stdout(print_csv, runs, rows)
    elif args.csv_long:
        status = write_stdout(print_csv_long, runs, rows)
    elif args.markdown:
        status = write_stdout(print_markdown, runs, rows)
    else:
        status = write_stdout(print_table, runs, rows)
    if args.html:
        from .page import write_page
        status = write_page(runs, rows, args.html, args.log_scale) or status
    if args.plot:
        from .picture import plot
        status = plot(runs, rows, args.plot, args.log_scale) or status
    return status
