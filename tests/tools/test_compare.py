"""varnoquelbit-compare on real files, and the result schema against its example.

Run with Debian's Python (python3-jsonschema, python3-matplotlib):
  /usr/bin/python3 -m unittest -v test_compare      (in tests/tools)
"""

import copy
import csv
import io
import json
import os
import re
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "tools", "varnoquelbit-compare")
SCHEMA = os.path.join(ROOT, "docs", "result.schema.json")
EXAMPLE = os.path.join(ROOT, "docs", "result.example.json")


def skip_or_fail(test, reason):
    """Skips with the reason, or fails under CI, where every test must run."""
    if os.environ.get("CI") == "true":
        test.fail("cannot run under CI: " + reason)
    raise unittest.SkipTest(reason)


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def varied(run, start, model, factor):
    """A second run of the example's tests: another disk, other speeds."""
    run = copy.deepcopy(run)
    run["start_utc"] = start
    for test in run["tests"]:
        if test["volume"]:
            test["volume"]["model"] = model
        for trial in test["trials"]:
            if trial["mb_per_s"] is not None:
                trial["mb_per_s"] *= factor
        if test["average"]:
            test["average"]["mb_per_s"] *= factor
    return run


def averages(run):
    return [test["average"]["mb_per_s"] if test["average"] else None for test in run["tests"]]


class Schema(unittest.TestCase):
    def validator(self):
        try:
            import jsonschema
        except ImportError:
            skip_or_fail(self, "jsonschema is missing (Debian: python3-jsonschema)")
        schema = load(SCHEMA)
        jsonschema.Draft202012Validator.check_schema(schema)
        return jsonschema.Draft202012Validator(schema)

    def test_example_validates(self):
        errors = [e.message for e in self.validator().iter_errors(load(EXAMPLE))]
        self.assertEqual(errors, [])

    def test_records_that_contradict_themselves_do_not(self):
        validator = self.validator()
        example = load(EXAMPLE)
        faults = {
            "a done trial without its speed": ("trials", 0, "mb_per_s", None),
            "a failed trial with a speed": ("trials", 1, "mb_per_s", 3.5),
            "a misspelt volume field": ("volume", None, "modle", "x"),
        }
        for name, (part, index, field, value) in faults.items():
            record = copy.deepcopy(example)
            test = record["tests"][1]
            target = test[part][index] if index is not None else test[part]
            target[field] = value
            self.assertTrue(list(validator.iter_errors(record)), name)
        record = copy.deepcopy(example)
        record["tests"][0]["buffer_size"] = "1M"
        self.assertTrue(list(validator.iter_errors(record)), "an HL test with a buffer")
        record = copy.deepcopy(example)
        record["tests"][2]["stopped_at"] = None
        self.assertTrue(list(validator.iter_errors(record)), "a stop without its check")


class Compare(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        example = load(EXAMPLE)
        self.runs = [example,
                     varied(example, "2026-12-09T08:00:00Z", "DataTraveler", 1.5),
                     varied(example, "2026-12-10T09:30:00Z", "Ultra Fit", 0.25)]
        self.json_file = self.path("result.json")
        with open(self.json_file, "w", encoding="utf-8") as f:
            json.dump(self.runs[0], f, indent=2)
        self.jsonl_file = self.path("results.jsonl")
        with open(self.jsonl_file, "w", encoding="utf-8") as f:
            for run in self.runs[1:]:
                f.write(json.dumps(run) + "\n")

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def compare(self, *args):
        return subprocess.run([TOOL] + list(args), capture_output=True, text=True, timeout=120)

    def test_table_cells_are_the_files_averages(self):
        done = self.compare(self.json_file, self.jsonl_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        for number, test in enumerate(self.runs[0]["tests"]):
            label = "%s %s %s" % (test["method"], test["drive"], test["file_size"])
            row = [line for line in lines if line.startswith(label)]
            self.assertEqual(len(row), 1, (label, done.stdout))
            if test["average"] is None:
                self.assertEqual(row[0].count("stopped: " + test["stopped_at"]), 3, row[0])
                continue
            figures = []
            for run in self.runs:
                speeds = [t["mb_per_s"] for t in run["tests"][number]["trials"]
                          if t["mb_per_s"] is not None]
                figures.append("%.3f (%.3f-%.3f)" % (averages(run)[number], min(speeds),
                                                     max(speeds)))
            positions = [row[0].find(figure) for figure in figures]
            self.assertNotIn(-1, positions, (figures, row[0]))
            self.assertEqual(positions, sorted(positions), "columns out of run order")
        header = "\n".join(lines[:4])
        for text in ("2026-12-08 10:15", "2026-12-09 08:00", "DataTraveler ext4 /",
                     "Ultra Fit vfat /media/me/USB DISK"):
            self.assertIn(text, header)

    def test_csv_parses_and_holds_the_averages_exactly(self):
        done = self.compare("--csv", self.json_file, self.jsonl_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        rows = list(csv.reader(io.StringIO(done.stdout)))
        self.assertEqual(len(rows[0]), 1 + 3 * len(self.runs))
        self.assertEqual(len(rows), 1 + len(self.runs[0]["tests"]))
        for number, row in enumerate(rows[1:]):
            for column, run in enumerate(self.runs):
                average = averages(run)[number]
                cell = row[1 + 3 * column]
                if average is None:
                    self.assertTrue(cell.startswith("stopped: "), row)
                else:
                    self.assertEqual(float(cell), average, row)
                    speeds = [t["mb_per_s"] for t in run["tests"][number]["trials"]
                              if t["mb_per_s"] is not None]
                    self.assertEqual([float(v) for v in row[2 + 3 * column:4 + 3 * column]],
                                     [min(speeds), max(speeds)])

    def test_plot_writes_an_svg(self):
        try:
            import matplotlib  # noqa: F401
        except ImportError:
            skip_or_fail(self, "matplotlib is missing (Debian: python3-matplotlib)")
        picture = self.path("runs.svg")
        done = self.compare("--plot", picture, self.json_file, self.jsonl_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        root = ElementTree.parse(picture).getroot()
        self.assertEqual(root.tag, "{http://www.w3.org/2000/svg}svg")
        with open(picture, encoding="utf-8") as f:
            text = f.read()
        self.assertIn("MB/s (1 MB = 1,048,576 bytes)", text)

    def test_what_is_not_a_result_exits_2_with_one_line(self):
        other_schema = dict(self.runs[0], schema=2)
        bad_trial = copy.deepcopy(self.runs[0])
        bad_trial["tests"][0]["trials"][0]["mb_per_s"] = "fast"
        cases = {
            "junk.json": ("junk\n", "not JSON"),
            "config.json": ('{"drive": "C:"}', "not a varnoquelbit result"),
            "future.json": (json.dumps(other_schema), "schema 2 is not known"),
            "trial.json": (json.dumps(bad_trial), "tests[0].trials[0].mb_per_s"),
            "mixed.jsonl": (json.dumps(self.runs[0]) + "\n{\n", "line 2: not JSON"),
            "empty.jsonl": ("\n", "no runs in it"),
        }
        for name, (content, reason) in cases.items():
            junk = self.path(name)
            with open(junk, "w", encoding="utf-8") as f:
                f.write(content)
            done = self.compare(self.json_file, junk)
            self.assertEqual(done.returncode, 2, name)
            self.assertEqual(done.stdout, "", name)
            self.assertRegex(done.stderr, r"^varnoquelbit-compare: '%s': [^\n]*%s[^\n]*\n$"
                             % (re.escape(junk), re.escape(reason)))


if __name__ == "__main__":
    unittest.main()
