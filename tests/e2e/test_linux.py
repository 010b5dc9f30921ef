"""End-to-end runs of the real program that use Linux's own means: closed
standard input and output, a clipboard tool on PATH, a configuration fed
through a named pipe, drive strings that are Linux paths, signals, and volumes
of particular file systems (XFS with reflink, btrfs, tmpfs, FUSE, a slow
medium), which need root."""
import fcntl
import json
import os
import pty
import re
import resource
import select
import signal
import stat
import struct
import subprocess
import termios
import time
import unittest

from harness import (AVERAGE, BANNER, COMMAND, PROMPT, Run, TempDirTest, run_program,
                     schema_errors, trial_results, work_directories)
from test_hostile import LYING_FS, WRITE_OUT_NOTE, serve_fuse, skip_or_fail, user_space_note

SLOW_MEDIUM_FS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "slow_medium_fs.py")


def start_with_stderr_on_a_terminal(directory, columns, stdout):
    """Starts the program in `directory` with standard error on a new
    pseudo-terminal `columns` wide (TERM=xterm) and standard output on
    `stdout` (the terminal itself when None). Returns the process, the
    terminal's master end and its slave end, which the caller closes."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, columns, 0, 0))
    env = dict(os.environ, TERM="xterm")
    proc = subprocess.Popen(COMMAND, cwd=directory, stdin=subprocess.DEVNULL,
                            stdout=slave if stdout is None else stdout, stderr=slave, env=env,
                            start_new_session=True)
    return proc, master, slave


def close_quietly(descriptor):
    try:
        os.close(descriptor)
    except OSError:
        pass


def read_terminal_to_its_end(test, master, received=b"", deadline=600):
    """What the terminal's master end receives until the last holder of the
    slave end is gone."""
    end = time.monotonic() + deadline
    while True:
        test.assertLess(time.monotonic(), end, received[-400:])
        if not select.select([master], [], [], 1)[0]:
            continue
        try:
            chunk = os.read(master, 65536)
        except OSError:
            break
        if not chunk:
            break
        received += chunk
    return received


class ClosedInput(TempDirTest):
    def test_closed_stdin_reaches_the_end_without_a_key(self):
        run = run_program(self.dir, ini="#\n", stdin=None, timeout=60)
        self.assertEqual(run.returncode, 0)
        banner = run.console.split("\n")[0]
        self.assertRegex(banner, "^" + BANNER.pattern + "$")
        self.assertEqual(run.console, banner + "\nOS: Unknown\n" + PROMPT)
        self.assertEqual(run.result, (banner + "\r\nOS: Unknown\r\n").encode())


class Clipboard(TempDirTest):
    """A stand-in xclip first on PATH records what it is given."""

    def setUp(self):
        super().setUp()
        self.bin = os.path.join(self.dir, "bin")
        os.mkdir(self.bin)
        self.copied = os.path.join(self.dir, "copied")
        tool = os.path.join(self.bin, "xclip")
        with open(tool, "w") as f:
            f.write('#!/bin/sh\necho "$@" > "%s.args"\ncat > "%s"\n' % (self.copied, self.copied))
        os.chmod(tool, stat.S_IRWXU)
        self.env = {"PATH": self.bin + ":" + os.environ.get("PATH", ""), "DISPLAY": ":42",
                    "WAYLAND_DISPLAY": ""}
        self.work = os.path.join(self.dir, "work")
        os.mkdir(self.work)

    def test_lower_case_c_copies_the_report(self):
        run = run_program(self.work, ini="#\n", stdin=b"c", env=self.env)
        self.assertEqual(run.returncode, 0)
        with open(self.copied, "rb") as f:
            self.assertEqual(f.read(), run.result)
        with open(self.copied + ".args") as f:
            self.assertEqual(f.read().split(), ["-selection", "clipboard"])

    def test_other_keys_copy_nothing(self):
        for key in (b"C", b"x", b""):
            run = run_program(self.work, ini="#\n", stdin=key, env=self.env)
            self.assertEqual(run.returncode, 0)
            self.assertFalse(os.path.exists(self.copied), key)

    def test_missing_tool_is_silent(self):
        env = dict(self.env, PATH="/nonexistent")
        run = run_program(self.work, ini="#\n", stdin=b"c", env=env)
        self.assertEqual(run.returncode, 0)
        self.assertTrue(run.console.endswith(PROMPT))
        self.assertEqual(run.diagnostics, "", "standard error is no terminal")

    def test_closed_input_is_never_the_configuration(self):
        """A standard input closed at the start is opened on /dev/null: the
        configuration does not become descriptor 0, so the closing key is not
        read from the part of it that Ctrl-Z left unread."""
        ini = b"HL C: 4K 2 1\n\x1a" + b"c" * 20000
        run = run_program(self.work, ini=ini, stdin=None, env=self.env)
        self.assertEqual(run.returncode, 0)
        self.assertIn("\nHL C: 4K 2File(s) 1Trial(s)\n[Trial 0] Preparing... Testing... Done.",
                      run.console)
        self.assertTrue(run.console.endswith(PROMPT))
        self.assertFalse(os.path.exists(self.copied), "a key was read from the configuration")


class ReportFile(TempDirTest):
    """result.txt is written to a new file beside it and renamed over it."""

    def entries(self):
        return sorted(os.listdir(self.dir))

    def test_a_link_named_result_txt_is_replaced_not_written_through(self):
        outside = os.path.join(self.dir, "outside")
        os.mkdir(outside)
        kept = os.path.join(outside, "thesis.txt")
        with open(kept, "wb") as f:
            f.write(b"the user's own text\n")
        work = os.path.join(self.dir, "work")
        os.mkdir(work)
        for target in (kept, os.path.join(outside, "none.txt")):
            report = os.path.join(work, "result.txt")
            os.symlink(target, report)
            run = run_program(work, ini="#\n", stdin=b"")
            self.assertEqual(run.returncode, 0)
            self.assertEqual(run.diagnostics, "")
            self.assertFalse(os.path.islink(report), target)
            banner = run.console.split("\n")[0]
            self.assertEqual(run.result, (banner + "\r\nOS: Unknown\r\n").encode())
            self.assertEqual(sorted(os.listdir(work)),
                             ["Varnoquelbit.ini", "result.json", "result.txt", "results.jsonl"])
            os.remove(report)
        with open(kept, "rb") as f:
            self.assertEqual(f.read(), b"the user's own text\n")
        self.assertEqual(os.listdir(outside), ["thesis.txt"], "nothing made through the dangling link")

    def test_a_directory_named_result_txt_is_told_and_left(self):
        os.mkdir(os.path.join(self.dir, "result.txt"))
        run = run_program(self.dir, ini="#\n", stdin=b"")
        self.assertEqual(run.returncode, 0)
        self.assertTrue(run.console.endswith(PROMPT))
        self.assertEqual(run.diagnostics, "varnoquelbit: write 'result.txt': Is a directory\n")
        self.assertEqual(self.entries(),
                         ["Varnoquelbit.ini", "result.json", "result.txt", "results.jsonl"])
        self.assertEqual(os.listdir(os.path.join(self.dir, "result.txt")), [])

    def test_the_file_size_limit_leaves_the_earlier_report_whole(self):
        """Over `ulimit -f` the new report's write fails with EFBIG instead of
        a SIGXFSZ that ends the run; the earlier report stays as it was."""
        earlier = b"an earlier run's result\r\n"
        with open(os.path.join(self.dir, "result.txt"), "wb") as f:
            f.write(earlier)
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "wb") as f:
            f.write(b"#\n")

        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (40, 40))

        proc = subprocess.run(COMMAND, cwd=self.dir, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60, preexec_fn=limit,
                              start_new_session=True)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertRegex(proc.stderr.decode(),
                         r"^varnoquelbit: write 'result.txt': File too large\n"
                         r"varnoquelbit: write 'result.json': File too large\n"
                         r"varnoquelbit: append to 'results.jsonl': 40 of \d+ bytes written\n$")
        self.assertTrue(proc.stdout.decode().endswith(PROMPT))
        with open(os.path.join(self.dir, "result.txt"), "rb") as f:
            self.assertEqual(f.read(), earlier)
        # No part of a line is left in results.jsonl.
        self.assertEqual(os.path.getsize(os.path.join(self.dir, "results.jsonl")), 0)
        self.assertEqual(self.entries(), ["Varnoquelbit.ini", "result.txt", "results.jsonl"])


class ResultLines(TempDirTest):
    """results.jsonl is appended only when it is a regular file of one link,
    under an flock whose wait is bounded; runs appending at once each keep
    their line whole."""

    def run_here(self, timeout=60):
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "wb") as f:
            f.write(b"#\n")
        return subprocess.run(COMMAND, cwd=self.dir, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout, start_new_session=True)

    def test_a_hard_link_a_fifo_and_a_device_are_not_appended_to(self):
        outside = os.path.join(self.dir, "outside")
        os.mkdir(outside)
        canary = os.path.join(outside, "canary.jsonl")
        with open(canary, "wb") as f:
            f.write(b"the user's own lines\n")
        lines = os.path.join(self.dir, "results.jsonl")
        cases = [("hard link", lambda: os.link(canary, lines),
                  "a file with 2 links, which may be someone else's"),
                 ("fifo without a reader", lambda: os.mkfifo(lines), "No such device or address"),
                 ("link to a device", lambda: os.symlink("/dev/null", lines),
                  "Too many levels of symbolic links")]
        if os.geteuid() == 0:
            cases.append(("device", lambda: os.mknod(lines, 0o666 | stat.S_IFCHR,
                                                     os.makedev(1, 3)),
                          "a device, not a regular file"))
        reader = None
        for what, make, reason in cases:
            make()
            run = self.run_here(timeout=30)
            print("\n%s: %s" % (what, run.stderr.decode()), end="")
            self.assertEqual(run.returncode, 0, what)
            self.assertEqual(run.stderr.decode(),
                             "varnoquelbit: append to 'results.jsonl': %s\n" % reason, what)
            os.remove(lines)
        # A FIFO someone reads: opened without waiting, then refused.
        os.mkfifo(lines)
        reader = os.open(lines, os.O_RDONLY | os.O_NONBLOCK)
        try:
            run = self.run_here(timeout=30)
            print("fifo with a reader: " + run.stderr.decode(), end="")
            self.assertEqual(run.stderr.decode(), "varnoquelbit: append to 'results.jsonl': "
                             "a FIFO, not a regular file\n")
            self.assertEqual(os.read(reader, 4096), b"", "nothing was written into it")
        finally:
            os.close(reader)
        with open(canary, "rb") as f:
            self.assertEqual(f.read(), b"the user's own lines\n")

    def test_runs_appending_at_once_keep_both_lines_whole(self):
        lines = os.path.join(self.dir, "results.jsonl")
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "wb") as f:
            f.write(b"#\n")
        holder = open(lines, "ab")
        fcntl.flock(holder, fcntl.LOCK_EX)
        runs = [subprocess.Popen(COMMAND, cwd=self.dir, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                for _ in range(2)]
        time.sleep(1)  # both wait for the lock
        self.assertEqual(os.path.getsize(lines), 0, "nothing appended while the lock is held")
        fcntl.flock(holder, fcntl.LOCK_UN)
        holder.close()
        for run in runs:
            out, err = run.communicate(timeout=60)
            self.assertEqual((run.returncode, err), (0, b""))
        with open(lines, encoding="utf-8") as f:
            records = [json.loads(line) for line in f.read().splitlines()]
        print("\nboth records whole: %d lines, each parsed" % len(records))
        self.assertEqual(len(records), 2)

    def test_a_lock_held_past_the_wait_is_told_and_nothing_appended(self):
        lines = os.path.join(self.dir, "results.jsonl")
        with open(lines, "wb") as f:
            f.write(b"{}\n")
        with open(lines, "rb") as holder:
            fcntl.flock(holder, fcntl.LOCK_SH)
            started = time.monotonic()
            run = self.run_here()
            waited = time.monotonic() - started
        print("\nlock held: %.1f s, %s" % (waited, run.stderr.decode()), end="")
        self.assertEqual(run.stderr.decode(), "varnoquelbit: append to 'results.jsonl': another "
                         "process holds its lock; nothing appended\n")
        self.assertGreaterEqual(waited, 5)
        self.assertLess(waited, 30)
        self.assertEqual(os.path.getsize(lines), 3)


class FailingOutput(TempDirTest):
    def test_standard_output_on_a_full_device_ends_with_status_1(self):
        """Every console line is lost on /dev/full: standard error says so and
        the exit status is 1; result.txt is complete."""
        with open("/dev/full", "wb") as full:
            run = run_program(self.dir, ini="HL C: 16K 2 1\n", stdin=b"", stdout=full)
        self.assertEqual(run.returncode, 1)
        self.assertRegex(run.diagnostics,
                         "^(%s)?" % (WRITE_OUT_NOTE % "C:") +
                         re.escape("varnoquelbit: write 'standard output': No space left on device\n")
                         + "$")
        lines = run.result.decode("latin-1").split("\r\n")
        self.assertRegex(lines[0], "^" + BANNER.pattern + "$")
        self.assertRegex(lines[3], r"^HL C:  16K    2File\(s\)  1Trial\(s\) : ")
        self.assertEqual(work_directories(self.dir), [])


class LinuxDriveStrings(TempDirTest):
    def test_absolute_path_and_drive_letter_subdirectory(self):
        target = os.path.join(self.dir, "target")
        sub = os.path.join(self.dir, "sub")
        os.mkdir(target)
        os.mkdir(sub)
        ini = "HL %s 16K 4 1\nLL C:\\sub 16K 4K 4 1\nHL C:\\\\ 4K 2 0\n" % target
        run = run_program(self.dir, ini=ini, stdin=b"")
        self.assertEqual(run.returncode, 0)
        self.assertIn("Disk %s Capacity: Total=" % target, run.console)
        self.assertIn("Disk C:\\sub Capacity: Total=", run.console)
        self.assertIn("Disk C:\\\\ Capacity: Total=", run.console)
        self.assertNotIn("Init Failed", run.console)
        self.assertEqual(len(trial_results(run.console)), 2, run.console)
        for d in (target, sub, self.dir):
            self.assertEqual(work_directories(d), [], d)

    def test_quoted_paths_with_blanks_and_tabs(self):
        target = os.path.join(self.dir, "USB DISK")
        sub = os.path.join(self.dir, "my\tbench")
        os.mkdir(target)
        os.mkdir(sub)
        ini = 'HL "%s" 256K 4 1\nLL\t"C:\\my\tbench"\t256K 4K 4 1\nHL "%s 4K 1 1\n' % (
            target, target)
        run = run_program(self.dir, ini=ini, stdin=b"")
        self.assertEqual(run.returncode, 0)
        # A trial of 0 ms leaves its line open: the next text may follow on it.
        self.assertIn("Disk %s Capacity: Total=" % target, run.console)
        self.assertIn("\nHL %s 256K 4File(s) 1Trial(s)\n" % target, run.console)
        self.assertIn("Disk C:\\my\tbench Capacity: Total=", run.console)
        self.assertIn("\nLL C:\\my\tbench 256K (Buffer:4K) 4File(s) 1Trial(s)\n", run.console)
        self.assertIn('ini error: HL "%s 4K 1 1\n' % target, run.console)
        self.assertEqual(len(trial_results(run.console)), 2, run.console)
        report = run.result.decode("latin-1")
        self.assertIn("Disk %s Capacity: Total=" % target, report)
        self.assertIn("HL %s 256K    4File(s)  1Trial(s) : " % target, report)
        self.assertIn("LL C:\\my\tbench 256K (Buffer:  4K)    4File(s)  1Trial(s) : ", report)
        self.assertNotIn('"', report)
        for d in (target, sub, self.dir):
            self.assertEqual(work_directories(d), [], d)


class Terminal(TempDirTest):
    """On a terminal, progress words appear as they are written, and one key
    press without Enter and without echo ends the run."""

    def read_until(self, master, text, seen, deadline=60):
        end = time.monotonic() + deadline
        while text not in seen:
            self.assertLess(time.monotonic(), end, seen)
            ready, _, _ = select.select([master], [], [], 1)
            if ready:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    chunk = b""
                self.assertTrue(chunk, "terminal closed early: %r" % seen)
                seen += chunk
                yield seen

    def test_progress_words_show_at_once_and_one_key_ends_the_run(self):
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write("HL C: 8M 16 1\n")
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        settings_before = termios.tcgetattr(slave)
        proc = subprocess.Popen(COMMAND, cwd=self.dir, stdin=slave, stdout=slave, stderr=slave,
                                start_new_session=True)
        self.addCleanup(proc.kill)

        # While the test files are still being written, "Preparing..." is already on screen.
        shown_alone = False
        seen = b""
        for seen in self.read_until(master, b"Done.", seen):
            shown_alone = shown_alone or seen.endswith(b"[Trial 0] Preparing...")
        self.assertTrue(shown_alone, seen)

        prompt = b"(To Copy the Result to the Clipboard, Press 'c'.)"
        for seen in self.read_until(master, prompt, seen):
            pass
        time.sleep(0.3)
        os.write(master, b"q")
        proc.wait(timeout=20)
        self.assertEqual(proc.returncode, 0)
        rest = b""
        while select.select([master], [], [], 0.2)[0]:
            try:
                chunk = os.read(master, 4096)
            except OSError:
                break
            if not chunk:
                break
            rest += chunk
        tail = (seen + rest).split(prompt, 1)[1]
        self.assertNotIn(b"q", tail, "the key was echoed")
        self.assertEqual(termios.tcgetattr(slave), settings_before, "terminal settings not restored")


class TerminalProgress(TempDirTest):
    """While standard error is a terminal, long phases show a transient
    indicator there; it leaves nothing behind: standard output gets the same
    bytes, and a terminal shared by both shows the same lines, as without it."""

    # 4 files of 160 MiB, 2 trials: each phase lasts long enough to be drawn.
    INI = "LL C: 160M 1M 4 2\n"
    COLUMNS = 100
    VOLUME_NOTE = re.compile(r"^varnoquelbit: 'C:' is /\S+ on \S+ \(\S+, mounted at /\S*\)$")
    # Where no mount entry holds the directory (a chroot's plain root directory).
    UNLISTED_VOLUME_NOTE = re.compile(r"^varnoquelbit: 'C:' is /\S+ on a volume not in the mount "
                                      r"table$")

    def volume_note(self):
        listed = subprocess.run(["findmnt", "-n", "--target", self.dir],
                                stdout=subprocess.DEVNULL).returncode == 0
        return self.VOLUME_NOTE if listed else self.UNLISTED_VOLUME_NOTE

    def run_on_terminal(self, shared):
        """Runs the test with standard error on a pseudo-terminal of this test
        (standard output too when shared, else a file). Returns what the
        terminal received and the standard output file's bytes (None when shared)."""
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write(self.INI)
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, self.COLUMNS, 0, 0))
        out_path = os.path.join(self.dir, "stdout.txt")
        out = slave if shared else open(out_path, "wb")
        env = dict(os.environ, TERM="xterm")
        try:
            proc = subprocess.Popen(COMMAND, cwd=self.dir, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=slave, env=env, start_new_session=True)
        finally:
            os.close(slave)
            if not shared:
                out.close()
        self.addCleanup(proc.kill)
        received = b""
        deadline = time.monotonic() + 600
        while True:
            self.assertLess(time.monotonic(), deadline, received[-400:])
            if not select.select([master], [], [], 1)[0]:
                continue
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the last holder of the terminal's other end is gone
                break
            if not chunk:
                break
            received += chunk
        self.assertEqual(proc.wait(timeout=60), 0)
        self.assertNotIn(b"\x1b", received, "only \\r, \\b and blanks draw the indicator")
        if shared:
            return received, None
        with open(out_path, "rb") as f:
            return received, f.read()

    def run_on_pipes(self):
        run = run_program(self.dir, ini=self.INI)
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.diagnostics, "", "nothing on standard error when it is a pipe")
        return run.console

    @staticmethod
    def screen(received, columns):
        """The lines a terminal of `columns` shows after `received`, as it
        handles the only controls the program writes: CR, LF and backspace."""
        rows = [[]]
        row = col = 0
        for ch in received.decode("latin-1"):
            if ch == "\r":
                col = 0
            elif ch == "\n":
                row += 1
            elif ch == "\b":
                col = max(0, col - 1)
            else:
                if col >= columns:  # the terminal wraps
                    row, col = row + 1, 0
                while len(rows) <= row:
                    rows.append([])
                line = rows[row]
                line.extend(" " * (col + 1 - len(line)))
                line[col] = ch
                col += 1
            while len(rows) <= row:
                rows.append([])
        lines = ["".join(r).rstrip() for r in rows]
        while lines and not lines[-1]:
            lines.pop()
        return lines

    @staticmethod
    def masked(lines):
        # Timings and free space differ from run to run; the text around them may not.
        return [re.sub(r"\d+", "9", line) for line in lines]

    def check_progress_shown(self, received):
        # Each phase of these trials takes about a second here; the copy phase,
        # the longest, always outlasts the half second before the first drawing.
        self.assertRegex(received, rb"copying [^\r\n\b]*%; trial [12] of 2")

    def test_standard_output_elsewhere_gets_the_same_bytes(self):
        received, stdout = self.run_on_terminal(shared=False)
        self.check_progress_shown(received)
        self.assertNotIn(b"\b", received, "its own line is erased with \\r and blanks")
        self.assertNotIn(b"\r", stdout)
        # Once the indicator is gone, the terminal shows the one note naming the volume.
        screen = self.screen(received, self.COLUMNS)
        self.assertEqual(len(screen), 1, screen)
        self.assertRegex(screen[0], self.volume_note())
        console = self.run_on_pipes()
        self.assertEqual(self.masked(stdout.decode("latin-1").split("\n")),
                         self.masked(console.split("\n")))

    def test_a_shared_terminal_shows_todays_lines(self):
        received, _ = self.run_on_terminal(shared=True)
        self.check_progress_shown(received)
        self.assertIn(b"Testing... copying ", received, "the indicator continues the console's line")
        screen = self.screen(received, self.COLUMNS)
        console = self.run_on_pipes().rstrip("\n").split("\n")
        disk = next(i for i, line in enumerate(console) if line.startswith("Disk C: "))
        self.assertRegex(screen[disk + 1], self.volume_note())
        del screen[disk + 1]
        self.assertEqual(self.masked(screen), self.masked(console))

    def test_a_stopped_terminal_holds_up_the_indicator_never_the_copy(self):
        """Output stopped on standard error's terminal (XOFF, as Ctrl-S does):
        the indicator's writes wait there, the trial goes on, and its result
        reaches standard output (a pipe) while the terminal is still stopped."""
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write("LL C: 160M 1M 4 1\n")
        proc, master, slave = start_with_stderr_on_a_terminal(self.dir, self.COLUMNS,
                                                              subprocess.PIPE)
        self.addCleanup(os.close, master)
        self.addCleanup(close_quietly, slave)
        self.addCleanup(proc.kill)
        # The note naming the volume is the run's last text on the terminal
        # before its trials; once it is there, the terminal stops.
        received = b""
        deadline = time.monotonic() + 60
        while not re.search(rb"varnoquelbit: 'C:' is [^\n]*\n", received):
            self.assertLess(time.monotonic(), deadline, received)
            if select.select([master], [], [], 1)[0]:
                received += os.read(master, 65536)
        termios.tcflow(slave, termios.TCOOFF)
        out = b""
        deadline = time.monotonic() + 180
        while not re.search(rb"  Result: [^\n]*\n", out):
            self.assertLess(time.monotonic(), deadline, out)
            if select.select([proc.stdout], [], [], 1)[0]:
                chunk = os.read(proc.stdout.fileno(), 65536)
                self.assertTrue(chunk, "the program ended early: %r" % out)
                out += chunk
        self.assertEqual(select.select([master], [], [], 0)[0], [],
                         "the terminal got text while stopped")
        termios.tcflow(slave, termios.TCOON)
        os.close(slave)
        rest = read_terminal_to_its_end(self, master)
        out += proc.stdout.read()
        proc.stdout.close()
        self.assertEqual(proc.wait(timeout=60), 0)
        # The indicator had drawn a phase and waited on the stopped terminal.
        self.assertRegex(rest, rb"(preparing|copying|reading back) [^\r\n\b]*MB/s")
        self.assertIn(b"[Trial 0] Preparing... Testing... Done.  Result: ", out)


