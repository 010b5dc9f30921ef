"""End-to-end runs of the real program that hold on every platform it runs on."""
import os
import re
import unittest

from harness import (BANNER, DRIVE_C, PROMPT, TempDirTest, drive_c_directory, format_number,
                     own_lines, run_program, trial_results, work_directories)

EXPECTED_OS = os.environ.get("VARNO_EXPECT_OS", "Unknown")
# The one note a default run may write: on a slow disk, HL's copies reach it
# well after the clock has stopped, and the test says so with their speed.
WRITE_OUT_LINE = (r"^varnoquelbit: HL's copies reached 'C:' \d+\.\d{3} s after the clock stopped; "
                  r"counting that, they copied at \d+\.\d{3} MB/s$")

MARK_REASON = ("the line begins with a UTF-8 byte-order mark (the bytes EF BB BF), so it is "
               "neither a test nor a comment; save the file as UTF-8 without BOM (Notepad: "
               'Save As, Encoding "UTF-8", not "UTF-8 with BOM"; vim: :set nobomb)')
HL_LAYOUT = "; expected HL <drive> <file size> <files> <trials>"
LL_LAYOUT = "; expected LL <drive> <file size> <buffer size> <files> <trials>"
# A line of each kind the configuration refuses, and the reason standard error gives.
REFUSED_LINES = [
    ("HK C: 4K 1 1", 'the method must be HL or LL, the line\'s first two characters; found "HK"'),
    ("hl C: 4K 1 1", 'the method "hl" must be written in capitals, HL or LL'),
    ("\tHL C: 4K 1 1", "the line begins with a blank or tab; the method, HL or LL, must be its "
                       "first two characters"),
    ("HL 64M 4 3", 'the drive is missing: "64M" stands where the drive goes' + HL_LAYOUT),
    ("LL C: 4M 4 1", "it fits the HL layout (HL <drive> <file size> <files> <trials>): an LL "
                     "line needs a buffer size after the file size, or HL to begin it"),
    ("HL C: 4M 1M 4 1", "it fits the LL layout (LL <drive> <file size> <buffer size> <files> "
                        "<trials>): an HL line has no buffer size; drop it, or begin the line "
                        "with LL"),
    ("HL C:", "the file size is missing" + HL_LAYOUT),
    ("LL C: 4M", "the buffer size is missing" + LL_LAYOUT),
    ("HL C: 4K", "the file count is missing" + HL_LAYOUT),
    ("HL C: 4K ten 3", 'the file count "ten" is not a whole number' + HL_LAYOUT),
    ("LL C: 4K 4K 1 x", 'the trial count "x" is not a whole number' + LL_LAYOUT),
    ("HL C: 4K 1", "the trial count is missing" + HL_LAYOUT),
    ("HL C:" + "x" * 98 + " 4K 1 1", "the drive is 100 characters long; at most 99 are read"),
    ('HL "my disk 4K 1 1', "the drive's opening double quote has no closing one"),
    ("LL my disk 4M 1M 4 1", 'a drive with blanks needs double quotes: "my disk"'),
    ("\xef\xbb\xbf# a mark on a later line", MARK_REASON),
]


class DefaultRun(TempDirTest):
    """No configuration file: the built-in test, HL on C:, 4K, 1000 files, 5 trials."""

    def test_default_test_runs_end_to_end_and_cleans_up(self):
        run = run_program(self.dir, stdin=b"")
        self.assertEqual(run.returncode, 0)
        lines = run.console.split("\n")
        self.assertRegex(lines[0], "^" + BANNER.pattern + "$")
        self.assertEqual(lines[1], "OS: " + EXPECTED_OS)
        self.assertEqual(lines[2], "Varnoquelbit.ini NOT Found.")
        disk = re.fullmatch(r"Disk C: Capacity: Total=(\S+)\[GB\] Free=(\S+)\[GB\]", lines[3])
        self.assertIsNotNone(disk, lines[3])
        for gigabytes in disk.groups():
            self.assertEqual(gigabytes, format_number(float(gigabytes), fixed=False),
                             "the general format, not fixed")
        self.assertEqual(lines[4], "HL C: 4K 1000File(s) 5Trial(s)")
        body = "\n".join(lines[5:])
        self.assertEqual([t[0] for t in trial_results(body)], [0, 1, 2, 3, 4], run.console)
        good = self.check_speeds(body, 4, 1000, fixed=False)
        self.assertTrue(run.console.endswith(PROMPT))
        self.assertEqual(work_directories(drive_c_directory(self.dir)), [])
        # A missing configuration is no failure: NOT Found says it all. Only a
        # slow disk adds its write-out note.
        own = own_lines(run.diagnostics)
        self.assertLessEqual(len(own), 1, own)
        for line in own:
            self.assertRegex(line, WRITE_OUT_LINE)
        if not DRIVE_C:
            self.assertEqual(run.diagnostics, "".join(line + "\n" for line in own))

        expected = (lines[0] + "\r\n" + lines[1] + "\r\n" + lines[3] + "\r\n"
                    + "HL C:   4K 1000File(s)  5Trial(s) : ")
        if good:
            average = re.search(r"^Average:.*$", run.console, re.M).group(0)
            expected += average + "\r\n"
        self.assertEqual(run.result, expected.encode("latin-1"))


