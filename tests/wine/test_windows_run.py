#!/usr/bin/python3
"""Whole runs of the Windows program under wine.

Environment:
  VARNO_WINE            wine loader (default /usr/lib/wine/wine, the 32-bit one;
                        tests/wine/wine32.sh sets it and runs this file)
  WINESERVER            wine's server (default: wineserver beside the loader)
  VARNO_EXE             varnoquelbit.exe (default build-win32/varnoquelbit.exe)
  VARNO_CLIPBOARD_TOOL  the clipboard_text.exe helper (default build-win32/tests/clipboard_text.exe)
  WINEPREFIX            the wine prefix to use; without it a fresh one is made
                        in a temporary directory and removed afterwards.
Drive C: is the prefix's drive_c; the program's current directory is a
temporary directory of the host, which wine shows on drive Z:.
"""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE = os.environ.get("VARNO_WINE", "/usr/lib/wine/wine")
EXE = os.environ.get("VARNO_EXE", os.path.join(REPO, "build-win32", "varnoquelbit.exe"))
CLIPBOARD_TOOL = os.environ.get(
    "VARNO_CLIPBOARD_TOOL", os.path.join(REPO, "build-win32", "tests", "clipboard_text.exe"))
WINESERVER = os.environ.get("WINESERVER", os.path.join(os.path.dirname(WINE), "wineserver"))
RUN_TIMEOUT = 600

WEEKDAYS = "Sun|Mon|Tue|Wed|Thu|Fri|Sat"
MONTHS = "Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec"
BANNER = re.compile(r"Varnoquelbit Build: \[(%s) (%s) [ 0-3]\d \d\d:\d\d:\d\d \d{4}\]" % (WEEKDAYS, MONTHS))
PROMPT = ["Press Any Key to Finish.", "(To Copy the Result to the Clipboard, Press 'c'.)"]

_own_prefix = None