class NamedPipe(TempDirTest):
    """The configuration may be a pipe fed by another program: each test runs
    as soon as its line has arrived."""

    def test_first_test_runs_before_the_second_line_is_written(self):
        fifo = os.path.join(self.dir, "Varnoquelbit.ini")
        os.mkfifo(fifo)
        proc = subprocess.Popen(COMMAND, cwd=self.dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, start_new_session=True)
        self.addCleanup(proc.kill)
        writer = open(fifo, "wb", buffering=0)
        writer.write(b"HL C: 16K 4 1\n")
        # The header is flushed with its line end once the test has started;
        # the trial's own words may stay buffered in the pipe until later.
        header = b"HL C: 16K 4File(s) 1Trial(s)\n"
        seen = b""
        deadline = time.monotonic() + 60
        while header not in seen:
            self.assertLess(time.monotonic(), deadline, seen)
            ready, _, _ = select.select([proc.stdout], [], [], 1)
            if ready:
                chunk = os.read(proc.stdout.fileno(), 4096)
                self.assertTrue(chunk, "program ended early: %r" % seen)
                seen += chunk
        self.assertIn(b"HL C: 16K 4File(s) 1Trial(s)\n", seen)
        self.assertNotIn(b"LL", seen)
        writer.write(b"LL C: 16K 4K 4 1\n")
        writer.close()
        rest, _ = proc.communicate(timeout=60)
        console = (seen + rest).decode()
        self.assertEqual(proc.returncode, 0)
        # A trial of 0 ms leaves its line open, and the header follows on it.
        self.assertIn("LL C: 16K (Buffer:4K) 4File(s) 1Trial(s)\n", console)
        self.assertLess(console.index("[Trial 0]"), console.index("LL C: 16K"),
                        "the first test's trial ran before the second test")
        self.assertTrue(console.endswith(PROMPT))
        self.assertEqual(work_directories(self.dir), [])