class ConfiguredRun(TempDirTest):
    INI = ("# method drive size [buffer] files trials\r\n"
           "\r\n"
           "HL C: 64K 8 2\r\n"
           "bogus line\r\n"
           "LL C: 1M 64K 4 2\r\n"
           "HL C: 4K 2 0\r\n"
           "LL C: 64K 1K 3 1\r\n"
           "HL C: 4KB 1 1\r\n")

    def test_mixed_configuration(self):
        run = run_program(self.dir, ini=self.INI, stdin=b"")
        self.assertEqual(run.returncode, 0)
        console = run.console
        self.assertEqual(console.count("Disk C: Capacity:"), 1, "one disk line per drive string")
        disk = re.search(r"^Disk C: Capacity: Total=\d+\.\d{3}\[GB\] Free=\d+\.\d{3}\[GB\]$",
                         console, re.M)
        self.assertIsNotNone(disk, console)
        self.assertIn("\nini error: bogus line\n", console)
        self.assertNotIn("NOT Found", console)
        self.assertIn("\nSize Type Must Be 'K' or 'M' or 'G'.\n", console)

        sections = re.split(r"^(?=(?:HL|LL) C: )", console, flags=re.M)
        tests = [s for s in sections if s.startswith(("HL C:", "LL C:"))]
        self.assertEqual([t.split("\n")[0] for t in tests],
                         ["HL C: 64K 8File(s) 2Trial(s)",
                          "LL C: 1M (Buffer:64K) 4File(s) 2Trial(s)",
                          "HL C: 4K 2File(s) 0Trial(s)",
                          "LL C: 64K (Buffer:1K) 3File(s) 1Trial(s)"])
        sizes = [(64, 8), (1024, 4), (4, 2), (64, 3)]
        averages = []
        for text, (kib, count) in zip(tests, sizes):
            good = self.check_speeds(text, kib, count, fixed=True)
            averages.append(re.search(r"Average:.*\[sec\]\)", text).group(0) if good else None)
        self.assertIsNone(averages[2], "a test of 0 trials has no average")
        self.assertNotIn("[Trial", tests[2])

        def line_end(average):
            return (average + "\r\n") if average else ""

        expected = (console.split("\n")[0] + "\r\n" + "OS: " + EXPECTED_OS + "\r\n"
                    + disk.group(0) + "\r\n"
                    + "HL C:  64K    8File(s)  2Trial(s) : " + line_end(averages[0])
                    + "LL C:   1M (Buffer: 64K)    4File(s)  2Trial(s) : " + line_end(averages[1])
                    + "HL C:   4K    2File(s)  0Trial(s) : "
                    + "LL C:  64K (Buffer:  1K)    3File(s)  1Trial(s) : " + line_end(averages[3]))
        self.assertEqual(run.result, expected.encode("latin-1"))
        self.assertEqual(work_directories(drive_c_directory(self.dir)), [])

    def test_comments_only_configuration(self):
        run = run_program(self.dir, ini="# nothing\n\n#HL C: 4K 1 1\n", stdin=b"c")
        self.assertEqual(run.returncode, 0)
        banner = run.console.split("\n")[0]
        self.assertEqual(run.console, banner + "\nOS: " + EXPECTED_OS + "\n" + PROMPT)
        self.assertEqual(run.result, (banner + "\r\nOS: " + EXPECTED_OS + "\r\n").encode())

    def test_each_run_replaces_result_txt(self):
        with open(os.path.join(self.dir, "result.txt"), "wb") as f:
            f.write(b"x" * 5000)
        run = run_program(self.dir, ini="#\n", stdin=b"")
        self.assertLess(len(run.result), 200)
        self.assertFalse(run.result.startswith(b"x"))

    def test_configuration_habits(self):
        """A byte-order mark makes the first line an error line, told on
        standard error with how to save the file without it; the next lines
        run as usual. A count beyond 32 bits and a drive with blanks but no
        quotes are told on standard error."""
        ini = (b"\xef\xbb\xbfHL C: 4K 2 0\r\n"
               b"HL C: 4K 2 -99999999999\r\n"
               b"HL my disk 4K 1 1\r\n")
        run = run_program(self.dir, ini=ini, stdin=b"")
        self.assertEqual(run.returncode, 0)
        lines = run.console.split("\n")
        self.assertEqual(lines[2:], ["ini error: \xef\xbb\xbfHL C: 4K 2 0",
                                     lines[3],
                                     "HL C: 4K 2File(s) -2147483648Trial(s)",
                                     "ini error: HL my disk 4K 1 1"] + PROMPT.split("\n"))
        self.assertRegex(lines[3], r"^Disk C: Capacity: ")
        self.assertEqual(own_lines(run.diagnostics), [
            "varnoquelbit: line 1 of 'Varnoquelbit.ini': " + MARK_REASON,
            "varnoquelbit: trial count -99999999999 does not fit 32 bits; read as -2147483648",
            "varnoquelbit: line 3 of 'Varnoquelbit.ini': "
            'a drive with blanks needs double quotes: "my disk"'])
        banner = lines[0]
        self.assertEqual(run.result, (banner + "\r\nOS: " + EXPECTED_OS + "\r\n" + lines[3]
                                      + "\r\nHL C:   4K    2File(s) -2147483648Trial(s) : ")
                         .encode("latin-1"))

    def test_every_refused_line_is_told_why(self):
        """Each kind of refused line: the console echoes it as before, and
        standard error names the line, the field and what it should hold."""
        ini = "# refused lines, one of each kind\n" + "".join(
            line + "\n" for line, _ in REFUSED_LINES)
        run = run_program(self.dir, ini=ini, stdin=b"")
        self.assertEqual(run.returncode, 0)
        banner = run.console.split("\n")[0]
        self.assertEqual(run.console, banner + "\nOS: " + EXPECTED_OS + "\n" + "".join(
            "ini error: " + line + "\n" for line, _ in REFUSED_LINES) + PROMPT)
        self.assertEqual(own_lines(run.diagnostics), [
            "varnoquelbit: line %d of 'Varnoquelbit.ini': %s" % (number, reason)
            for number, (_, reason) in enumerate(REFUSED_LINES, start=2)])
        self.assertEqual(run.result, (banner + "\r\nOS: " + EXPECTED_OS + "\r\n").encode())

    def test_missing_directory_as_drive(self):
        run = run_program(self.dir, ini="HL C:\\no\\such\\place 4K 1 1\n", stdin=b"")
        self.assertEqual(run.returncode, 0)
        self.assertIn("Could not Get the Drive Information of C:\\no\\such\\place\n", run.console)
        self.assertTrue(run.console.endswith(PROMPT))