def setUpModule():
    global _own_prefix
    if not os.path.exists(WINE) or not os.path.exists(EXE):
        reason = "needs %s and %s" % (WINE, EXE)
        if os.environ.get("CI") == "true":
            raise RuntimeError(reason)
        raise unittest.SkipTest(reason)
    if "WINEPREFIX" not in os.environ:
        _own_prefix = tempfile.mkdtemp(prefix="varno-wine-")
        os.environ["WINEPREFIX"] = _own_prefix
    os.environ["WINEDEBUG"] = "-all"
    os.environ.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    # One wine session for all runs. Its desktop process, which keeps the
    # clipboard after the program that filled it has ended, inherits the
    # standard handles of the session's first program: started from a pipe
    # that is later closed, it dies and the clipboard goes with it.
    subprocess.run([WINESERVER, "-p"], timeout=60, check=False)
    subprocess.run([WINE, "wineboot"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300, check=False)


def tearDownModule():
    subprocess.run([WINESERVER, "-k"], timeout=60, check=False)
    if _own_prefix is not None:
        shutil.rmtree(_own_prefix, ignore_errors=True)


def free_gib(path):
    fs = os.statvfs(path)
    return fs.f_bavail * fs.f_frsize / 2**30


def drive_c():
    return os.path.join(os.environ["WINEPREFIX"], "drive_c")


def wine(args, cwd=None, stdin=b"", close_stdin=False, timeout=RUN_TIMEOUT):
    """Runs a Windows program; returns its exit code and standard output bytes."""
    kwargs = {}
    if close_stdin:
        kwargs["preexec_fn"] = lambda: os.close(0)
        kwargs["stdin"] = None
    elif stdin is None:
        kwargs["stdin"] = subprocess.DEVNULL
    else:
        kwargs["input"] = stdin
    done = subprocess.run([WINE] + args, cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, **kwargs)
    return done.returncode, done.stdout


def set_windows_version(version):
    """Sets the Windows version wine reports; None returns to wine's default."""
    if version is None:
        args = ["reg", "delete", r"HKCU\Software\Wine", "/v", "Version", "/f"]
    else:
        args = ["reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/d", version, "/f"]
    code, _ = wine(args, timeout=120)
    if version is not None and code != 0:
        raise AssertionError("reg add of version %s failed with %d" % (version, code))


def work_directories():
    return sorted(glob.glob(os.path.join(drive_c(), "Varnoquelbit*")))


def lines_of(data):
    """Splits CR LF text into lines; the text must end with CR LF."""
    text = data.decode("latin-1")
    assert text.endswith("\r\n"), repr(text[-40:])
    return text[:-2].split("\r\n")


def close(actual, expected, relative=2e-5):
    return abs(actual - expected) <= relative * abs(expected)


class ProgramRun(unittest.TestCase):
    """A temporary current directory per test, with the program run in it."""

    def setUp(self):
        self.cwd = tempfile.mkdtemp(prefix="varno-run-")
        self.leftovers_before = work_directories()

    def tearDown(self):
        shutil.rmtree(self.cwd, ignore_errors=True)

    def write_ini(self, text):
        with open(os.path.join(self.cwd, "Varnoquelbit.ini"), "wb") as ini:
            ini.write(text.encode("latin-1"))

    def run_program(self, **kwargs):
        code, out = wine([EXE], cwd=self.cwd, **kwargs)
        self.assertEqual(code, 0, out.decode("latin-1")[-2000:])
        self.assertNotIn(b"\r\r", out, "console line ends are CR LF once")
        return out

    def result_bytes(self):
        with open(os.path.join(self.cwd, "result.txt"), "rb") as result:
            return result.read()

    def assert_no_work_directory_left(self):
        self.assertEqual(work_directories(), self.leftovers_before)

    def result_record(self):
        """result.json, validated against docs/result.schema.json with Debian's
        jsonschema (a Linux Python reads the file wine's program wrote)."""
        path = os.path.join(self.cwd, "result.json")
        schema = os.path.join(REPO, "docs", "result.schema.json")
        check = ("import json, sys, jsonschema\n"
                 "jsonschema.validate(json.load(open(sys.argv[1], encoding='utf-8')),"
                 " json.load(open(sys.argv[2])))\n")
        done = subprocess.run(["/usr/bin/python3", "-c", check, path, schema],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(done.returncode, 0, done.stdout.decode(errors="replace"))
        with open(path, encoding="utf-8") as f:
            return json.load(f)

    def assert_report_file(self, expected_lines):
        data = self.result_bytes()
        self.assertNotIn(b"\r\r\n", data)
        self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "every line ends in CR LF")
        self.assertEqual(lines_of(data), expected_lines)
        return data


def prefix_is_64bit():
    """A 64-bit prefix runs 32-bit programs as 64-bit Windows does (WOW64);
    only it has the directory of their system files."""
    windows = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows")
    if not os.path.isdir(os.path.join(windows, "system32")):
        raise AssertionError("no prefix at " + os.environ["WINEPREFIX"])
    return os.path.isdir(os.path.join(windows, "syswow64"))


def skip_unless_ci(reason):
    if os.environ.get("CI") == "true":
        raise AssertionError("CI=true, cannot skip: " + reason)
    raise unittest.SkipTest(reason)


class OsLine(ProgramRun):
    """The OS line follows the version wine reports; the system is 64-bit in a
    64-bit prefix, whatever the program's own width."""

    def tearDown(self):
        set_windows_version(None)
        super().tearDown()

    def test_names_follow_the_reported_version(self):
        wide = prefix_is_64bit()
        cases = [
            ("winxp", "Windows XP (32bit)"),  # 5.1
            ("win2k", "Windows 2000"),        # 5.0
            ("vista", "Windows Vista (64bit)" if wide else "Windows Vista (32bit)"),  # 6.0
            ("win7", "Unknown"),              # 6.1
            ("win10", "Unknown"),             # 10.0
        ]
        if wide:
            cases.append(("winxp64", "Windows XP (64bit)"))  # 5.2
        self.write_ini("# no tests\r\n")
        for version, name in cases:
            with self.subTest(version=version):
                set_windows_version(version)
                out = lines_of(self.run_program(stdin=None))
                self.assertRegex(out[0], BANNER)
                self.assertEqual(out[1:], ["OS: " + name] + PROMPT)
                self.assert_report_file([out[0], "OS: " + name])


class DefaultRun(ProgramRun):
    """Without Varnoquelbit.ini: the built-in HL test on C: in the default number format."""

    TRIAL = re.compile(r"\[Trial (\d+)\] Preparing\.\.\. Testing\.\.\. Done\."
                       r"(?:  Result: (.{7,})\[MB/s\] \((\S+)\[sec\]\)\r\n)?")
    AVERAGE = re.compile(r"Average:(.{7,})\[MB/s\] \((.{7,})\[sec\]\)\r\n")
    DISK = re.compile(r"Disk C: Capacity: Total=(\S+)\[GB\] Free=(\S+)\[GB\]")

    def assert_general_format(self, text):
        """Six significant digits at most, no trailing zeros after the point."""
        self.assertRegex(text, r"^\d+(\.\d*[1-9])?$")
        self.assertLessEqual(len(text.replace(".", "").lstrip("0")), 6, text)

    def assert_width(self, field, width):
        """Right-aligned in at least `width` characters, padded with blanks."""
        value = field.lstrip(" ")
        self.assertEqual(len(field), max(width, len(value)), repr(field))

    def test_default_test_runs_and_reports(self):
        # Other work on the machine may fill or free the volume while the
        # program runs: its free figure must lie between the readings taken
        # before and after the run (with 1 GB of slack).
        free_before = free_gib(drive_c())
        out = self.run_program(stdin=None)
        free_after = free_gib(drive_c())
        text = out.decode("latin-1")
        lines = lines_of(out)
        self.assertRegex(lines[0], BANNER)
        self.assertTrue(lines[1].startswith("OS: "), lines[1])
        self.assertEqual(lines[2], "Varnoquelbit.ini NOT Found.")
        disk = self.DISK.fullmatch(lines[3])
        self.assertIsNotNone(disk, lines[3])
        self.assertEqual(lines[4], "HL C: 4K 1000File(s) 5Trial(s)")
        self.assertEqual(lines[-2:], PROMPT)

        # The disk figures are those of the file system that holds drive_c.
        total_gb, free_gb = (float(disk.group(1)), float(disk.group(2)))
        self.assert_general_format(disk.group(1))
        self.assert_general_format(disk.group(2))
        fs = os.statvfs(drive_c())
        self.assertTrue(close(total_gb, fs.f_blocks * fs.f_frsize / 2**30, 0.01), total_gb)
        self.assertLessEqual(free_gb, total_gb)
        self.assertGreater(free_gb, min(free_before, free_after) - 1.0, free_gb)
        self.assertLess(free_gb, max(free_before, free_after) + 1.0, free_gb)

        # Trials: each line either ends with its result, or (0 ms) runs on.
        start = text.index("5Trial(s)\r\n") + len("5Trial(s)\r\n")
        position = start
        seconds = []
        for expected in range(5):
            trial = self.TRIAL.match(text, position)
            self.assertIsNotNone(trial, text[position:position + 120])
            self.assertEqual(int(trial.group(1)), expected)
            if trial.group(2) is not None:
                speed_text, seconds_text = trial.group(2), trial.group(3)
                self.assert_width(speed_text, 7)
                self.assert_general_format(speed_text.strip())
                self.assert_general_format(seconds_text)
                trial_seconds = float(seconds_text)
                self.assertTrue(close(float(speed_text), 4000 / 1024 / trial_seconds),
                                (speed_text, seconds_text))
                seconds.append(trial_seconds)
            position = trial.end()
        self.assertTrue(seconds, "at least one trial takes a measurable time")
        average = self.AVERAGE.match(text, position)
        self.assertIsNotNone(average, text[position:position + 120])
        self.assertTrue(close(float(average.group(1)), 4000 / 1024 * len(seconds) / sum(seconds)))
        self.assertTrue(close(float(average.group(2)), sum(seconds) / len(seconds)))
        for field in average.groups():
            self.assert_width(field, 7)
            self.assert_general_format(field.strip())
        self.assertEqual(text[average.end():], "\r\n".join(PROMPT) + "\r\n")

        average_text = average.group(0)[:-2]
        self.assert_report_file(lines[0:2] + [lines[3],
                                "HL C:   4K 1000File(s)  5Trial(s) : " + average_text])
        self.assert_no_work_directory_left()


class ConfiguredRun(ProgramRun):
    """Tests from Varnoquelbit.ini, numbers in fixed notation with three decimals."""

    FIXED = r"\d+\.\d{3}"

    def test_hl_and_ll_tests_on_one_drive(self):
        self.write_ini("# method drive size [buffer] files trials\r\n"
                       "HL C: 1M 8 2\r\n"
                       "LL C: 1M 64K 8 2\r\n")
        out = self.run_program(stdin=None)
        lines = lines_of(out)
        text = out.decode("latin-1")
        self.assertRegex(lines[0], BANNER)
        disk = r"Disk C: Capacity: Total=%s\[GB\] Free=%s\[GB\]" % (self.FIXED, self.FIXED)
        self.assertRegex(lines[2], "^" + disk + "$")
        self.assertEqual(len(re.findall(r"Disk C:", text)), 1, "the drive is queried once")
        self.assertEqual(lines[3], "HL C: 1M 8File(s) 2Trial(s)")
        ll_header = lines.index("LL C: 1M (Buffer:64K) 8File(s) 2Trial(s)")
        result = r"  Result: +%s\[MB/s\] \(%s\[sec\]\)" % (self.FIXED, self.FIXED)
        trial = r"\[Trial \d\] Preparing\.\.\. Testing\.\.\. Done\.(%s\r\n)?" % result
        average = r"Average: *%s\[MB/s\] \( *%s\[sec\]\)" % (self.FIXED, self.FIXED)
        for header in ("HL C: 1M 8File(s) 2Trial(s)\r\n", "LL C: 1M (Buffer:64K) 8File(s) 2Trial(s)\r\n"):
            block = text[text.index(header) + len(header):]
            self.assertRegex(block, "^(%s){2}%s\r\n" % (trial, average))
        self.assertEqual(lines[-2:], PROMPT)
        self.assertGreater(ll_header, 3)

        averages = re.findall(average, text)
        self.assertEqual(len(averages), 2)
        self.assert_report_file(lines[0:3] + [
            "HL C:   1M    8File(s)  2Trial(s) : " + averages[0],
            "LL C:   1M (Buffer: 64K)    8File(s)  2Trial(s) : " + averages[1],
        ])
        self.assert_no_work_directory_left()

        # result.json: valid by the schema, the OS line and every figure as printed.
        record = self.result_record()
        self.assertEqual(record["system"]["os_line"], lines[1])
        self.assertIsNone(record["system"]["kernel"])
        self.assertIsNotNone(record["system"]["windows"])
        printed = re.findall(r"Result: +(\S+)\[MB/s\] \((\S+)\[sec\]\)", text)
        kept = [(t["mb_per_s_text"], t["seconds_text"]) for test in record["tests"]
                for t in test["trials"] if t["outcome"] == "done"]
        self.assertEqual(kept, printed)
        self.assertEqual([(t["average"]["mb_per_s_text"], t["average"]["seconds_text"])
                          for t in record["tests"]],
                         re.findall(r"Average: *(\S+)\[MB/s\] \( *(\S+)\[sec\]\)", text))
        self.assertEqual([t["copy_path"] for t in record["tests"]],
                         ["CopyFileA", "FILE_FLAG_NO_BUFFERING, 64 KiB buffer"])

    def test_unknown_drive_is_reported(self):
        letter = next(c for c in "QRSTUVWXY"
                      if not os.path.exists(os.path.join(os.environ["WINEPREFIX"], "dosdevices",
                                                         c.lower() + ":")))
        self.write_ini("HL %s: 4K 2 1\r\n" % letter)
        lines = lines_of(self.run_program(stdin=None))
        self.assertEqual(lines[2:], ["Could not Get the Drive Information of %s:" % letter] + PROMPT)
        self.assert_report_file(lines[0:2])


class LargeVolume(ProgramRun):
    """Free-space figures past 4 GiB, where 32-bit byte counts would wrap: an
    empty tmpfs of 10 GiB (it takes memory only as it fills) as a drive."""

    SIZE_GIB = 10

    def setUp(self):
        super().setUp()
        self.mount_point = tempfile.mkdtemp(prefix="varno-volume-")
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dG" % self.SIZE_GIB,
                                  "varno-large", self.mount_point],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
        if mounted.returncode != 0:
            os.rmdir(self.mount_point)
            skip_unless_ci("cannot mount a tmpfs (root or a private namespace needed): "
                           + mounted.stdout.decode(errors="replace").strip())
        self.letter = next(c for c in "QRSTUVWXY" if not os.path.lexists(self.dosdevice(c)))
        os.symlink(self.mount_point, self.dosdevice(self.letter))

    def tearDown(self):
        os.unlink(self.dosdevice(self.letter))
        subprocess.run(["umount", self.mount_point], check=False)
        os.rmdir(self.mount_point)
        super().tearDown()

    @staticmethod
    def dosdevice(letter):
        return os.path.join(os.environ["WINEPREFIX"], "dosdevices", letter.lower() + ":")

    def test_disk_line_of_a_10_gib_volume(self):
        self.write_ini("LL %s: 4K 1K 2 1\r\n" % self.letter)
        lines = lines_of(self.run_program(stdin=None))
        disk = "Disk %s: Capacity: Total=10.000[GB] Free=10.000[GB]" % self.letter
        self.assertEqual(lines[2], disk)
        self.assertEqual(lines[3], "LL %s: 4K (Buffer:1K) 2File(s) 1Trial(s)" % self.letter)
        self.assertEqual(self.result_bytes().split(b"\r\n")[2], disk.encode())