class ClosedOutput(TempDirTest):
    def test_a_reader_that_goes_away_does_not_end_the_run(self):
        """The console's reader closes its end first: every console write
        fails, the run goes on, writes result.txt and exits with 0."""
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write("HL C: 64K 8 2\n")
        proc = subprocess.Popen(COMMAND, cwd=self.dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                start_new_session=True)
        self.addCleanup(proc.kill)
        proc.stdout.close()
        self.assertEqual(proc.wait(timeout=120), 0)
        self.assertEqual(proc.stderr.read(), b"", "a reader that went away is no failure")
        proc.stderr.close()
        with open(os.path.join(self.dir, "result.txt"), "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        self.assertRegex(lines[0], "^" + BANNER.pattern + "$")
        self.assertEqual(lines[1], "OS: Unknown")
        self.assertRegex(lines[2], r"^Disk C: Capacity: Total=\d+\.\d{3}\[GB\] Free=\d+\.\d{3}\[GB\]$")
        self.assertRegex(lines[3], r"^HL C:  64K    8File\(s\)  2Trial\(s\) : "
                                   r"Average: *\d+\.\d{3}\[MB/s\] \( *\d+\.\d{3}\[sec\]\)$")
        self.assertEqual(lines[4:], [""])
        self.assertEqual(work_directories(self.dir), [])


def as_in_the_foreground():
    """A program started in the background by a shell without job control
    inherits SIGINT ignored, and keeps it so; these runs stand for one
    started in the foreground, whatever started the tests."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)


class Interruption(TempDirTest):
    """SIGINT stops the run at the next transfer or file boundary: the work
    directory of the trial in progress is removed, an earlier result.txt,
    result.json and results.jsonl are left as they were, and the run exits
    with 130."""

    EARLIER = b"an earlier run's result\r\n"

    def start(self, ini):
        for name in ("result.txt", "result.json", "results.jsonl"):
            with open(os.path.join(self.dir, name), "wb") as f:
                f.write(self.EARLIER)
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write(ini)
        proc = subprocess.Popen(COMMAND, cwd=self.dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                preexec_fn=as_in_the_foreground, start_new_session=True)
        self.addCleanup(proc.kill)
        return proc

    def size_of(self, name):
        """Size of a file in the work directory, or -1 while there is none."""
        for work in work_directories(self.dir):
            try:
                return os.path.getsize(os.path.join(self.dir, work, name))
            except OSError:
                pass
        return -1

    def interrupt_when(self, proc, ready, what):
        deadline = time.monotonic() + 120
        while not ready():
            self.assertIsNone(proc.poll(), "the run ended before " + what)
            self.assertLess(time.monotonic(), deadline, "never reached: " + what)
            time.sleep(0.002)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, 130, out)
        self.assertRegex(err.decode(), r"^varnoquelbit: interrupted; removed \./Varnoquelbit\d+\n$")
        self.assertEqual(work_directories(self.dir), [])
        for name in ("result.txt", "result.json", "results.jsonl"):
            with open(os.path.join(self.dir, name), "rb") as f:
                self.assertEqual(f.read(), self.EARLIER, name)
        return out.decode()

    def test_in_the_middle_of_a_large_ll_copy(self):
        proc = self.start("LL C: 64M 1M 4 3\n")
        out = self.interrupt_when(proc, lambda: self.size_of("copy0.dat") > 0, "the timed copy")
        self.assertTrue(out.endswith("\nLL C: 64M (Buffer:1M) 4File(s) 3Trial(s)\n"
                                     "[Trial 0] Preparing... Testing...\n"), out)

    def test_in_the_middle_of_the_preparation(self):
        proc = self.start("HL C: 64M 8 1\nHL C: 4K 1 1\n")
        out = self.interrupt_when(proc, lambda: self.size_of("test0.dat") > 0, "the test files")
        self.assertTrue(out.endswith("\nHL C: 64M 8File(s) 1Trial(s)\n[Trial 0] Preparing...\n"),
                        out)

    def test_at_the_prompt_on_a_terminal(self):
        """The key read has switched the terminal to single keys without echo;
        the interrupted run puts it back."""
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write("#\n")
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)

        def settings():
            return subprocess.run(["stty", "-g"], stdin=slave, stdout=subprocess.PIPE,
                                  check=True).stdout

        before = settings()
        proc = subprocess.Popen(COMMAND, cwd=self.dir, stdin=slave, stdout=slave, stderr=slave,
                                start_new_session=True, preexec_fn=as_in_the_foreground)
        self.addCleanup(proc.kill)
        deadline = time.monotonic() + 60
        while termios.tcgetattr(slave)[3] & termios.ECHO:
            self.assertIsNone(proc.poll(), "the run ended without waiting for a key")
            self.assertLess(time.monotonic(), deadline, "echo never switched off")
            time.sleep(0.01)
        proc.send_signal(signal.SIGINT)
        self.assertEqual(proc.wait(timeout=20), 130)
        self.assertEqual(settings(), before)


class IgnoredArguments(TempDirTest):
    """What a dd user types first, `varnoquelbit /media/me/stick`, runs the
    built-in test on the current directory: standard error says so before the
    banner, so the run can be stopped before it writes a file."""

    def test_the_note_comes_before_the_banner_and_names_the_built_in_test(self):
        proc = subprocess.Popen(COMMAND + ["/media/me/stick", b"a\x1b[2J\xff\xc2\x85b"],
                                cwd=self.dir, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, preexec_fn=as_in_the_foreground,
                                start_new_session=True)
        self.addCleanup(proc.kill)
        seen = b""
        deadline = time.monotonic() + 120
        while b"[Trial 0] Preparing..." not in seen:
            self.assertLess(time.monotonic(), deadline, seen)
            chunk = os.read(proc.stdout.fileno(), 65536)
            self.assertTrue(chunk, "the run ended early: %r" % seen)
            seen += chunk
        proc.send_signal(signal.SIGINT)
        rest, _ = proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, 130)
        lines = (seen + rest).decode("latin-1").split("\n")
        self.assertEqual(lines[0],
                         "varnoquelbit: ignored arguments '/media/me/stick' 'a\\x1B[2J\\xFF"
                         "\\x85b': the tests come from the built-in test on '%s'; a folder "
                         "to measure is named in Varnoquelbit.ini (see --help)"
                         % os.path.realpath(self.dir))
        self.assertRegex(lines[1], "^" + BANNER.pattern + "$")
        self.assertEqual(lines[3], "Varnoquelbit.ini NOT Found.")
        self.assertRegex(lines[4], r"^Disk C: Capacity: Total=")
        self.assertEqual(work_directories(self.dir), [])
        self.assertFalse(os.path.exists(os.path.join(self.dir, "result.txt")))


class MeasuredVolumes(TempDirTest):
    """Figures measure data that moves on the medium: on volumes that can
    share blocks, HL copies every byte like LL does; LL tests whose copies
    went through the page cache, and tests on a volume whose driver caches
    below the program, say so once on standard error, leaving the console
    text as it is; HL copies that reach a slow medium long after the clock
    stopped are told with the speed that counts their way there."""

    def setUp(self):
        if not COMMAND:
            skip_or_fail(self, "VARNO_COMMAND is not set")
        if os.geteuid() != 0:
            skip_or_fail(self, "mounting a volume needs root")
        super().setUp()

    def mount(self, name, arguments):
        path = os.path.join(self.dir, name)
        os.mkdir(path)
        done = subprocess.run(["mount"] + arguments + [path], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
        if done.returncode != 0:
            skip_or_fail(self, "mount %s: %s" % (" ".join(arguments), done.stdout.decode()))
        self.addCleanup(subprocess.run, ["umount", path], check=True)
        return path

    def mount_image(self, name, mkfs):
        image = os.path.join(self.dir, name + ".img")
        with open(image, "wb") as f:
            f.truncate(512 << 20)  # sparse; room for 4 files of 32 MiB and their copies
        done = subprocess.run(mkfs + [image], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            skip_or_fail(self, "%s: %s" % (mkfs[0], done.stdout.decode()))
        return self.mount(name, ["-o", "loop", image])

    def serve_fuse(self, script, arguments, name):
        """Mounts a Python FUSE file system at a new directory until the test ends."""
        mnt = os.path.join(self.dir, name)
        os.mkdir(mnt)
        serve_fuse(self, script, arguments, mnt)
        return mnt

    def run_with_errors(self, ini):
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write(ini)
        proc = subprocess.run(COMMAND, cwd=self.dir, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600,
                              start_new_session=True)
        return Run(self.dir, proc.stdout, proc.returncode), proc.stderr.decode()

    def test_hl_figures_are_of_the_same_order_as_ll_where_blocks_can_be_shared(self):
        for name, mkfs in (("xfs", ["mkfs.xfs", "-q", "-f", "-m", "reflink=1"]),
                           ("btrfs", ["mkfs.btrfs", "-q", "-f"])):
            vol = self.mount_image(name, mkfs)
            run, errors = self.run_with_errors("HL %s 32M 4 2\nLL %s 32M 1M 4 2\n" % (vol, vol))
            self.assertEqual(run.returncode, 0)
            averages = [float(m.group(1)) for m in AVERAGE.finditer(run.console)]
            self.assertEqual(len(averages), 2, run.console)
            hl, ll = averages
            # A clone of the files "copies" them in a millisecond or two: a
            # thousand times the volume's speed.
            self.assertLess(hl, 20 * ll, "%s: %s" % (name, run.console))
            self.assertGreater(hl, ll / 20, "%s: %s" % (name, run.console))
            # Nothing but, where the write-out to the loop device's image took
            # more than half the copy, the note that tells it.
            self.assertRegex(errors, "^(%s)?$" % (WRITE_OUT_NOTE % re.escape(vol)), name)
            self.assertEqual(work_directories(vol), [], name)

    def assert_console_of_tests(self, console, vol, tests):
        """The console text is exactly what it always was: the banner, the
        disk line, and for each (header, trial count) the header, its trials
        and their average; nothing else."""
        trial = (r"\[Trial \d\] Preparing\.\.\. Testing\.\.\. Done\."
                 r"(  Result: +\S+\[MB/s\] \(\S+\[sec\]\)\n)?")
        average = r"Average: *\S+\[MB/s\] \( *\S+\[sec\]\)\n"
        expected = (BANNER.pattern + r"\nOS: .*\nDisk " + re.escape(vol) +
                    r" Capacity: Total=\S+\[GB\] Free=\S+\[GB\]\n")
        for header, trials in tests:
            expected += re.escape(header + "\n") + "(%s){%d}%s" % (trial, trials, average)
        self.assertRegex(console, "^" + expected + re.escape(PROMPT) + "$")

    def test_tests_on_a_fuse_volume_say_once_each_that_its_driver_caches(self):
        backing = os.path.join(self.dir, "backing")
        os.mkdir(backing)
        # No file is named so: every read passes through as it is.
        vol = self.serve_fuse(LYING_FS, [backing, "no-such-name", "0"], "fuse")
        run, errors = self.run_with_errors("LL %s 1M 64K 4 2\nHL %s 1M 4 1\n" % (vol, vol))
        self.assertEqual(run.returncode, 0)
        self.assertEqual(errors, user_space_note(vol) * 2)
        self.assert_console_of_tests(run.console, vol, [
            ("LL %s 1M (Buffer:64K) 4File(s) 2Trial(s)" % vol, 2),
            ("HL %s 1M 4File(s) 1Trial(s)" % vol, 1)])
        with open(os.path.join(self.dir, "result.json"), encoding="utf-8") as f:
            notes = [test["cache_note"] for test in json.load(f)["tests"]]
        self.assertEqual(notes, [{"reason": "user_space_driver",
                                  "text": user_space_note(vol).rstrip("\n")}] * 2)
        self.assertEqual(os.listdir(backing), [])

    def mount_slow_medium(self, read_mb_s, write_mb_s):
        """A USB stick as it were: ext4 on a loop device over an image that a
        FUSE file system reads and writes at the given rates."""
        image = os.path.join(self.dir, "medium.img")
        with open(image, "wb") as f:
            f.truncate(128 << 20)
        done = subprocess.run(["mkfs.ext4", "-q", "-F", image], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)
        if done.returncode != 0:
            skip_or_fail(self, "mkfs.ext4: %s" % done.stdout.decode())
        medium = self.serve_fuse(SLOW_MEDIUM_FS, [image, str(read_mb_s), str(write_mb_s)],
                                 "medium")
        done = subprocess.run(["losetup", "-f", "--show", os.path.join(medium, "medium")],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            skip_or_fail(self, "losetup: %s" % done.stdout.decode())
        device = done.stdout.decode().strip()
        self.addCleanup(subprocess.run, ["losetup", "-d", device], check=True)
        return self.mount("stick", [device])

    def test_hl_copies_that_reach_a_slow_medium_late_are_told_with_their_speed(self):
        # Read at 40 MB/s, written at 15 MB/s.
        vol = self.mount_slow_medium(40, 15)

        run, errors = self.run_with_errors("HL %s 8M 4 1\n" % vol)
        self.assertEqual(run.returncode, 0)
        self.assert_console_of_tests(run.console, vol, [("HL %s 8M 4File(s) 1Trial(s)" % vol, 1)])
        (_, _, seconds), = trial_results(run.console)
        note = re.fullmatch((WRITE_OUT_NOTE % re.escape(vol)).replace(r"\d+\.\d{3}",
                                                                       r"(\d+\.\d{3})"), errors)
        self.assertIsNotNone(note, errors)
        late, speed = float(note.group(1)), float(note.group(2))
        self.assertGreater(late, float(seconds) / 2)
        # Both times are whole milliseconds: the speed is 32 MB over their sum.
        self.assertAlmostEqual(speed, 32 / (float(seconds) + late), delta=0.0006)
        # Counting the write-out, no copy beats the medium's write rate.
        self.assertLess(speed, 15)
        with open(os.path.join(self.dir, "result.json"), encoding="utf-8") as f:
            test, = json.load(f)["tests"]
        self.assertEqual(test["cache_note"],
                         {"reason": "write_out_after_clock", "text": errors.rstrip("\n")})
        self.assertEqual(test["trials"][0]["write_out_ms"], round(late * 1000))
        self.assertEqual(work_directories(vol), [])

    def test_the_indicator_shows_a_rate_in_every_phase_at_40_and_100_columns(self):
        """On a slow medium every phase lasts long enough to be drawn: HL's
        preparing, writing out and reading back, LL's copying. Whatever the
        terminal's width, each phase shows how fast it goes."""
        # Reads at 20 MB/s: the 16 MB read back takes 0.8 s, past the first
        # drawing's half second with room to spare.
        vol = self.mount_slow_medium(20, 15)
        ini = "HL %s 4M 4 1\nLL %s 4M 1M 4 1\n" % (vol, vol)
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write(ini)
        rate = rb"\d+\.\d MB/s"
        for columns in (40, 100):
            out_path = os.path.join(self.dir, "stdout.txt")
            with open(out_path, "wb") as out:
                proc, master, slave = start_with_stderr_on_a_terminal(self.dir, columns, out)
            os.close(slave)
            self.addCleanup(proc.kill)
            try:
                received = read_terminal_to_its_end(self, master)
            finally:
                os.close(master)
            self.assertEqual(proc.wait(timeout=60), 0)
            drawings = [d for d in re.split(rb"[\r\n]", received) if d.strip()]
            for phase in (b"preparing", b"copying", b"writing out", b"reading back"):
                shown = [d for d in drawings if d.startswith(phase + b" ")]
                self.assertTrue(shown, "%d columns: no %r in %r" % (columns, phase, drawings))
                for drawing in shown:
                    self.assertRegex(drawing, rate, columns)
                    self.assertLess(len(drawing.rstrip()), columns, drawing)

    def test_a_note_after_a_0_ms_trial_waits_for_the_consoles_line_end(self):
        """A trial faster than the clock leaves its line open, and the next
        test's header continues it; the LL test's note on a tmpfs comes after
        that line has ended, on a terminal shared with standard output too."""
        vol = self.mount("tmpfs", ["-t", "tmpfs", "-o", "size=16m", "tmpfs"])
        ini = "LL %s 4K 4K 1 2\nHL %s 4K 1 1\n" % (vol, vol)
        with open(os.path.join(self.dir, "Varnoquelbit.ini"), "w") as f:
            f.write(ini)
        proc, master, slave = start_with_stderr_on_a_terminal(self.dir, 200, None)
        os.close(slave)
        self.addCleanup(proc.kill)
        try:
            received = read_terminal_to_its_end(self, master)
        finally:
            os.close(master)
        self.assertEqual(proc.wait(timeout=60), 0)
        lines = received.decode("latin-1").replace("\r\n", "\n").split("\n")
        notes = [line for line in lines if line.startswith("varnoquelbit: ")]
        self.assertIn("varnoquelbit: no direct I/O for 4 KiB transfers on '%s': this test's "
                      "figures include the page cache" % vol, notes)
        run, _ = self.run_with_errors(ini)
        # Without its notes the terminal shows the console's lines as they are.
        console = run.console.split("\n")
        shown = [line for line in lines if not line.startswith("varnoquelbit: ")]
        masked = lambda text: [re.sub(r"\d+(\.\d+)?", "9", line) for line in text]
        self.assertEqual(masked(shown), masked(console))

    def test_ll_tests_on_a_tmpfs_say_once_that_their_figures_include_the_page_cache(self):
        vol = self.mount("tmpfs", ["-t", "tmpfs", "-o", "size=16m", "tmpfs"])
        ini = "LL %s 1M 3K 4 3\nHL %s 1M 4 2\nLL %s 1M 64K 4 2\n" % (vol, vol, vol)
        run, errors = self.run_with_errors(ini)
        self.assertEqual(run.returncode, 0)
        note = ("varnoquelbit: no direct I/O for %d KiB transfers on '" + vol +
                "': this test's figures include the page cache\n")
        self.assertEqual(errors, note % 3 + note % 64)
        self.assert_console_of_tests(run.console, vol, [
            ("LL %s 1M (Buffer:3K) 4File(s) 3Trial(s)" % vol, 3),
            ("HL %s 1M 4File(s) 2Trial(s)" % vol, 2),
            ("LL %s 1M (Buffer:64K) 4File(s) 2Trial(s)" % vol, 2)])
        self.assertEqual(work_directories(vol), [])


    def test_the_record_of_three_tests_on_a_tmpfs_one_stopped_at_its_size(self):
        """result.json and results.jsonl beside result.txt: the whole run, as
        the schema says, with the figures as printed."""
        vol = self.mount("tmpfs", ["-t", "tmpfs", "-o", "size=16m", "tmpfs"])
        lines = ["HL %s 1M 4 2" % vol, "HL %s 1Q 4 2" % vol, "LL %s 1M 64K 4 2" % vol]
        records = []
        for _ in range(2):
            run, _ = self.run_with_errors("\n".join(lines) + "\n")
            self.assertEqual(run.returncode, 0, run.console)
            path = os.path.join(self.dir, "result.json")
            self.assertIsNone(schema_errors(path))
            with open(path, encoding="utf-8") as f:
                record = json.load(f)
            records.append(record)

            self.assertEqual([t["line"] for t in record["tests"]], lines)
            self.assertEqual([t["outcome"] for t in record["tests"]], ["ran", "stopped", "ran"])
            stopped = record["tests"][1]
            self.assertEqual((stopped["stopped_at"], stopped["console_text"]),
                             ("size", "Size Type Must Be 'K' or 'M' or 'G'."))
            self.assertIn(stopped["console_text"] + "\n", run.console)
            # Every speed and time the console printed, in order, as the record keeps them.
            printed = [(speed.strip(), secs.strip()) for _, speed, secs in trial_results(run.console)
                       if speed is not None]
            printed_averages = [(m.group(1).strip(), m.group(2).strip())
                                for m in AVERAGE.finditer(run.console)]
            kept = [(t["mb_per_s_text"], t["seconds_text"]) for test in record["tests"]
                    for t in test["trials"] if t["outcome"] == "done"]
            kept_averages = [(t["average"]["mb_per_s_text"], t["average"]["seconds_text"])
                             for t in record["tests"] if t["average"]]
            self.assertEqual(kept, printed)
            self.assertEqual(kept_averages, printed_averages)
            self.assertEqual(len(kept_averages), 2)
            for test in record["tests"]:
                self.assertEqual(test["volume"]["fs_type"], "tmpfs")
                self.assertEqual(test["volume"]["mount_point"], vol)
            self.assertEqual(record["system"]["kernel"]["release"], os.uname().release)
            self.assertEqual(record["tests"][2]["cache_note"]["reason"], "no_direct_io")
            # The write-out after the clock is measured on Linux for every trial that got there.
            for test in record["tests"]:
                for trial in test["trials"]:
                    self.assertIsInstance(trial["write_out_ms"], int)

        # One line a run, each the run's record.
        with open(os.path.join(self.dir, "results.jsonl"), encoding="utf-8") as f:
            self.assertEqual([json.loads(line) for line in f], records)


if __name__ == "__main__":
    unittest.main()
