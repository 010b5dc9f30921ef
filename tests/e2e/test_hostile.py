"""End-to-end runs of the real program under hostile conditions: full volumes,
volumes out of inodes, work directory names already taken, names planted in a
work directory while a trial runs, drive strings that cannot be used and
configuration values at and beyond every limit.

Every test checks the same invariants:
- the run reaches the closing prompt and exits with 0;
- every trial ends in one of the known ways, and a failed trial says why and
  gets no result;
- nothing outside the work directories the run made is created, changed or
  deleted (each target is snapshotted with sizes and SHA-256 before and after);
- each failed trial leaves exactly what its failure leaves: its work directory
  with the test files (and copies) made up to the failing step, the failing
  file holding what had been written, and nothing after it.

Volumes of limited size or inodes are tmpfs mounts, which need root, as does
running the program as user nobody. Without root those tests are skipped,
except under CI (CI=true), where a skip is a failure.
"""
import hashlib
import json
import os
import re
import resource
import select
import shutil
import signal
import stat
import subprocess
import sys
import threading
import time
import unittest

from harness import BANNER, COMMAND, PROMPT, Run, TempDirTest, own_lines
from harness import work_directories as work_directories_in

IS_ROOT = os.geteuid() == 0
LYING_FS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lying_fs.py")
COUNTERFEIT_FS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "counterfeit_fs.py")
WORK_NAME = re.compile(r"^Varnoquelbit(-?\d+)$")
SIZE_MESSAGE = "Size Type Must Be 'K' or 'M' or 'G'."
ROOM_MESSAGE = "Error: Free Space is NOT Enough."


def skip_or_fail(test, reason):
    """Skips with the reason, or fails under CI, where every test must run."""
    if os.environ.get("CI") == "true":
        test.fail("cannot run under CI: " + reason)
    raise unittest.SkipTest(reason)


def user_space_note(mount_point):
    """The note for a test on the FUSE volume mounted at mount_point, naming
    its type as /proc/self/mountinfo gives it."""
    fs_type = None
    with open("/proc/self/mountinfo") as table:
        for line in table:
            fields, _, rest = line.partition(" - ")
            if fields.split()[4] == mount_point:
                fs_type = rest.split()[0]
    assert fs_type and fs_type.startswith("fuse"), fs_type
    return ("varnoquelbit: '%s' is a %s volume served in user space: its driver caches data, "
            "so this test's figures include that cache; the read-back cannot get past it "
            "either\n" % (mount_point, fs_type))


# --- the target before and after -------------------------------------------

def snapshot(top):
    """Every entry below top, links not followed: the kind, and for files the
    size, mode, modification time and SHA-256; for links their target."""
    entries = {}
    for directory, dirs, files in os.walk(top):
        for name in dirs + files:
            path = os.path.join(directory, name)
            st = os.lstat(path)
            rel = os.path.relpath(path, top)
            if stat.S_ISLNK(st.st_mode):
                entries[rel] = ("link", os.readlink(path))
            elif stat.S_ISDIR(st.st_mode):
                entries[rel] = ("dir", stat.S_IMODE(st.st_mode))
            else:
                try:
                    with open(path, "rb") as f:
                        digest = hashlib.sha256(f.read()).hexdigest()
                except PermissionError:  # size, mode and time still tell a change
                    digest = None
                entries[rel] = ("file", st.st_size, stat.S_IMODE(st.st_mode), st.st_mtime_ns,
                                digest)
    return entries


def new_work_directories(before, after):
    """The work directories the run left at the target's top level, in the
    order the run made them (their names carry the second)."""
    names = [rel for rel, entry in after.items()
             if os.sep not in rel and entry[0] == "dir" and WORK_NAME.match(rel)
             and rel not in before]
    return sorted(names, key=lambda n: int(WORK_NAME.match(n).group(1)))


def outside(entries, work_dirs):
    return {rel: entry for rel, entry in entries.items()
            if rel.split(os.sep)[0] not in work_dirs}


# --- the console, trial by trial --------------------------------------------

# How a trial goes on from its label, and whether it leaves its work directory.
TRIAL_ENDS = [
    ("done", re.compile(r"Preparing\.\.\. Testing\.\.\. Done\."
                        r"(?:  Result: +\S+\[MB/s\] \(\S+\[sec\]\)\n)?"), False),
    ("not created", re.compile(r"Preparing\.\.\.Init Failed\n"), False),
    ("create", re.compile(r"Preparing\.\.\. CreateFile Error:INVALID_HANDLE_VALUE\n"
                          r"Init Failed\n"), True),
    ("write", re.compile(r"Preparing\.\.\. WriteFile Error\nInit Failed\n"), True),
    ("copy", re.compile(r"Preparing\.\.\. Testing\.\.\.Copy Failed!\n"), True),
    ("ll copy", re.compile(r"Preparing\.\.\. Testing\.\.\.copy failed\n"), True),
    ("open from", re.compile(r"Preparing\.\.\. Testing\.\.\.open from failed\n"), True),
    ("open to", re.compile(r"Preparing\.\.\. Testing\.\.\.open to failed\n"), True),
]
LEAVES_DIRECTORY = {kind: leaves for kind, _, leaves in TRIAL_ENDS}
TRIAL_LABEL = re.compile(r"\[Trial (\d+)\] ")
# A test header starts a line, or follows a trial that ended without a result.
HEADER = re.compile(r"(?:^|(?<=Done\.))(?:HL|LL) \S+ (\S+) (?:\(Buffer:\S+\) )?(-?\d+)File\(s\) "
                    r"-?\d+Trial\(s\)$", re.M)


def size_bytes(text):
    """Bytes of a plain size string such as 64K or 1M."""
    m = re.fullmatch(r"(\d+)([KkMm])", text)
    return int(m.group(1)) * (1024 if m.group(2) in "Kk" else 1024 * 1024) if m else None


class Trial:
    def __init__(self, kind, start, end, file_bytes, file_count):
        self.kind = kind
        self.start, self.end = start, end  # the trial's text in the console
        self.file_bytes, self.file_count = file_bytes, file_count


def trials_of(test, console):
    """Every trial on the console, in order, with the sizes of its test.
    Fails on trial text of no known form and on a result after a failure."""
    trials = []
    labels = list(TRIAL_LABEL.finditer(console))
    for n, label in enumerate(labels):
        limit = labels[n + 1].start() if n + 1 < len(labels) else len(console)
        words = console[label.end():limit]
        header = None
        for header in HEADER.finditer(console, 0, label.start()):
            pass
        test.assertIsNotNone(header, "a trial without a test header")
        file_bytes, file_count = size_bytes(header.group(1)), int(header.group(2))
        for kind, pattern, _ in TRIAL_ENDS:
            m = pattern.match(words)
            if m:
                if kind != "done":
                    test.assertNotIn("Result:", words[m.end():],
                                     "a result after a failed trial: %r" % words)
                trials.append(Trial(kind, label.start(), label.end() + m.end(),
                                    file_bytes, file_count))
                break
        else:
            test.fail("trial text of no known form: %r" % words)
    return trials


def without_trials(console, trials):
    """The console text with every trial's own text and every average taken out."""
    pieces, position = [], 0
    for trial in trials:
        pieces.append(console[position:trial.start])
        position = trial.end
    pieces.append(console[position:])
    return re.sub(r"^Average: *\S+\[MB/s\] \( *\S+\[sec\]\)\n", "", "".join(pieces), flags=re.M)


# --- what a failed trial leaves ---------------------------------------------

def pairs_equal(data):
    """Test file content: the bytes at offsets 2k and 2k+1 are equal."""
    even = len(data) - len(data) % 2
    return data[0:even:2] == data[1:even:2]