class ClosingKey(ProgramRun):
    """The closing key read from redirected input; only 'c' copies the report."""

    def clipboard(self, tries=1):
        """The clipboard's text; with tries, asked again while it holds none,
        since wine's clipboard can take a moment to show what a program that
        has just ended put there."""
        for attempt in range(tries):
            code, text = wine([CLIPBOARD_TOOL], timeout=120)
            if code != 3 or attempt + 1 == tries:
                return code, text
            time.sleep(1)

    def empty_clipboard(self):
        code, _ = wine([CLIPBOARD_TOOL, "--empty"], timeout=120)
        self.assertEqual(code, 0, "the clipboard can be emptied")
        self.assertEqual(self.clipboard()[0], 3, "no text after emptying")

    def test_lower_case_c_copies_the_report(self):
        self.write_ini("# no tests\r\n")
        self.empty_clipboard()
        self.run_program(stdin=b"c")
        code, text = self.clipboard(tries=5)
        self.assertEqual(code, 0)
        self.assertEqual(text, self.result_bytes(), "the clipboard holds the report as written")
        self.assertRegex(lines_of(text)[0], BANNER)

    def test_other_keys_and_no_key_copy_nothing(self):
        self.write_ini("# no tests\r\n")
        for name, kwargs in (("upper-case C", {"stdin": b"C"}), ("x then c", {"stdin": b"xc"}),
                             ("end of input", {"stdin": None}), ("closed input", {"close_stdin": True})):
            with self.subTest(key=name):
                self.empty_clipboard()
                out = self.run_program(**kwargs)
                self.assertEqual(lines_of(out)[-2:], PROMPT)
                self.assertEqual(self.clipboard()[0], 3)


