"""Runs the real benchmark binary in a temporary directory and reads what it
printed and wrote.

VARNO_COMMAND is the command that starts the program (for example the native
binary, or "wine64 /path/varnoquelbit.exe"). VARNO_DRIVE_C is the host
directory that the drive string "C:" stands for; when unset, "C:" is the
program's current directory, as on Linux.
"""
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import unittest

COMMAND = shlex.split(os.environ.get("VARNO_COMMAND", ""))
DRIVE_C = os.environ.get("VARNO_DRIVE_C")

BANNER = re.compile(
    r"Varnoquelbit Build: \[(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
    r"(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3]\d \d\d:\d\d:\d\d \d{4}\]")
PROMPT = ("Press Any Key to Finish.\n"
          "(To Copy the Result to the Clipboard, Press 'c'.)\n")


class Run:
    """What one run of the program left: its console text, exit code and result.txt,
    and its standard error text where the run kept it."""

    def __init__(self, cwd, stdout, returncode, stderr=None):
        self.cwd = cwd
        self.diagnostics = None if stderr is None else stderr.decode("latin-1")
        self.console = stdout.decode("latin-1").replace("\r\n", "\n")
        self.returncode = returncode
        path = os.path.join(cwd, "result.txt")
        self.result = None
        if os.path.isfile(path):
            with open(path, "rb") as f:
                self.result = f.read()


def run_program(cwd, ini=None, stdin=b"", env=None, timeout=600, args=(), stdout=None):
    """Runs the program in cwd, with ini (bytes or str) as Varnoquelbit.ini when
    given, args after its name, and stdin as its standard input (None closes
    it); stdout, when given, is a file to write standard output to instead of
    a pipe. The program runs in a session of its own, away from any terminal
    the tests were started from: a clipboard copy through the terminal never
    reaches the developer's."""
    if not COMMAND:
        raise unittest.SkipTest("VARNO_COMMAND is not set")
    if ini is not None:
        with open(os.path.join(cwd, "Varnoquelbit.ini"), "wb") as f:
            f.write(ini.encode("latin-1") if isinstance(ini, str) else ini)
    full_env = dict(os.environ)
    full_env.update(env or {})
    common = dict(cwd=cwd, env=full_env, stdout=stdout or subprocess.PIPE,
                  stderr=subprocess.PIPE, timeout=timeout, start_new_session=True)
    if stdin is None:
        proc = subprocess.run(COMMAND + list(args), stdin=subprocess.DEVNULL,
                              preexec_fn=lambda: os.close(0), **common)
    else:
        proc = subprocess.run(COMMAND + list(args), input=stdin, **common)
    return Run(cwd, proc.stdout or b"", proc.returncode, proc.stderr)


def own_lines(diagnostics):
    """The program's own lines on standard error (without what a layer
    underneath, such as wine, may add)."""
    return [line for line in diagnostics.splitlines() if line.startswith("varnoquelbit: ")]


SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                      "result.schema.json")
# Debian's Python, whose jsonschema module the tests are installed with; the
# python3 running the tests may be another.
SCHEMA_PYTHON = "/usr/bin/python3"


def schema_errors(path):
    """Validates the JSON file at path against docs/result.schema.json with
    Debian's jsonschema. Returns None when it is valid, the validator's text
    when not; raises SkipTest when the validator is not installed."""
    check = ("import json, sys, jsonschema\n"
             "schema = json.load(open(sys.argv[2]))\n"
             "jsonschema.Draft202012Validator.check_schema(schema)\n"
             "jsonschema.validate(json.load(open(sys.argv[1], encoding='utf-8')), schema)\n")
    found = os.path.exists(SCHEMA_PYTHON) and subprocess.run(
        [SCHEMA_PYTHON, "-c", "import jsonschema"], stderr=subprocess.DEVNULL).returncode == 0
    if not found:
        reason = "no jsonschema in " + SCHEMA_PYTHON + " (python3-jsonschema)"
        if os.environ.get("CI") == "true":
            raise AssertionError("cannot run under CI: " + reason)
        raise unittest.SkipTest(reason)
    done = subprocess.run([SCHEMA_PYTHON, "-c", check, path, SCHEMA], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    return None if done.returncode == 0 else done.stdout.decode(errors="replace")


def drive_c_directory(cwd):
    return DRIVE_C or cwd


def work_directories(directory):
    return sorted(name for name in os.listdir(directory) if name.startswith("Varnoquelbit")
                  and os.path.isdir(os.path.join(directory, name)))


def format_number(value, fixed, width=0):
    """A double as the program's streams write it: fixed with 3 decimals, or
    the general format with 6 significant digits."""
    return ("%*.3f" % (width, value)) if fixed else ("%*g" % (width, value))


TRIAL_RESULT = re.compile(r"\[Trial (\d+)\] Preparing\.\.\. Testing\.\.\. Done\."
                          r"(?:  Result: ( *\S+)\[MB/s\] \((\S+)\[sec\]\)\n)?")
AVERAGE = re.compile(r"Average:( *\S+)\[MB/s\] \(( *\S+)\[sec\]\)\n")


def trial_results(text):
    """(trial number, speed text, seconds text) of each successful trial in a
    piece of console text; speed and seconds are None for a 0 ms trial."""
    return [(int(m.group(1)), m.group(2), m.group(3)) for m in TRIAL_RESULT.finditer(text)]


class TempDirTest(unittest.TestCase):
    """Each test gets a fresh directory of its own on a real file system."""

    def setUp(self):
        base = os.environ.get("VARNO_TEST_ROOT") or None
        self.dir = tempfile.mkdtemp(prefix="varno-e2e-", dir=base)
        self.addCleanup(shutil.rmtree, self.dir, True)

    def check_speeds(self, text, file_kib, file_count, fixed):
        """Every result line's speed is the trial's megabytes over its printed
        seconds, and the average is all good trials' data over their total time.
        Returns the number of good trials."""
        megabytes = file_kib / 1024 * file_count
        seconds = []
        for _, speed, secs in trial_results(text):
            if speed is None:
                continue
            secs_value = float(secs)
            self.assertGreater(secs_value, 0)
            self.assertEqual(speed, format_number(megabytes / secs_value, fixed, 7))
            seconds.append(secs_value)
        average = AVERAGE.search(text)
        if seconds:
            self.assertIsNotNone(average, text)
            total = sum(seconds)
            self.assertEqual(average.group(1),
                             format_number(megabytes * len(seconds) / total, fixed, 7))
            self.assertEqual(average.group(2), format_number(total / len(seconds), fixed, 7))
        else:
            self.assertIsNone(average, text)
        return len(seconds)