def check_leftovers(test, trial, directory):
    """The work directory of a failed trial holds exactly what its failure leaves."""
    kind, file_bytes, file_count = trial.kind, trial.file_bytes, trial.file_count
    names = set(os.listdir(directory))

    def numbered(prefix):
        found = [n for n in names if re.fullmatch(prefix + r"\d+\.dat", n)]
        return sorted(found, key=lambda n: int(n[len(prefix):-4]))

    tests, copies = numbered("test"), numbered("copy")
    test.assertEqual(names, set(tests) | set(copies), "only test and copy files")
    test.assertEqual(tests, ["test%d.dat" % i for i in range(len(tests))], "made in order")
    test.assertEqual(copies, ["copy%d.dat" % i for i in range(len(copies))], "made in order")
    data = {}
    for name in tests + copies:
        with open(os.path.join(directory, name), "rb") as f:
            data[name] = f.read()
    for name in tests:
        test.assertTrue(pairs_equal(data[name]), name)

    def complete(names_):
        for name in names_:
            test.assertEqual(len(data[name]), file_bytes, name)

    def copied(i, whole=True):
        source, copy = data["test%d.dat" % i], data["copy%d.dat" % i]
        test.assertEqual(copy, source if whole else source[:len(copy)], "copy%d.dat" % i)

    if kind == "create":  # the test files before the one that could not be made
        test.assertLess(len(tests), file_count)
        test.assertEqual(copies, [])
        complete(tests)
    elif kind == "write":  # the failing file holds what had been written
        test.assertTrue(1 <= len(tests) <= file_count)
        test.assertEqual(copies, [])
        complete(tests[:-1])
        test.assertLess(len(data[tests[-1]]), file_bytes, "the failing file is short")
    elif kind == "copy":  # whole-file copies in order, the last one may be short
        test.assertEqual(len(tests), file_count)
        complete(tests)
        test.assertLessEqual(len(copies), file_count)
        for i in range(len(copies)):
            copied(i, whole=i < len(copies) - 1)
    elif kind == "ll copy":  # every copy was opened before the timed loop
        test.assertEqual(len(tests), file_count)
        complete(tests)
        test.assertEqual(len(copies), file_count)
        short = [i for i, n in enumerate(copies) if len(data[n]) < file_bytes]
        test.assertTrue(short, "one copy is short")
        for i in range(len(copies)):
            if i < short[0]:
                copied(i)
            elif i == short[0]:
                copied(i, whole=False)
            else:
                test.assertEqual(data[copies[i]], b"", "copy%d.dat was not written" % i)
    elif kind in ("open to", "open from"):  # copies opened so far, all empty
        test.assertEqual(len(tests), file_count)
        complete(tests)
        test.assertLessEqual(len(copies), file_count)
        for name in copies:
            test.assertEqual(data[name], b"", name)
    else:
        test.fail("a %s trial leaves no work directory" % kind)


class HostileTest(TempDirTest):
    """Runs the program in a directory of its own and checks the invariants."""

    def setUp(self):
        if not COMMAND:
            skip_or_fail(self, "VARNO_COMMAND is not set")
        super().setUp()
        self.run_dir = os.path.join(self.dir, "run")
        os.mkdir(self.run_dir)

    def need_root(self, what):
        if not IS_ROOT:
            skip_or_fail(self, what + " needs root")

    def mount_tmpfs(self, path, options):
        self.need_root("a tmpfs volume")
        os.makedirs(path, exist_ok=True)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path],
                               stderr=subprocess.PIPE)
        if mount.returncode != 0:
            skip_or_fail(self, "cannot mount a tmpfs here: " + mount.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["umount", path], check=True)

    def as_nobody(self):
        """The command prefix and program that run as user nobody. The
        program is copied where nobody can reach it when its own place is
        out of nobody's reach."""
        if shutil.which("setpriv") is None:
            skip_or_fail(self, "setpriv (util-linux) is not installed")
        prefix = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]
        os.chmod(self.dir, 0o755)
        command = list(COMMAND)
        if subprocess.run(prefix + ["test", "-x", command[0]]).returncode != 0:
            if len(command) != 1:
                skip_or_fail(self, "user nobody cannot run " + " ".join(command))
            copy = os.path.join(self.dir, "bin", os.path.basename(command[0]))
            os.mkdir(os.path.dirname(copy))
            shutil.copy2(command[0], copy)
            command = [copy]
        return prefix + command

    def start(self, ini, command=None, stdin=b"", open_files=None):
        """Runs the program in run_dir with this configuration (None: as the
        directory holds it), to its end; open_files limits its descriptors."""
        if ini is not None:
            with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "wb") as f:
                f.write(ini.encode("latin-1"))

        def limit():
            if open_files is not None:
                resource.setrlimit(resource.RLIMIT_NOFILE, (open_files, open_files))

        proc = subprocess.run(command or COMMAND, cwd=self.run_dir, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, input=stdin, timeout=600,
                              preexec_fn=limit, start_new_session=True)
        return Run(self.run_dir, proc.stdout, proc.returncode, proc.stderr)

    def check_run(self, run, befores):
        """The invariants; befores maps each target to its snapshot before
        the run. Returns the trials."""
        self.assertEqual(run.returncode, 0, run.console)
        self.assertTrue(run.console.endswith(PROMPT), run.console)
        trials = trials_of(self, run.console)
        leftovers = []
        for target, before in befores.items():
            after = snapshot(target)
            # The run's own files: its configuration, written by the test
            # after the snapshot, and its reports.
            for name in ("Varnoquelbit.ini", "result.txt", "result.json", "results.jsonl"):
                rel = os.path.relpath(os.path.join(self.run_dir, name), target)
                before.pop(rel, None)
                after.pop(rel, None)
            made = new_work_directories(before, after)
            self.assertEqual(outside(after, made), outside(before, made),
                             "only the run's own work directories changed in " + target)
            leftovers += [os.path.join(target, name) for name in made]
        leaving = [t for t in trials if LEAVES_DIRECTORY[t.kind]]
        self.assertEqual(len(leftovers), len(leaving),
                         "one work directory per failed trial that made one:\n" + run.console)
        for trial, directory in zip(leaving, leftovers):
            check_leftovers(self, trial, directory)
        if run.diagnostics is not None:
            self.check_diagnostics(run, trials)
        return trials

    def check_diagnostics(self, run, trials):
        """Every failure the console reports, and a result.txt, result.json
        or results.jsonl line that could not be written, has one line on
        standard error that says why: the failed operation, its path and the
        system's reason, or what the read-back found. Notes on configuration
        lines come besides."""
        lines_file = os.path.join(run.cwd, "results.jsonl")
        failures = (len([t for t in trials if t.kind != "done"])
                    + run.console.count("Could not Get the Drive Information of ")
                    + run.console.count("Varnoquelbit.ini NOT Found.")
                    + (1 if run.result is None else 0)
                    + (0 if os.path.isfile(os.path.join(run.cwd, "result.json")) else 1)
                    + (0 if os.path.isfile(lines_file) and os.path.getsize(lines_file) else 1))
        lines = [line for line in run.diagnostics.splitlines() if not BESIDES.match(line)]
        self.assertEqual(len(lines), failures, run.console + run.diagnostics)
        for line in lines:
            self.assertRegex(line, DIAGNOSTIC)
        # A kept directory holds what its line counts.
        for line in run.diagnostics.splitlines():
            kept = re.match(r"^varnoquelbit: kept '([^'\\]+)': .*, with (\d+) files? of (\d+) bytes",
                            line)
            if kept:
                path = kept.group(1)
                sizes = [e.stat(follow_symlinks=False).st_size for e in os.scandir(path)
                         if e.is_file(follow_symlinks=False)]
                self.assertEqual((len(sizes), sum(sizes)),
                                 (int(kept.group(2)), int(kept.group(3))), line)

    def assert_lines(self, text, expected):
        """text is these lines; an expected line is a string or a pattern."""
        lines = text.split("\n")
        self.assertEqual(lines[-1], "", "the text ends with a line end")
        self.assertEqual(len(lines) - 1, len(expected), text)
        for line, want in zip(lines, expected):
            if isinstance(want, str):
                self.assertEqual(line, want)
            else:
                self.assertRegex(line, want)


def disk_line(drive):
    return re.compile(r"^Disk %s Capacity: Total=\d+\.\d{3}\[GB\] Free=\d+\.\d{3}\[GB\]$"
                      % re.escape(drive))


# A failure: "varnoquelbit: <operation> '<path>': <reason>"; or a copy or test
# file read back wrong; or a drive that left its volume.
DIAGNOSTIC = re.compile(r"^varnoquelbit: (?:[a-z ]+ '[^']+': \S.*"
                        r"|(?:test file )?'[^']+' .+ \(\d+ bytes checked\)"
                        r"|'[^']+' is no longer on the volume first measured "
                        r"\(was it unmounted\?\))$")


# A note on a configuration line: a saturated count, or why a line was refused.
# HL's copies may take longer to reach the medium after the clock than half
# their copy took, small files on a fast disk among them: a test says so once.
# A pattern, with '%s' for the drive as a pattern.
WRITE_OUT_TEXT = (r"HL's copies reached '%s' \d+\.\d{3} s after the clock stopped; "
                  r"counting that, they copied at \d+\.\d{3} MB/s")
WRITE_OUT_NOTE = "varnoquelbit: " + WRITE_OUT_TEXT + r"\n"
NOTE = re.compile(r"^varnoquelbit: (?:(?:file|trial) count [-+]?\d+ does not fit 32 bits; "
                  r"read as -?\d+|line \d+ of 'Varnoquelbit\.ini': \S.*"
                  r"|(?:file|buffer) size '.*' of (?:line '.*'|the built-in test): .*"
                  r"|not enough free space on '.*': the test needs .*, and .* is free)$")
# Lines on standard error that tell no failure: the configuration's notes,
# the write-out note, and the directory a failed trial keeps.
KEPT = re.compile(r"^varnoquelbit: kept '[^']+': the failed trial's directory stays for "
                  r"inspection(?:, with \d+ files? of \d+ bytes in all)?$")
BESIDES = re.compile(NOTE.pattern + "|^varnoquelbit: " + WRITE_OUT_TEXT % ".*" + "$|"
                     + KEPT.pattern)


def start_lines():
    return [re.compile("^" + BANNER.pattern + "$"), "OS: Unknown"]