class Arguments(ProgramRun):
    """A sole --help, /? or --version is answered and touches nothing."""

    def test_help_and_version(self):
        for args in (["--help"], ["/?"], ["--version"]):
            code, out = wine([EXE] + args, cwd=self.cwd, stdin=None)
            self.assertEqual(code, 0, args)
            if args[0] == "--version":
                self.assertRegex(out.decode("latin-1"), r"^varnoquelbit \d+\.\d+\.\d+\r\n$")
            else:
                self.assertTrue(out.startswith(b"Usage: varnoquelbit"), out)
                self.assertIn(b"Varnoquelbit.ini", out)
            self.assertEqual(os.listdir(self.cwd), [], args)
            self.assert_no_work_directory_left()


class ReportFile(ProgramRun):
    """result.txt is a new file renamed over the earlier one; results.jsonl
    grows only as a file of its own."""

    def test_results_jsonl_as_a_second_name_of_a_file_elsewhere_is_not_appended_to(self):
        """A results.jsonl made (on the host) as a hard link to another
        user's file is told and left: the other file keeps its bytes. (Wine
        shows a host's symbolic link as the file it leads to, with no reparse
        point, so that case is Windows' own.)"""
        outside = tempfile.mkdtemp(prefix="varno-outside-")
        self.addCleanup(shutil.rmtree, outside, True)
        canary = os.path.join(outside, "theirs.jsonl")
        with open(canary, "wb") as f:
            f.write(b"someone else's\n")
        os.link(canary, os.path.join(self.cwd, "results.jsonl"))
        self.write_ini("# no tests\r\n")
        done = subprocess.run([WINE, EXE], cwd=self.cwd, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_TIMEOUT)
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"results.jsonl': a file with 2 links, which may be someone else's",
                      done.stderr)
        with open(canary, "rb") as f:
            self.assertEqual(f.read(), b"someone else's\n")

    def test_an_earlier_report_is_replaced_by_a_new_file(self):
        report = os.path.join(self.cwd, "result.txt")
        with open(report, "wb") as f:
            f.write(b"x" * 5000)
        earlier = os.stat(report).st_ino
        self.write_ini("# no tests\r\n")
        lines = lines_of(self.run_program(stdin=None))
        self.assert_report_file(lines[0:2])
        self.assertNotEqual(os.stat(report).st_ino, earlier, "written into the earlier file")
        self.assertEqual(sorted(os.listdir(self.cwd)),
                         ["Varnoquelbit.ini", "result.json", "result.txt", "results.jsonl"])

    def test_a_directory_named_result_txt_is_told(self):
        os.mkdir(os.path.join(self.cwd, "result.txt"))
        self.write_ini("# no tests\r\n")
        done = subprocess.run([WINE, EXE], cwd=self.cwd, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=RUN_TIMEOUT)
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"varnoquelbit: write 'result.txt': ", done.stderr)
        self.assertEqual(os.listdir(os.path.join(self.cwd, "result.txt")), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