class Arguments(TempDirTest):
    """A sole request for help or the version is answered and touches
    nothing; every other argument is ignored."""

    def test_help_and_version_touch_nothing(self):
        before = work_directories(drive_c_directory(self.dir))
        for args in (["--help"], ["-h"], ["--version"], ["-V"]):
            run = run_program(self.dir, args=args, stdin=b"")
            self.assertEqual(run.returncode, 0, args)
            if args[0] in ("--help", "-h"):
                self.assertTrue(run.console.startswith("Usage: varnoquelbit"), run.console)
                for needed in ("Varnoquelbit.ini", "result.txt", "examples/Varnoquelbit.ini",
                               "man varnoquelbit", "--version"):
                    self.assertIn(needed, run.console, args)
            else:
                self.assertRegex(run.console, r"^varnoquelbit \d+\.\d+\.\d+\n$")
            self.assertEqual(own_lines(run.diagnostics), [], args)
            self.assertEqual(os.listdir(self.dir), [], args)
            self.assertEqual(work_directories(drive_c_directory(self.dir)), before, args)

    def test_other_arguments_run_as_none_would(self):
        """Standard output and result.txt are those of a run without them;
        standard error says they were ignored and names the configuration."""
        for args, shown in ((["dragged.ini"], "argument 'dragged.ini'"),
                            (["--help", "--version"], "arguments '--help' '--version'"),
                            (["-v"], "argument '-v'"),
                            (["/media/me/USB DISK", ""], "arguments '/media/me/USB DISK' ''")):
            run = run_program(self.dir, ini="#\n", args=args, stdin=b"")
            self.assertEqual(run.returncode, 0, args)
            banner = run.console.split("\n")[0]
            self.assertEqual(run.console, banner + "\nOS: " + EXPECTED_OS + "\n" + PROMPT, args)
            self.assertEqual(run.result, (banner + "\r\nOS: " + EXPECTED_OS + "\r\n").encode())
            note = re.fullmatch(
                r"varnoquelbit: ignored %s: the tests come from '(.+)', where each test names "
                r"the folder it measures \(see --help\)" % re.escape(shown),
                "\n".join(own_lines(run.diagnostics)))
            self.assertIsNotNone(note, run.diagnostics)
            if DRIVE_C:  # under wine: the Windows path of the same file
                self.assertRegex(note.group(1), r"^[A-Z]:\\.*\\Varnoquelbit\.ini$")
            else:
                self.assertEqual(note.group(1),
                                 os.path.join(os.path.realpath(self.dir), "Varnoquelbit.ini"))


if __name__ == "__main__":
    unittest.main()