PROMPT_LINES = PROMPT.rstrip("\n").split("\n")


def free_bytes(path):
    st = os.statvfs(path)
    return st.f_bavail * st.f_frsize


def fill(path):
    """Grows the file at path until its volume is full."""
    with open(path, "ab", buffering=0) as f:
        for chunk in (1 << 20, 1 << 12):
            while free_bytes(path) >= chunk:
                try:
                    f.write(b"\xa5" * chunk)
                except OSError:
                    break


def make_room(path, wanted):
    """Shrinks the file at path until its volume has `wanted` bytes free."""
    free = free_bytes(path)
    if free < wanted:
        os.truncate(path, max(0, os.path.getsize(path) - (wanted - free)))


class FullVolume(HostileTest):
    """A drive string's free space is measured at its first test and kept for
    the run. The configuration arrives through a named pipe, so the volume is
    filled after that first test: later tests pass the room check and meet a
    full volume in their trials."""

    def test_trials_on_a_volume_filled_during_the_run(self):
        vol = os.path.join(self.dir, "vol")
        self.mount_tmpfs(vol, "size=8m,nr_inodes=1000")
        with open(os.path.join(vol, "keep.bin"), "wb") as f:
            f.write(os.urandom(100 * 1024))
        filler = os.path.join(vol, "filler.bin")
        fifo = os.path.join(self.run_dir, "Varnoquelbit.ini")
        os.mkfifo(fifo)
        proc = subprocess.Popen(COMMAND, cwd=self.run_dir, stdin=subprocess.DEVNULL,
                                start_new_session=True,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(proc.wait)
        self.addCleanup(proc.kill)
        writer = open(fifo, "wb", buffering=0)
        self.addCleanup(writer.close)
        seen = bytearray()
        markers = []

        def feed(lines):
            """Writes the lines and a marker line, and waits for the marker's
            error line: every test before it has ended."""
            marker = "marker-%d" % len(markers)
            markers.append("ini error: " + marker)
            writer.write((lines + marker + "\n").encode())
            deadline = time.monotonic() + 120
            while ("ini error: %s\n" % marker).encode() not in seen:
                self.assertLess(time.monotonic(), deadline, bytes(seen))
                if select.select([proc.stdout], [], [], 1)[0]:
                    chunk = os.read(proc.stdout.fileno(), 65536)
                    self.assertTrue(chunk, "the program ended early: %r" % bytes(seen))
                    seen.extend(chunk)

        def next_second():
            """Work directories are named by the second: a trial that starts
            in the second of an earlier trial's leftover finds its name taken."""
            time.sleep(1 - time.time() % 1 + 0.01)

        feed("HL %s 4K 1 0\n" % vol)  # measures and keeps the free space
        fill(filler)
        before = snapshot(vol)
        feed("HL %s 256K 4 2\n" % vol)
        next_second()
        feed("LL %s 64K 16K 2 1\n" % vol)
        # Room for the test files, not for all their copies.
        make_room(filler, 320 * 1024)
        next_second()
        feed("HL %s 64K 4 1\n" % vol)
        make_room(filler, 320 * 1024)
        next_second()
        feed("LL %s 64K 16K 4 1\n" % vol)
        writer.close()
        rest, errors = proc.communicate(timeout=120)
        run = Run(self.run_dir, bytes(seen) + rest, proc.returncode, errors)

        # The filler shrank by this test's own hand; everything else is compared.
        before["filler.bin"] = snapshot(vol)["filler.bin"]
        trials = self.check_run(run, {vol: before})
        kinds = [t.kind for t in trials]
        # The second trial fails like the first, or finds the first one's
        # directory when it starts within the same second.
        self.assertIn(kinds[1], ("write", "not created"))
        self.assertEqual(kinds[:1] + kinds[2:], ["write", "write", "copy", "ll copy"])
        # Each failure's line names the file the volume had no room for.
        work = re.escape(vol) + r"/Varnoquelbit\d+"
        failures = [line for line in run.diagnostics.splitlines()
                    if not NOTE.match(line) and not KEPT.match(line)]
        self.assertEqual(len(failures), len(kinds), run.diagnostics)
        for line, kind in zip(failures, kinds):
            self.assertRegex(line, {
                "write": r"^varnoquelbit: write '%s/test\d+\.dat': No space left on device$",
                "not created": r"^varnoquelbit: create directory '%s': File exists$",
                "copy": r"^varnoquelbit: copy to '%s/copy\d+\.dat': No space left on device$",
                "ll copy": r"^varnoquelbit: write '%s/copy\d+\.dat': No space left on device$",
            }[kind] % work)
        self.assert_lines(without_trials(run.console, trials), start_lines() + [
            disk_line(vol),
            "HL %s 4K 1File(s) 0Trial(s)" % vol,
            markers[0],
            "HL %s 256K 4File(s) 2Trial(s)" % vol,
            markers[1],
            "LL %s 64K (Buffer:16K) 2File(s) 1Trial(s)" % vol,
            markers[2],
            "HL %s 64K 4File(s) 1Trial(s)" % vol,
            markers[3],
            "LL %s 64K (Buffer:16K) 4File(s) 1Trial(s)" % vol,
            markers[4],
        ] + PROMPT_LINES)
        self.assertNotIn(b"Average:", run.result)


class OutOfInodes(HostileTest):
    """A volume with room for the data but few inodes (one each for the root,
    a file of the user's, the work directory and every file)."""

    def mount_with_inodes(self, inodes):
        vol = os.path.join(self.dir, "vol")
        self.mount_tmpfs(vol, "size=16m,nr_inodes=%d" % inodes)
        with open(os.path.join(vol, "keep.txt"), "w") as f:
            f.write("the user's own file\n")
        return vol

    def test_test_files_beyond_the_inodes(self):
        vol = self.mount_with_inodes(20)  # the directory and 17 test files
        before = snapshot(vol)
        run = self.start("HL %s 4K 30 1\nLL %s 4K 4K 30 1\n" % (vol, vol))
        trials = self.check_run(run, {vol: before})
        self.assertEqual([t.kind for t in trials], ["create", "not created"])
        leftover = new_work_directories(before, snapshot(vol))[0]
        self.assertEqual(len(os.listdir(os.path.join(vol, leftover))), 17)

    def test_hl_copies_beyond_the_inodes(self):
        vol = self.mount_with_inodes(3 + 8 + 3)  # 8 test files and 3 copies
        before = snapshot(vol)
        run = self.start("HL %s 4K 8 1\n" % vol)
        trials = self.check_run(run, {vol: before})
        self.assertEqual([t.kind for t in trials], ["copy"])
        leftover = os.path.join(vol, new_work_directories(before, snapshot(vol))[0])
        self.assertEqual(sorted(n for n in os.listdir(leftover) if n.startswith("copy")),
                         ["copy0.dat", "copy1.dat", "copy2.dat"])

    def test_ll_copies_beyond_the_inodes(self):
        vol = self.mount_with_inodes(3 + 8 + 3)
        before = snapshot(vol)
        run = self.start("LL %s 4K 4K 8 1\n" % vol)
        trials = self.check_run(run, {vol: before})
        self.assertEqual([t.kind for t in trials], ["open to"])
        leftover = os.path.join(vol, new_work_directories(before, snapshot(vol))[0])
        self.assertEqual(len(os.listdir(leftover)), 8 + 3)


class LyingVolume(HostileTest):
    """A medium that returns wrong data while every call succeeds: a FUSE file
    system (lying_fs.py) passes everything through to a directory, but every
    read of a file named copy1.dat returns one byte inverted. Each trial reads
    its copies back after the clock: the trial whose copy1.dat lies fails as a
    failed copy, gets no result and keeps its work directory; standard error
    names the copy and the byte. A trial without a copy1.dat still passes."""

    FLIPPED = 12345

    def mount_lying_volume(self):
        self.need_root("a FUSE mount")
        backing, mnt = os.path.join(self.dir, "backing"), os.path.join(self.dir, "mnt")
        os.mkdir(backing)
        os.mkdir(mnt)
        with open(os.path.join(backing, "keep.txt"), "w") as f:
            f.write("the user's own file\n")
        serve_fuse(self, LYING_FS, [backing, "copy1.dat", str(self.FLIPPED)], mnt)
        return backing, mnt

    def check_lying_copy(self, test_line, header, failure):
        backing, mnt = self.mount_lying_volume()
        before = snapshot(backing)
        with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "w") as f:
            f.write((test_line % (mnt, "1M", 1)) + "\n" + (test_line % (mnt, "64K", 4)) + "\n")
        # Standard output and standard error on one pipe: the copy is found
        # wrong before the console's failure text is written, yet that text
        # ends its line first and the note follows on a line of its own.
        proc = subprocess.run(COMMAND, cwd=self.run_dir, input=b"", start_new_session=True,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        run = Run(self.run_dir, proc.stdout, proc.returncode)
        self.assertEqual(run.returncode, 0, run.console)
        after = snapshot(backing)
        made = new_work_directories(before, after)
        self.assertEqual(len(made), 1, "the failed trial's directory is kept, the good one's not")
        self.assertEqual(outside(after, made), outside(before, made))
        self.assert_lines(run.console, start_lines() + [
            disk_line(mnt),
            header % (mnt, "1M", 1),
            re.compile(r"^\[Trial 0\] Preparing\.\.\. Testing\.\.\. Done\.  "
                       r"Result: +\d+\.\d{3}\[MB/s\] \(\d+\.\d{3}\[sec\]\)$"),
            # Each test says once that the volume's driver caches.
            user_space_note(mnt).rstrip("\n"),
            re.compile(r"^Average: *\d+\.\d{3}\[MB/s\] \( *\d+\.\d{3}\[sec\]\)$"),
            header % (mnt, "64K", 4),
            "[Trial 0] Preparing... Testing..." + failure,
            "varnoquelbit: '%s/%s/copy1.dat' differs from what was written at byte "
            "%d (%d bytes checked)" % (mnt, made[0], self.FLIPPED, 65536 + self.FLIPPED),
            "varnoquelbit: kept '%s/%s': the failed trial's directory stays for inspection, "
            "with 8 files of %d bytes in all" % (mnt, made[0], 8 * 65536),
            user_space_note(mnt).rstrip("\n"),
        ] + PROMPT_LINES)
        self.assertEqual(run.result.count(b"Average:"), 1, "no average for the failed test")
        # What is stored is whole and right: only the reads lied.
        directory = os.path.join(backing, made[0])
        self.assertEqual(sorted(os.listdir(directory)),
                         sorted(["test%d.dat" % i for i in range(4)]
                                + ["copy%d.dat" % i for i in range(4)]))
        for i in range(4):
            with open(os.path.join(directory, "test%d.dat" % i), "rb") as f:
                source = f.read()
            with open(os.path.join(directory, "copy%d.dat" % i), "rb") as f:
                copy = f.read()
            self.assertEqual(len(source), 65536)
            self.assertTrue(pairs_equal(source))
            self.assertEqual(copy, source, "copy%d.dat" % i)

    def test_hl_copy_read_back_wrong(self):
        self.check_lying_copy("HL %s %s %d 1", "HL %s %s %dFile(s) 1Trial(s)", "Copy Failed!")

    def test_ll_copy_read_back_wrong(self):
        self.check_lying_copy("LL %s %s 16K %d 1", "LL %s %s (Buffer:16K) %dFile(s) 1Trial(s)",
                              "copy failed")

    def test_ll_copy_whose_flush_fails(self):
        """The medium takes copy1.dat's data but its flush fails with EIO: the
        copy failed, though every write succeeded. Before, it printed Done."""
        self.need_root("a FUSE mount")
        backing, mnt = os.path.join(self.dir, "backing"), os.path.join(self.dir, "mnt")
        os.mkdir(backing)
        os.mkdir(mnt)
        serve_fuse(self, LYING_FS, [backing, "copy1.dat", "-1"], mnt)
        run = self.start("LL %s 64K 16K 4 1\n" % mnt)
        print("\n" + run.console + run.diagnostics)
        self.assertEqual(run.returncode, 0, run.console)
        self.assertIn("[Trial 0] Preparing... Testing...copy failed\n", run.console)
        self.assertNotIn("Result:", run.console)
        made = work_directories_in(backing)
        self.assertEqual(len(made), 1, "the failed trial's directory is kept")
        self.assertIn("varnoquelbit: flush '%s/%s/copy1.dat': Input/output error\n"
                      % (mnt, made[0]), run.diagnostics)


def fuse_python(test):
    """The Python that has Debian's python3-fuse (the system's interpreter)."""
    if not os.path.exists("/dev/fuse"):
        skip_or_fail(test, "/dev/fuse is missing")
    python = next((p for p in (sys.executable, "/usr/bin/python3")
                   if subprocess.run([p, "-c", "import fuse"],
                                     stderr=subprocess.DEVNULL).returncode == 0), None)
    if python is None:
        skip_or_fail(test, "no Python with the fuse module (Debian's python3-fuse)")
    return python


def serve_fuse(test, script, arguments, mnt, options=()):
    """Mounts the Python FUSE file system `script` (with its arguments) at the
    existing directory mnt until the test ends."""
    server = subprocess.Popen([fuse_python(test), script] + list(arguments)
                              + [mnt, "-f", "-s"] + list(options), stderr=subprocess.PIPE)
    test.addCleanup(server.communicate, timeout=60)
    deadline = time.monotonic() + 30
    while not os.path.ismount(mnt):
        if server.poll() is not None or time.monotonic() > deadline:
            server.kill()
            skip_or_fail(test, "the FUSE file system did not mount: "
                         + server.communicate()[1].decode(errors="replace").strip())
        time.sleep(0.05)
    test.addCleanup(subprocess.run, ["umount", mnt], check=True)


class CounterfeitDisk(HostileTest):
    """A stick that announces 64 MiB and keeps 40: a FUSE file system
    (counterfeit_fs.py) serves one image whose offsets past 40 MiB wrap to
    offset mod 40 MiB; a loop device over it, ext4 on that, three files of
    the user's first. A test of 2 files of 12 MiB writes its copies past the
    real size, onto the user's files and its own test files. The copies read
    back right (they were written last); the test files do not: the trial
    fails as a failed copy and prints no speed. (Without the read-back of the
    test files, HL printed "Done.  Result:" here and LL 203.390 MB/s.)"""

    SIZE, REAL = 64 << 20, 40 << 20

    def mount_counterfeit_disk(self):
        self.need_root("a FUSE mount and a loop device")
        fuse_python(self)  # before any tool is looked for: the first reason to skip
        for tool in ("losetup", "mkfs.ext4"):
            if shutil.which(tool) is None:
                skip_or_fail(self, tool + " is not installed")
        store, image_dir, disk = (os.path.join(self.dir, n) for n in ("store", "image", "disk"))
        os.mkdir(image_dir)
        os.mkdir(disk)
        with open(store, "wb") as f:
            f.truncate(self.REAL)
        serve_fuse(self, COUNTERFEIT_FS, [store, str(self.SIZE), str(self.REAL)], image_dir,
                   ["-o", "direct_io"])
        attach = subprocess.run(["losetup", "--find", "--show",
                                 os.path.join(image_dir, "disk.img")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if attach.returncode != 0:
            skip_or_fail(self, "no loop device: " + attach.stderr.decode().strip())
        loop = attach.stdout.decode().strip()
        self.addCleanup(subprocess.run, ["losetup", "-d", loop], check=True)
        # No journal and few inodes: the file system's own writes stay small.
        subprocess.run(["mkfs.ext4", "-F", "-q", "-b", "4096", "-N", "256", "-m", "0",
                        "-O", "^has_journal", loop], check=True)
        subprocess.run(["mount", loop, disk], check=True)
        self.addCleanup(subprocess.run, ["umount", disk], check=True)
        for i in range(3):
            with open(os.path.join(disk, "photo%d.jpg" % i), "wb") as f:
                f.write(os.urandom(1 << 20))
        os.sync()
        return disk

    def check_no_speed(self, test_line, header, failure):
        disk = self.mount_counterfeit_disk()
        run = self.start(test_line % disk + "\n")
        self.assertEqual(run.returncode, 0, run.console)
        self.assert_lines(run.console, start_lines() + [
            disk_line(disk), header % disk,
            "[Trial 0] Preparing... Testing..." + failure] + PROMPT_LINES)
        # Mostly a test file is found overwritten; where write-back order let
        # the wrap land on a copy instead, that copy is (both print no speed).
        self.assertRegex(run.diagnostics,
                         r"^varnoquelbit: (test file '%s/Varnoquelbit-?\d+/test[01]\.dat'|"
                         r"'%s/Varnoquelbit-?\d+/copy[01]\.dat') differs "
                         r"from what was written at byte \d+ \(\d+ bytes checked\)\n"
                         r"varnoquelbit: kept '%s/Varnoquelbit-?\d+': the failed trial's "
                         r"directory stays for inspection, with 4 files of %d bytes in all\n$"
                         % (re.escape(disk), re.escape(disk), re.escape(disk), 4 * (12 << 20)))

    def test_hl_trial_on_a_counterfeit_disk(self):
        self.check_no_speed("HL %s 12M 2 1", "HL %s 12M 2File(s) 1Trial(s)", "Copy Failed!")

    def test_ll_trial_on_a_counterfeit_disk(self):
        self.check_no_speed("LL %s 12M 1M 2 1", "LL %s 12M (Buffer:1M) 2File(s) 1Trial(s)",
                            "copy failed")


def process_state(pid):
    """The state letter of a process: "T" once it is stopped."""
    with open("/proc/%d/stat" % pid) as f:
        return f.read().rsplit(")", 1)[1].split()[0]


class VanishingVolume(HostileTest):
    """A tmpfs lazily unmounted (umount -l) in the middle of a 6-trial test.
    The program is stopped while trial 1 copies, the volume unmounted, the
    program let go on: every trial that starts after the unmount finds its
    drive on another volume (the directory underneath), fails with Init Failed
    and makes nothing there. (Before, those trials were timed on the disk
    underneath and wrote their files there.) What the trial in progress does
    is not asserted: it works on through what it already holds open."""

    def test_umount_during_a_test(self):
        self.need_root("a tmpfs volume")
        mnt = os.path.join(self.dir, "stick")
        os.mkdir(mnt)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256m", "tmpfs", mnt],
                               stderr=subprocess.PIPE)
        if mount.returncode != 0:
            skip_or_fail(self, "cannot mount a tmpfs here: " + mount.stderr.decode().strip())
        mounted = [True]
        self.addCleanup(lambda: mounted[0] and subprocess.run(["umount", "-l", mnt]))
        with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "w") as f:
            f.write("HL %s 16M 4 6\n" % mnt)
        proc = subprocess.Popen(COMMAND, cwd=self.run_dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(proc.kill)
        before = b""
        deadline = time.monotonic() + 120
        while b"[Trial 1] Preparing... Testing..." not in before:
            self.assertLess(time.monotonic(), deadline, before)
            chunk = os.read(proc.stdout.fileno(), 4096)
            self.assertNotEqual(chunk, b"", "the run ended before trial 1 copied: %r" % before)
            before += chunk
        # Stopped, everything it wrote so far is read; then the unmount.
        os.kill(proc.pid, signal.SIGSTOP)
        while process_state(proc.pid) != "T":
            time.sleep(0.001)
        os.set_blocking(proc.stdout.fileno(), False)
        while True:
            try:
                chunk = os.read(proc.stdout.fileno(), 4096)
            except BlockingIOError:
                break
            if not chunk:
                break
            before += chunk
        os.set_blocking(proc.stdout.fileno(), True)
        subprocess.run(["umount", "-l", mnt], check=True)
        mounted[0] = False
        os.kill(proc.pid, signal.SIGCONT)
        after, err = proc.communicate(timeout=600)
        self.assertEqual(proc.returncode, 0)
        after, err = after.decode("latin-1"), err.decode("latin-1")

        # The trial in progress at the stop: the one whose line was open, or,
        # after a complete line, the next, whose label may still have been in
        # the program's output buffer. Every later one started after the unmount.
        before = before.decode("latin-1")
        labels = [int(n) for n in re.findall(r"\[Trial (\d)\]", after)]
        in_progress = (labels[0] if before.endswith("\n") and labels
                       else int(re.findall(r"\[Trial (\d)\]", before)[-1]))
        started_after = [n for n in labels if n > in_progress]
        self.assertTrue(started_after, "the run got too far before it was stopped:\n" + before)
        for n in started_after:
            self.assertIn("[Trial %d] Preparing...Init Failed\n" % n, after)
        notes = err.count("varnoquelbit: '%s' is no longer on the volume first measured "
                          "(was it unmounted?)\n" % mnt)
        # Where the mount table does not hold the process's root (a bare
        # chroot), it cannot tell an unmount: the drive's folder changed.
        notes += err.count("varnoquelbit: open '%s': the drive's folder changed: " % mnt)
        self.assertIn(notes - len(started_after), (0, 1), err)
        self.assertEqual(os.listdir(mnt), [], "nothing written in the directory underneath")


class TakenWorkDirectoryNames(HostileTest):
    """The work directory is named by the second. Every name of the next
    minute is taken before the run: by a directory holding a file, by a file,
    or by a link to a directory of the user's. Every trial fails at once and
    touches none of them."""

    def test_every_trial_finds_its_name_taken(self):
        target = os.path.join(self.dir, "target")
        elsewhere = os.path.join(self.dir, "elsewhere")
        os.mkdir(target)
        os.mkdir(elsewhere)
        with open(os.path.join(elsewhere, "data.txt"), "w") as f:
            f.write("reached only through a link\n")
        now = int(time.time())
        for second in range(now, now + 60):
            path = os.path.join(target, "Varnoquelbit%d" % second)
            if second % 3 == 0:
                os.symlink(elsewhere, path)
            elif second % 3 == 1:
                with open(path, "w") as f:
                    f.write("a file named like a work directory\n")
            else:
                os.mkdir(path)
                with open(os.path.join(path, "test0.dat"), "w") as f:
                    f.write("not the benchmark's\n")
        befores = {target: snapshot(target), elsewhere: snapshot(elsewhere)}
        run = self.start("HL %s 4K 2 3\nLL %s 4K 4K 2 2\n" % (target, target))
        trials = self.check_run(run, befores)
        self.assertEqual([t.kind for t in trials], ["not created"] * 5)
        self.assertLess(time.time(), now + 60, "the run ended within the minute")
        for line in run.diagnostics.splitlines():
            self.assertRegex(line, r"^varnoquelbit: create directory '%s/Varnoquelbit\d+': "
                             r"File exists$" % re.escape(target))


class Racer(threading.Thread):
    """Watches `drives` for new work directories and does `plant(directory)`
    in each the moment it appears, as a process sharing the machine would;
    records each directory's mode as first seen."""

    def __init__(self, drives, plant):
        super().__init__(daemon=True)
        self.drives = drives
        self.plant = plant
        self.modes = {}
        self.stop = threading.Event()

    def run(self):
        while not self.stop.is_set():
            for drive in self.drives:
                try:
                    names = os.listdir(drive)
                except OSError:
                    continue
                for name in names:
                    path = os.path.join(drive, name)
                    if not WORK_NAME.match(name) or path in self.modes:
                        continue
                    try:
                        self.modes[path] = stat.S_IMODE(os.lstat(path).st_mode)
                    except OSError:
                        continue
                    self.plant(path)

    def finish(self):
        self.stop.set()
        self.join(timeout=30)


def try_plant(make):
    """True when the planting went in (the name was still free)."""
    try:
        make()
        return True
    except OSError:
        return False


class PlantedNames(HostileTest):
    """The work directory is the trial's own: made with mode 0700, held open,
    every file in it created as a new name and never opened through a link.
    Someone who plants names in it the moment it appears (root can, despite
    the mode) fails the step that meets one; their files stay as they were."""

    def test_links_planted_in_new_work_directories_are_never_written_through(self):
        volume = os.path.join(self.dir, "volume")
        self.mount_tmpfs(volume, "size=256m,mode=0777")
        canary = os.path.join(volume, "thesis.txt")
        with open(canary, "w") as f:
            f.write("the user's only copy\n")
        os.chmod(canary, 0o600)
        before = os.stat(canary)
        drives = [os.path.join(volume, "run%d" % i) for i in range(10)]
        for drive in drives:
            os.mkdir(drive)
        planted = []

        def plant(directory):
            # Copies first: the test files are made at once, the copies later.
            for i, name in enumerate(["copy%d.dat" % n for n in range(4)] +
                                     ["test%d.dat" % n for n in range(4)]):
                target = os.path.join(directory, name)
                make = ((lambda: os.symlink(canary, target)) if i % 2 == 0
                        else (lambda: os.link(canary, target)))
                if try_plant(make):
                    planted.append(target)

        racer = Racer(drives, plant)
        racer.start()
        old_umask = os.umask(0)
        try:
            consoles = []
            for i, drive in enumerate(drives):
                ini = ("HL %s 1M 4 1\n" if i % 2 == 0 else "LL %s 1M 64K 4 1\n") % drive
                run = self.start(ini)
                self.assertEqual(run.returncode, 0, run.console)
                consoles.append((drive, run.console, run.diagnostics))
        finally:
            os.umask(old_umask)
            racer.finish()
        self.assertTrue(planted, "the racer planted nothing:\n%s" % consoles)
        with open(canary, "rb") as f:
            self.assertEqual(f.read(), b"the user's only copy\n")
        after = os.stat(canary)
        self.assertEqual((after.st_size, after.st_mtime_ns, stat.S_IMODE(after.st_mode)),
                         (before.st_size, before.st_mtime_ns, 0o600))
        self.assertGreaterEqual(len(racer.modes), 5, "work directories seen: %s" % racer.modes)
        self.assertEqual(set(racer.modes.values()), {0o700}, racer.modes)
        # A trial that met a planted name says so and gets no result.
        for drive, console, diagnostics in consoles:
            for line in own_lines(diagnostics):
                # A name planted while a good trial removed its directory keeps it.
                self.assertRegex(line, r"^varnoquelbit: (create '%s/Varnoquelbit\d+/(test|copy)"
                                 r"\d\.dat': File exists|could not remove '%s/Varnoquelbit\d+': "
                                 r"Directory not empty; it stays|no direct I/O .*)$"
                                 % (re.escape(drive), re.escape(drive))
                                 if not line.startswith("varnoquelbit: kept ") else KEPT)
            if "File exists" in diagnostics:
                self.assertNotIn("Result:", console)

    def test_a_directory_that_stays_after_a_good_trial_is_named(self):
        drive = os.path.join(self.dir, "target")
        os.mkdir(drive)

        def plant(directory):
            try_plant(lambda: open(os.path.join(directory, ".kept"), "w").close())

        racer = Racer([drive], plant)
        racer.start()
        try:
            with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "w") as f:
                f.write("HL %s 1M 4 1\n" % drive)
            # Both streams in one pipe, in the order they were written.
            proc = subprocess.run(COMMAND, cwd=self.run_dir, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                  timeout=600, start_new_session=True)
        finally:
            racer.finish()
        text = proc.stdout.decode()
        self.assertEqual(proc.returncode, 0, text)
        kept = work_directories_in(drive)
        self.assertEqual(len(kept), 1, text)
        self.assertEqual(os.listdir(os.path.join(drive, kept[0])), [".kept"])
        self.assertRegex(text, r"\[Trial 0\] Preparing\.\.\. Testing\.\.\. Done\.  Result: .*\n"
                         r"varnoquelbit: could not remove '%s': Directory not empty; it stays\n"
                         r"Average:" % re.escape(os.path.join(drive, kept[0])))

    def test_a_second_signal_names_the_directory_it_leaves(self):
        volume = os.path.join(self.dir, "volume")
        self.mount_tmpfs(volume, "size=256m,nr_inodes=100000")
        with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "w") as f:
            f.write("HL %s 1K 30000 1\n" % volume)
        proc = subprocess.Popen(COMMAND, cwd=self.run_dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL),
                                start_new_session=True)
        self.addCleanup(proc.kill)
        deadline = time.monotonic() + 300
        while not any(os.path.exists(os.path.join(volume, d, "copy0.dat"))
                      for d in work_directories_in(volume)):
            self.assertIsNone(proc.poll(), "the run ended before its copies")
            self.assertLess(time.monotonic(), deadline, "no copy was ever made")
            time.sleep(0.002)
        # Ctrl-C, and again 50 ms later, while 30,000 files are being removed.
        proc.send_signal(signal.SIGINT)
        time.sleep(0.05)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, 130, out)
        left = work_directories_in(volume)
        self.assertEqual(len(left), 1)
        self.assertEqual(err.decode(), "\nvarnoquelbit: interrupted again; leaving '%s'\n"
                         % os.path.join(volume, left[0]))


ATTACKER = "varno-attacker"
VICTIM = "varno-victim"


class SharedFolder(HostileTest):
    """A folder shared by several local users, writable by all without the
    sticky bit (0777), or by a group (2775, setgid): another user may rename
    the names in it, the trial's work directory among them. Two local users
    are made for it: an attacker, and a victim whose folder the attacker can
    rename but whose files they cannot delete. Runs as root, as CI does."""

    def setUp(self):
        super().setUp()
        self.need_root("two local users")
        if shutil.which("useradd") is None or shutil.which("setpriv") is None:
            skip_or_fail(self, "useradd and setpriv are needed")
        for user in (ATTACKER, VICTIM):
            if subprocess.run(["id", "-u", user], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["useradd", "--system", "--no-create-home", "--user-group",
                                user], check=True)
        subprocess.run(["usermod", "-a", "-G", VICTIM, ATTACKER], check=True)
        self.uid = {u: int(subprocess.check_output(["id", "-u", u])) for u in (ATTACKER, VICTIM)}
        os.chmod(self.dir, 0o755)

    def as_user(self, user, code, *args):
        """Runs Python code as the user; returns its standard output."""
        done = subprocess.run(["setpriv", "--reuid=" + user, "--regid=" + user,
                               "--init-groups", "--", "/usr/bin/python3", "-c", code] +
                              list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(done.returncode, 0, done.stdout)
        return done.stdout.decode()

    def share(self, mode):
        share = os.path.join(self.dir, "share")
        os.mkdir(share)
        os.chown(share, 0, pwd_gid(VICTIM))
        os.chmod(share, mode)
        victim = os.path.join(share, "victim")
        self.as_user(VICTIM, "import os, sys\n"
                     "os.mkdir(sys.argv[1], 0o755)\n"
                     "for i in range(3):\n"
                     "    with open(os.path.join(sys.argv[1], 'doc%d.txt' % i), 'w') as f:\n"
                     "        f.write('the victim\\'s document %d\\n' % i)\n", victim)
        return share, victim

    def run_stopped_while_copying(self, ini, drive, attack):
        """Runs the program, stops it once its trial has begun to copy (its
        first copy is there), calls attack(), lets it go on; returns (stdout,
        stderr) as text."""
        with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "w") as f:
            f.write(ini)
        proc = subprocess.Popen(COMMAND, cwd=self.run_dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(proc.kill)
        deadline = time.monotonic() + 120
        while not any(os.path.exists(os.path.join(drive, d, "copy0.dat"))
                      for d in work_directories_in(drive)):
            self.assertIsNone(proc.poll(), "the run ended before its copies")
            self.assertLess(time.monotonic(), deadline, "no copy was ever made")
            time.sleep(0.001)
        os.kill(proc.pid, signal.SIGSTOP)
        while process_state(proc.pid) not in ("T", "Z"):
            time.sleep(0.001)
        self.assertEqual(process_state(proc.pid), "T", "stopped before its end")
        attack()
        os.kill(proc.pid, signal.SIGCONT)
        out, err = proc.communicate(timeout=600)
        self.assertEqual(proc.returncode, 0)
        return out.decode("latin-1"), err.decode("latin-1")

    def test_a_work_directory_renamed_away_and_replaced(self):
        cases = [("HL", 0o777, "victim"), ("LL", 0o2775, "victim"),
                 ("HL", 0o777, "links"), ("LL", 0o2775, "links")]
        for method, mode, replacement in cases:
            with self.subTest(method=method, mode=oct(mode), replacement=replacement):
                shutil.rmtree(os.path.join(self.dir, "share"), True)
                share, victim = self.share(mode)
                before = snapshot(victim)
                swapped = []

                def attack():
                    # Root's work directory goes aside; the victim's folder,
                    # or a folder of links to the victim's files, takes its name.
                    swapped.append(self.as_user(ATTACKER, SWAP, share, victim, replacement))

                ini = ("HL %s 32M 16 1\n" if method == "HL" else "LL %s 32M 1M 16 1\n") % share
                out, err = self.run_stopped_while_copying(ini, share, attack)
                name = swapped[0].strip()
                print("\n%s %s %s:\n%s%s" % (method, oct(mode), replacement, out, err))
                self.assertRegex(out, r"\[Trial 0\] Preparing\.\.\. Testing\.\.\. Done\.  Result: ")
                place = os.path.join(share, name)
                owner = self.uid[VICTIM if replacement == "victim" else ATTACKER]
                self.assertEqual(
                    [line for line in own_lines(err) if "copies reached" not in line],
                    ["varnoquelbit: left '%s': another directory, of user %d, is there now, "
                     "not the trial's own directory: that was moved away, and stays where it "
                     "was moved, emptied" % (place, owner)])
                self.assertEqual(snapshot(victim if replacement == "links" else place),
                                 before, "the victim's tree is intact")
                self.assertEqual(os.listdir(os.path.join(share, "moved-" + name)), [],
                                 "root's own files went, its directory stays where it was moved")

    def test_a_drive_link_flipped_between_two_folders(self):
        """The drive is a link another user owns, flipped every 50 ms between
        their folder and a 0700 folder of root's. The folder the disk line
        measured is held to the run's end: a trial that finds the link
        elsewhere fails with Init Failed and says the drive's folder changed;
        every work directory is made in the held folder and removed from it."""
        share, _ = self.share(0o777)
        theirs = os.path.join(share, "theirs")
        self.as_user(ATTACKER, "import os, sys\nos.mkdir(sys.argv[1], 0o777)\n", theirs)
        root_only = os.path.join(self.dir, "root-only")
        os.mkdir(root_only, 0o700)
        link = os.path.join(share, "lnk")
        flipper = subprocess.Popen(
            ["setpriv", "--reuid=" + ATTACKER, "--regid=" + ATTACKER, "--init-groups", "--",
             "/usr/bin/python3", "-c", FLIP, link, theirs, root_only])
        self.addCleanup(flipper.kill)
        deadline = time.monotonic() + 10
        while not os.path.islink(link):
            self.assertLess(time.monotonic(), deadline, "the link never appeared")
            time.sleep(0.01)
        try:
            for method in ("HL %s 8M 4 8\n", "LL %s 8M 1M 4 8\n"):
                run = self.start(method % link)
                print("\n" + run.console + run.diagnostics)
                self.assertEqual(run.returncode, 0, run.console)
                lines = re.findall(r"\[Trial \d\] Preparing\.\.\.(.*)\n", run.console)
                self.assertEqual(len(lines), 8, run.console)
                failed = [line for line in lines if line == "Init Failed"]
                for line in lines:
                    self.assertRegex(line, r"^( Testing\.\.\. Done\.  Result: .*|Init Failed)$")
                notes = [line for line in own_lines(run.diagnostics)
                         if "copies reached" not in line]
                self.assertEqual(notes, ["varnoquelbit: open '%s': the drive's folder changed: "
                                         "the path leads to another folder than the one its "
                                         "disk line measured" % link] * len(failed),
                                 run.diagnostics)
                for folder in (theirs, root_only):
                    self.assertEqual(work_directories_in(folder), [], folder)
        finally:
            flipper.kill()

    def test_reports_in_a_read_only_folder_are_written_in_place(self):
        """The user's own result files in a folder of root's (0755) that they
        may not write to: no new file can be made beside them, so they are
        written in place, and standard error says so."""
        folder = os.path.join(self.dir, "readonly")
        os.mkdir(folder, 0o755)
        earlier = b"the last run's report\r\n"
        for name in ("result.txt", "result.json", "results.jsonl"):
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(earlier if name != "results.jsonl" else b"")
            os.chown(path, self.uid[VICTIM], -1)
        with open(os.path.join(folder, "Varnoquelbit.ini"), "w") as f:
            f.write("#\n")
        program = os.path.join(self.dir, "bin", os.path.basename(COMMAND[0]))
        os.makedirs(os.path.dirname(program), exist_ok=True)
        shutil.copy2(COMMAND[0], program)
        done = subprocess.run(["setpriv", "--reuid=" + VICTIM, "--regid=" + VICTIM,
                               "--init-groups", "--", program], cwd=folder, input=b"",
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        err = done.stderr.decode()
        print("\n" + err, end="")
        self.assertEqual(done.returncode, 0, err)
        self.assertEqual(err.splitlines(), [
            "varnoquelbit: wrote in place '%s': could not create a new file beside it: "
            "Permission denied" % name for name in ("result.txt", "result.json")])
        with open(os.path.join(folder, "result.txt"), "rb") as f:
            report = f.read()
        self.assertEqual(report, (done.stdout.decode().split("\n")[0] + "\r\nOS: Unknown\r\n")
                         .encode())
        with open(os.path.join(folder, "result.json"), encoding="utf-8") as f:
            self.assertEqual(json.load(f)["schema"], 1)
        with open(os.path.join(folder, "results.jsonl"), encoding="utf-8") as f:
            self.assertEqual(len(f.read().splitlines()), 1)
        self.assertEqual(sorted(os.listdir(folder)), ["Varnoquelbit.ini", "result.json",
                                                      "result.txt", "results.jsonl"])


# The attacker's move: share, victim folder, replacement ("victim": the
# victim's folder itself; "links": a new folder of links to its files).
SWAP = """import os, re, sys
share, victim, replacement = sys.argv[1:4]
name = [n for n in os.listdir(share) if re.match(r"^Varnoquelbit-?[0-9]+$", n)][0]
os.rename(os.path.join(share, name), os.path.join(share, "moved-" + name))
if replacement == "victim":
    os.rename(victim, os.path.join(share, name))
else:
    os.mkdir(os.path.join(share, name))
    for i in range(16):
        for kind in ("test", "copy"):
            os.symlink(os.path.join(victim, "doc%d.txt" % (i % 3)),
                       os.path.join(share, name, "%s%d.dat" % (kind, i)))
print(name)
"""


# The attacker's link flipper: link, folder A, folder B; every 50 ms.
FLIP = """import os, sys, time
link, a, b = sys.argv[1:4]
for n in range(100000):
    os.symlink(a if n % 2 == 0 else b, link + ".new")
    os.rename(link + ".new", link)
    time.sleep(0.05)
"""


def pwd_gid(user):
    import grp
    return grp.getgrnam(user).gr_gid


class DriveStrings(HostileTest):
    """Drive strings that name no usable directory."""

    def test_a_file(self):
        target = os.path.join(self.dir, "target")
        os.mkdir(target)
        drive = os.path.join(target, "plain.txt")
        with open(drive, "w") as f:
            f.write("a file, not a directory\n")
        before = snapshot(target)
        run = self.start("HL %s 4K 1 2\nLL %s 4K 4K 1 1\n" % (drive, drive))
        trials = self.check_run(run, {target: before})
        self.assertEqual([t.kind for t in trials], ["not created"] * 3)
        self.assert_lines(without_trials(run.console, trials), start_lines() + [
            disk_line(drive),
            "HL %s 4K 1File(s) 2Trial(s)" % drive,
            "LL %s 4K (Buffer:4K) 1File(s) 1Trial(s)" % drive,
        ] + PROMPT_LINES)

    def test_a_missing_directory(self):
        drive = os.path.join(self.dir, "missing")
        before = snapshot(self.dir)
        run = self.start("HL %s 4K 1 1\nLL %s\\deeper 4K 4K 1 1\n" % (drive, drive))
        self.assertEqual(self.check_run(run, {self.dir: before}), [])
        self.assert_lines(run.console, start_lines() + [
            "Could not Get the Drive Information of " + drive,
            "Could not Get the Drive Information of %s\\deeper" % drive,
        ] + PROMPT_LINES)
        self.assertFalse(os.path.exists(drive))

    def test_a_name_holding_terminal_controls(self):
        """Standard output keeps the configuration's bytes; standard error
        shows the controls as \\xNN, so a name cannot retitle the window,
        clear the screen or write the clipboard."""
        name = "x\x1b]0;owned\x07\x1b[2J\x1b]52;c;aGk=\x07\xc2\x9b1m\xff"
        drive = os.path.join(self.dir, name)
        run = self.start("HL %s 4K 1 1\n" % drive)
        self.assert_lines(run.console, start_lines() + [
            "Could not Get the Drive Information of " + drive] + PROMPT_LINES)
        shown = os.path.join(self.dir, "x\\x1B]0;owned\\x07\\x1B[2J\\x1B]52;c;aGk=\\x07\\x9B1m\\xFF")
        self.assertEqual(run.diagnostics.splitlines()[0],
                         "varnoquelbit: query volume '%s': No such file or directory" % shown)
        self.assertNotRegex(run.diagnostics, "[\x00-\x09\x0b-\x1f\x7f\x80-\x9f\xff]")

    def test_an_unwritable_directory(self):
        """As user nobody where the tests run as root, else as the user itself."""
        target = os.path.join(self.dir, "target")
        os.mkdir(target)
        with open(os.path.join(target, "keep.txt"), "w") as f:
            f.write("the owner's file\n")
        command = None
        if IS_ROOT:
            command = self.as_nobody()
            os.chmod(target, 0o755)
            shutil.chown(self.run_dir, "nobody", "nogroup")
        else:
            os.chmod(target, 0o555)
            self.addCleanup(os.chmod, target, 0o755)
        before = snapshot(target)
        run = self.start("HL %s 4K 1 2\nLL %s 4K 4K 1 1\n" % (target, target), command=command)
        trials = self.check_run(run, {target: before})
        self.assertEqual([t.kind for t in trials], ["not created"] * 3)
        self.assertIn("\nHL %s 4K 1File(s) 2Trial(s)\n" % target, run.console)

    def test_a_read_only_volume(self):
        vol = os.path.join(self.dir, "vol")
        self.mount_tmpfs(vol, "size=1m")
        with open(os.path.join(vol, "keep.txt"), "w") as f:
            f.write("on a volume mounted read-only\n")
        subprocess.run(["mount", "-o", "remount,ro", vol], check=True)
        before = snapshot(vol)
        run = self.start("HL %s 4K 1 2\n" % vol)
        trials = self.check_run(run, {vol: before})
        self.assertEqual([t.kind for t in trials], ["not created"] * 2)
        for line in run.diagnostics.splitlines():
            self.assertRegex(line, r"^varnoquelbit: create directory '%s/Varnoquelbit\d+': "
                             r"Read-only file system$" % re.escape(vol))

    def test_paths_over_99_characters(self):
        """Paths are limited to 99 characters: "<drive>\\Varnoquelbit" and ten
        digits, then "\\test<i>.dat". A trial whose paths would be longer
        makes nothing; a drive string over 99 characters is no word at all."""
        def drive_of(length):
            name = "d" * (length - 3)
            os.makedirs(os.path.join(self.run_dir, name), exist_ok=True)
            return "C:\\" + name

        fits, too_long, dir_too_long = drive_of(66), drive_of(66), drive_of(77)
        over_99 = "C:\\" + "w" * 97
        ini = ("HL %s 4K 10 1\n"   # test9.dat's path has 99 characters
               "HL %s 4K 11 1\n"   # test10.dat's has 100
               "HL %s 4K 0 1\n"    # the work directory's path has 100
               "HL %s 4K 1 1\n" % (fits, too_long, dir_too_long, over_99))
        before = snapshot(self.run_dir)
        run = self.start(ini)
        trials = self.check_run(run, {self.run_dir: before})
        self.assertEqual([t.kind for t in trials], ["done", "not created", "not created"])
        self.assert_lines(without_trials(run.console, trials), start_lines() + [
            disk_line(fits),
            "HL %s 4K 10File(s) 1Trial(s)" % fits,
            "HL %s 4K 11File(s) 1Trial(s)" % too_long,
            disk_line(dir_too_long),
            "HL %s 4K 0File(s) 1Trial(s)" % dir_too_long,
            "ini error: HL %s 4K 1 1" % over_99,
        ] + PROMPT_LINES)


class OpenFileLimit(HostileTest):
    """An LL trial opens every source and copy before its timed loop. With
    few descriptors allowed, opening stops part way: the trial says which
    open failed and leaves the test files and the copies opened so far."""

    def test_ll_trial_beyond_the_open_file_limit(self):
        target = os.path.join(self.dir, "target")
        os.mkdir(target)
        with open(os.path.join(target, "keep.txt"), "w") as f:
            f.write("the user's own file\n")
        other = os.path.join(self.dir, "other")  # a name of its own for the HL trial
        os.mkdir(other)
        before = snapshot(target)
        run = self.start("LL %s 4K 4K 100 1\nHL %s 4K 100 1\n" % (target, other),
                         open_files=40)
        trials = self.check_run(run, {target: before, other: {}})
        self.assertIn(trials[0].kind, ("open from", "open to"))
        self.assertEqual(trials[1].kind, "done", "HL holds two files open at a time")
        leftover = os.path.join(target, new_work_directories(before, snapshot(target))[0])
        copies = [n for n in os.listdir(leftover) if n.startswith("copy")]
        self.assertTrue(10 < len(copies) < 40, copies)


class CurrentDirectory(HostileTest):
    """The current directory holds the configuration and receives result.txt."""

    def test_a_directory_in_place_of_the_configuration(self):
        """It opens on Linux, but cannot be read as a file: it counts as
        unreadable, and the default test runs."""
        os.mkdir(os.path.join(self.run_dir, "Varnoquelbit.ini"))
        before = snapshot(self.run_dir)
        run = self.start(None)
        trials = self.check_run(run, {self.run_dir: before})
        self.assertEqual([t.kind for t in trials], ["done"] * 5)
        general = re.compile(r"^Disk C: Capacity: Total=\S+\[GB\] Free=\S+\[GB\]$")
        self.assert_lines(without_trials(run.console, trials), start_lines() + [
            "Varnoquelbit.ini NOT Found.", general, "HL C: 4K 1000File(s) 5Trial(s)",
        ] + PROMPT_LINES)
        self.assertIn(b"\r\nHL C:   4K 1000File(s)  5Trial(s) : Average:", run.result)

    def test_an_unreadable_configuration_in_an_unwritable_directory(self):
        """The configuration cannot be opened: the default test runs, on the
        current directory, where it can make nothing; result.txt cannot be
        written either, and standard error says so."""
        with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "w") as f:
            f.write("HL C: 4K 1 1\n")
        command = self.as_nobody() if IS_ROOT else None
        os.chmod(os.path.join(self.run_dir, "Varnoquelbit.ini"), 0)
        os.chmod(self.run_dir, 0o555)
        self.addCleanup(os.chmod, self.run_dir, 0o755)
        before = snapshot(self.run_dir)
        run = self.start(None, command=command)
        self.assertEqual(snapshot(self.run_dir), before, "the configuration is untouched too")
        trials = self.check_run(run, {self.run_dir: before})
        self.assertEqual([t.kind for t in trials], ["not created"] * 5)
        self.assertIsNone(run.result)
        self.assertIn("varnoquelbit: write 'result.txt': Permission denied\n", run.diagnostics)
        general = re.compile(r"^Disk C: Capacity: Total=\S+\[GB\] Free=\S+\[GB\]$")
        self.assert_lines(without_trials(run.console, trials), start_lines() + [
            "Varnoquelbit.ini NOT Found.", general, "HL C: 4K 1000File(s) 5Trial(s)",
        ] + PROMPT_LINES)

    def test_a_full_current_directory(self):
        """The room check refuses the test; result.txt cannot be written, and
        standard error says so."""
        self.mount_tmpfs(self.run_dir, "size=1m")
        with open(os.path.join(self.run_dir, "Varnoquelbit.ini"), "w") as f:
            f.write("HL C: 4K 1 1\n")
        fill(os.path.join(self.run_dir, "filler.bin"))
        before = snapshot(self.run_dir)
        run = self.start(None)
        self.assertEqual(self.check_run(run, {self.run_dir: before}), [])
        self.assert_lines(run.console, start_lines() + [
            disk_line("C:"), ROOM_MESSAGE] + PROMPT_LINES)
        self.assertIsNone(run.result)
        self.assertEqual(run.diagnostics,
                         "varnoquelbit: not enough free space on 'C:': the test needs 8 KiB "
                         "(1 file of 4 KiB and their copies), and 0 KiB is free\n"
                         "varnoquelbit: write 'result.txt': No space left on device\n"
                         "varnoquelbit: write 'result.json': No space left on device\n"
                         "varnoquelbit: append to 'results.jsonl': No space left on device\n")


class ConfigurationLimits(HostileTest):
    """Words, counts and sizes at and beyond their limits, in one run."""

    def test_values_beyond_every_limit(self):
        target = os.path.join(self.dir, "target")
        os.mkdir(target)
        with open(os.path.join(target, "keep.txt"), "w") as f:
            f.write("the user's own file\n")
        t = target
        lines = [
            ("HL %s %s 1 1" % (t, "4" * 98 + "K"), [SIZE_MESSAGE]),  # 99 characters, 1e97 KiB
            ("HL %s %s 1 1" % (t, "4" * 99 + "K"), None),  # a word of 100 characters
            ("HL%s %s 4K 1 1" % ("L" * 98, t), None),
            ("HL %s 4K 99999999999 1" % t, [ROOM_MESSAGE]),  # beyond 32 bits: the largest count
            ("HL %s 4K 1 -99999999999" % t, ["HL %s 4K 1File(s) -2147483648Trial(s)" % t]),
            ("HL %s 4K 2147483647 2147483647" % t, [ROOM_MESSAGE]),
            ("HL %s 1e30G 1 1" % t, [SIZE_MESSAGE]),  # beyond 64 bits of KiB
            ("HL %s 99999999999999999999K 1 1" % t, [SIZE_MESSAGE]),
            ("HL %s 8796093022207G 2 1" % t, [ROOM_MESSAGE]),  # its room overflows 64 bits
            ("HL %s -4K 1 1" % t, [SIZE_MESSAGE]),
            ("LL %s -1M 4K 1 1" % t, [SIZE_MESSAGE]),
            ("LL %s 4K -4K 1 1" % t, [SIZE_MESSAGE]),
            ("LL %s 4K 4G 1 1" % t, [SIZE_MESSAGE]),
            ("LL %s 4K 4194304K 1 1" % t, [SIZE_MESSAGE]),
            ("LL %s 4K 4194303K 1 1" % t,  # 1 KiB under 4 GiB
             ["LL %s 4K (Buffer:4194303K) 1File(s) 1Trial(s)" % t]),
            ("HL %s 4K -99999999999 1" % t, ["HL %s 4K -2147483648File(s) 1Trial(s)" % t]),
            ("HL %s 4K 3 1" % t, ["HL %s 4K 3File(s) 1Trial(s)" % t]),
        ]
        before = snapshot(target)
        run = self.start("".join(line + "\n" for line, _ in lines))
        trials = self.check_run(run, {target: before})
        expected = start_lines()
        for line, output in lines:
            if output is None:
                expected.append("ini error: " + line)
                continue
            if disk_line(t) not in expected:  # the first test that reaches the drive
                expected.append(disk_line(t))
            expected += output
        self.assert_lines(without_trials(run.console, trials), expected + PROMPT_LINES)
        # The 4 GiB buffer may not be had on this machine: then the trial
        # fails before it makes anything.
        self.assertIn(trials[0].kind, ("done", "not created"))
        self.assertEqual([t.kind for t in trials[1:]], ["done", "done"])
        notes = [line for line in run.diagnostics.splitlines() if NOTE.match(line)]
        # The refused lines say which field is wrong.
        self.assertEqual([line for line in notes if " of 'Varnoquelbit.ini': " in line], [
            "varnoquelbit: line 2 of 'Varnoquelbit.ini': the file size is 100 characters long; "
            "at most 99 are read",
            "varnoquelbit: line 3 of 'Varnoquelbit.ini': the method word is 100 characters long; "
            "at most 99 are read"])
        # Each refused size and each room shortage says why, in the lines' order.
        refusals = [output[0] for _, output in lines
                    if output in ([SIZE_MESSAGE], [ROOM_MESSAGE])]
        told = [line for line in notes if " size '" in line or "free space" in line]
        self.assertEqual(len(told), len(refusals), run.diagnostics)
        for console_text, note in zip(refusals, told):
            self.assertIn(" size '" if console_text == SIZE_MESSAGE else "free space", note)
        self.assertEqual([line for line in notes if " count " in line], [
            "varnoquelbit: file count 99999999999 does not fit 32 bits; read as 2147483647",
            "varnoquelbit: trial count -99999999999 does not fit 32 bits; read as -2147483648",
            "varnoquelbit: file count -99999999999 does not fit 32 bits; read as -2147483648"])
        report = run.result.decode("latin-1")
        self.assertIn("HL %s   4K    1File(s) -2147483648Trial(s) : " % t, report)
        self.assertIn("HL %s   4K -2147483648File(s)  1Trial(s) : " % t, report)


if __name__ == "__main__":
    unittest.main()
