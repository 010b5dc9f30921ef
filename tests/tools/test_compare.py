"""varnoquelbit-compare on real files, and the result schema against its example.

Run with Debian's Python (python3-jsonschema, python3-matplotlib):
  /usr/bin/python3 -m unittest -v test_compare      (in tests/tools)
"""

import copy
import csv
import html.parser
import io
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "tools", "varnoquelbit-compare")
SCHEMA = os.path.join(ROOT, "docs", "result.schema.json")
EXAMPLE = os.path.join(ROOT, "docs", "result.example.json")
# Texts a hostile or careless result may hold: a terminal escape, controls,
# line ends, Markdown's and HTML's own characters, a formula, matplotlib's $.
HOSTILE_MOUNT = "/mnt/\x1b[31mred\x07|a\r\nb</script><b>&amp;\u2028$x$--"
HOSTILE_MODEL = "=HYPERLINK(\"http://x\")"


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


def scaled(test, factor):
    """test with every speed (trials and average) times factor."""
    test = copy.deepcopy(test)
    for trial in test["trials"]:
        if trial["mb_per_s"] is not None:
            trial["mb_per_s"] *= factor
            trial["mb_per_s_text"] = "%.3f" % trial["mb_per_s"]
    if test["average"]:
        test["average"]["mb_per_s"] *= factor
        test["average"]["mb_per_s_text"] = "%.3f" % test["average"]["mb_per_s"]
    return test


def two_drives(directory):
    """Two runs of the same two tests (HL C: 64M 4 3, LL C: 64M 1M 4 3), one
    from a directory on an NVMe disk, one a day later on a USB stick; their
    result.json files in directory/disk and directory/stick."""
    example = load(EXAMPLE)
    disk_volume = example["tests"][0]["volume"]
    stick_volume = example["tests"][1]["volume"]
    ll = copy.deepcopy(example["tests"][1])
    ll.update(line="LL C: 64M 1M 4 3", drive="C:", path="/home/me/bench")
    disk = copy.deepcopy(example)
    disk["tests"] = [example["tests"][0], scaled(dict(ll, volume=disk_volume), 22.0)]
    stick = copy.deepcopy(example)
    stick["start_utc"], stick["end_utc"] = "2026-12-09T08:00:00Z", "2026-12-09T08:04:41Z"
    hl = dict(example["tests"][0], path="/media/me/USB DISK", volume=stick_volume)
    stick["tests"] = [scaled(hl, 0.061), dict(ll, path="/media/me/USB DISK")]
    paths = []
    for name, run in (("disk", disk), ("stick", stick)):
        os.makedirs(os.path.join(directory, name), exist_ok=True)
        paths.append(os.path.join(directory, name, "result.json"))
        with open(paths[-1], "w", encoding="utf-8") as f:
            json.dump(run, f, indent=2)
    return paths, [disk, stick]


def hostile(run):
    """run with hostile volume names."""
    run = copy.deepcopy(run)
    for test in run["tests"]:
        if test["volume"]:
            test["volume"].update(mount_point=HOSTILE_MOUNT, model=HOSTILE_MODEL)
    run["tests"][0]["drive"] = "-2+3|<i>"
    return run


def markdown_table(text):
    """The cells of the Markdown table's rows (header and rule left out),
    unescaped."""
    rows = []
    for line in text.splitlines():
        if not line.startswith("|"):
            continue
        cells = re.split(r"(?<!\\)\|", line)
        rows.append([re.sub(r"\\(.)", r"\1", cell.strip()) for cell in cells[1:-1]])
    return rows[2:]


def tools_package():
    """The package of varnoquelbit-compare, imported from the tree."""
    sys.path.insert(0, os.path.join(ROOT, "tools"))
    import varnoquelbit_compare.command
    import varnoquelbit_compare.figures
    import varnoquelbit_compare.reading
    return varnoquelbit_compare


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
                # The first run is the earliest: the ratios are to its averages.
                figures.append("%.3f (%.3f-%.3f) sd %.3f %.2fx" % (
                    averages(run)[number], min(speeds), max(speeds), statistics.stdev(speeds),
                    averages(run)[number] / averages(self.runs[0])[number]))
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
        def with_value(path, value):
            """The first run with one value replaced; path: keys and indexes."""
            run = copy.deepcopy(self.runs[0])
            target = run
            for step in path[:-1]:
                target = target[step]
            target[path[-1]] = value
            return json.dumps(run)
        speed = ["tests", 0, "trials", 0, "mb_per_s"]
        cases = {
            "deep.json": ("[" * 100000 + "]" * 100000, "nested more than 64 deep at line 1"),
            "size_list.json": (with_value(["tests", 0, "file_size_bytes"], [64]),
                               "tests[0].file_size_bytes is not an integer"),
            "size_object.json": (with_value(["tests", 0, "file_size_bytes"], {"a": 1}),
                                 "tests[0].file_size_bytes is not an integer"),
            "buffer_list.json": (with_value(["tests", 1, "buffer_size"], ["1M"]),
                                 "tests[1].buffer_size is not text"),
            "buffer_object.json": (with_value(["tests", 1, "buffer_size"], {}),
                                   "tests[1].buffer_size is not text"),
            "huge.json": (with_value(speed, 10 ** 400), "tests[0].trials[0].mb_per_s is not a"),
            "float.json": (with_value(speed, 1.5).replace("1.5", "1e400"),
                           "tests[0].trials[0].mb_per_s is not a"),
            "nan.json": (with_value(speed, 1.5).replace("1.5", "NaN"), "NaN is not a number"),
            "digits.json": (with_value(speed, 1.5).replace("1.5", "9" * 5000), "not JSON"),
            "negative.json": (with_value(speed, -3.0), "tests[0].trials[0].mb_per_s is not a"),
            "count.json": (with_value(["tests", 0, "file_count"], 2 ** 64),
                           "tests[0].file_count is not an integer"),
            "long.json": (with_value(["tests", 0, "drive"], "x" * 5000),
                          "tests[0].drive is longer than 4096"),
            "surrogate.json": (with_value(["tests", 0, "drive"], "\ud800"),
                               "tests[0].drive holds a lone surrogate"),
            "volume.json": (with_value(["tests", 0, "volume", "mount_point"], ["/"]),
                            "tests[0].volume.mount_point is not text"),
            "kernel.json": (with_value(["system", "kernel"], "Linux"),
                            "system.kernel is not an object"),
            "start.json": (with_value(["start_utc"], "yesterday"), "start_utc is not a UTC"),
            "trials.json": (with_value(["tests", 0, "trials"], {"0": 1}),
                            "tests[0].trials is not a list"),
            "list.json": ("[1, 2]", "not a JSON object"),
            "binary.json": ("\udcff", "not UTF-8 text (byte 0)"),
            "big.jsonl": (" " * (16 * 1024 * 1024 + 1), "line 1: longer than 16 MiB"),
            "junk.json": ("junk\n", "not JSON"),
            "config.json": ('{"drive": "C:"}', "not a varnoquelbit result"),
            "future.json": (json.dumps(other_schema), "schema 2 is not known"),
            "trial.json": (json.dumps(bad_trial), "tests[0].trials[0].mb_per_s"),
            "mixed.jsonl": (json.dumps(self.runs[0]) + "\n{\n", "line 2: not JSON"),
            "empty.jsonl": ("\n", "no runs in it"),
        }
        for name, (content, reason) in cases.items():
            junk = self.path(name)
            with open(junk, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(content)
            done = self.compare(self.json_file, junk)
            self.assertEqual(done.returncode, 2, (name, done.stderr))
            self.assertEqual(done.stdout, "", name)
            self.assertRegex(done.stderr, r"^varnoquelbit-compare: '%s': [^\n]*%s[^\n]*\n$"
                             % (re.escape(junk), re.escape(reason)))

        # The file's own name reaches the terminal escaped too.
        junk = self.path("junk\x1b[2J.json")
        with open(junk, "w", encoding="utf-8") as f:
            f.write("junk")
        done = self.compare(junk)
        self.assertEqual(done.returncode, 2)
        self.assertIn("junk\\x1b[2J.json': not JSON", done.stderr)

    def test_an_output_that_cannot_be_written_exits_1_with_one_line(self):
        missing = self.path("no/such/directory")
        cases = {
            "standard output on a full device": ([], "/dev/full", "'<standard output>': No space"),
            "a page in a missing directory": (["--html", missing + ".html"], os.devnull,
                                              "'%s.html': No such file" % missing),
            "a picture in a missing directory": (["--plot", missing + ".svg"], os.devnull,
                                                 "'%s.svg': No such file" % missing),
        }
        for name, (options, stdout, line) in cases.items():
            if "picture" in name and not has_matplotlib():
                continue
            with open(stdout, "w") as out:
                done = subprocess.run([TOOL] + options + [self.json_file], stdout=out,
                                      stderr=subprocess.PIPE, text=True, timeout=120)
            self.assertEqual(done.returncode, 1, (name, done.stderr))
            self.assertRegex(done.stderr, r"^varnoquelbit-compare: [^\n]*\n$", name)
            self.assertIn(line, done.stderr, name)

    def test_version_is_the_projects(self):
        with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
            version = re.search(r"project\(varnoquelbit VERSION ([0-9.]+)", f.read()).group(1)
        done = self.compare("--version")
        self.assertEqual((done.returncode, done.stdout), (0, "varnoquelbit-compare %s\n" % version))

    def test_markdown_holds_each_runs_figures_and_its_system(self):
        done = self.compare("--markdown", self.json_file, self.jsonl_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        rows = markdown_table(done.stdout)
        expected = []
        for number, test in enumerate(self.runs[0]["tests"]):
            for index, run in enumerate(self.runs):
                speeds = [t["mb_per_s"] for t in run["tests"][number]["trials"]
                          if t["mb_per_s"] is not None]
                date = run["start_utc"][:16].replace("T", " ") + " UTC"
                volume = run["tests"][number]["volume"]
                where = "%s %s %s" % (volume["model"], volume["fs_type"], volume["mount_point"])
                if not speeds:
                    expected.append(["%d: %s" % (index + 1, date), where,
                                     "stopped: " + test["stopped_at"], "", "", "", ""])
                    continue
                average = averages(run)[number]
                expected.append(["%d: %s" % (index + 1, date), where, "%.3f" % average,
                                 "%.3f" % min(speeds), "%.3f" % max(speeds),
                                 "%.3f" % statistics.stdev(speeds) if len(speeds) > 1 else "",
                                 "%.2fx" % (average / averages(self.runs[0])[number])])
        self.assertEqual([row[1:] for row in rows], expected)
        system = self.runs[0]["system"]
        volume = self.runs[0]["tests"][1]["volume"]
        below = done.stdout.split("Runs:", 1)[1]
        for fact in (system["kernel"]["release"], system["distribution"], volume["device"],
                     volume["transport"], volume["fs_type"], volume["mount_point"]):
            self.assertIn(fact, below)

    def test_long_csv_has_a_row_per_run_test_and_trial(self):
        done = self.compare("--csv-long", self.json_file, self.jsonl_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        rows = list(csv.DictReader(io.StringIO(done.stdout)))
        expected = [(run["start_utc"], test["volume"]["device"], test["volume"]["fs_type"],
                     test["method"], str(trial["index"]), trial["mb_per_s"])
                    for run in self.runs for test in run["tests"] for trial in test["trials"]]
        found = [(row["date"], row["device"], row["file_system"], row["method"], row["trial"],
                  float(row["mb_per_s"]) if row["mb_per_s"] else None)
                 for row in rows if row["trial"]]
        self.assertEqual(found, expected)
        stopped = [row for row in rows if not row["trial"]]
        self.assertEqual([row["outcome"] for row in stopped], ["stopped: buffer"] * 3)
        self.assertEqual({row["host"] for row in rows},
                         {"Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz, 8 CPUs, 15.5 GiB"})

    def test_names_are_escaped_for_each_output(self):
        path = self.path("hostile.json")
        run = hostile(self.runs[0])
        with open(path, "w", encoding="utf-8") as f:
            json.dump(run, f)
        unsafe = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u2028\u2029]")
        outputs = {}
        for option in ("--table", "--markdown", "--csv", "--csv-long"):
            # Bytes: universal newlines would turn the CSV's quoted \r\n into \n.
            done = subprocess.run([TOOL] + ([option] if option != "--table" else [])
                                  + [path, self.json_file], capture_output=True, timeout=120)
            self.assertEqual(done.returncode, 0, done.stderr)
            outputs[option] = done.stdout.decode("utf-8")
        self.assertIsNone(unsafe.search(outputs["--table"]))
        self.assertIn("\\x1b[31mred\\x07|a\\x0d\\x0ab", outputs["--table"])
        self.assertIsNone(unsafe.search(outputs["--markdown"]))
        table = [line for line in outputs["--markdown"].splitlines() if line.startswith("|")]
        for line in table:  # every row as many cells as the header
            self.assertEqual(len(re.findall(r"(?<!\\)\|", line)), 9, line)
        cells = markdown_table(outputs["--markdown"])
        self.assertEqual(cells[0][0], "-2+3|<i> 64M 4File(s)".replace("-2", "HL -2"))
        self.assertIn("\\x1b[31mred\\x07|a\\x0d\\x0ab</script>", cells[0][2])
        self.assertNotIn("<i>", outputs["--markdown"])
        # CSV: the texts come back whole, formulas defused with '.
        wide = list(csv.reader(io.StringIO(outputs["--csv"], newline="")))
        self.assertEqual(len({len(row) for row in wide}), 1)
        self.assertIn(HOSTILE_MOUNT, wide[0][1])
        long = list(csv.DictReader(io.StringIO(outputs["--csv-long"], newline="")))
        self.assertEqual(long[0]["mount_point"], HOSTILE_MOUNT)
        self.assertEqual(long[0]["model"], "'" + HOSTILE_MODEL)
        self.assertEqual(long[0]["drive"], "'-2+3|<i>")

    def test_the_page_escapes_every_text_and_needs_no_network(self):
        path = self.path("hostile.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(hostile(self.runs[0]), f)
        page = self.path("runs.html")
        done = self.compare("--html", page, path, self.jsonl_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(page, encoding="utf-8") as f:
            text = f.read()

        class Reader(html.parser.HTMLParser):
            def __init__(self):
                super().__init__()
                self.tags, self.scripts, self.inside = [], [], None

            def handle_starttag(self, tag, attributes):
                self.tags.append(tag)
                self.inside = tag
                for name, value in attributes:
                    if name in ("src", "href") and value != "data:,":
                        raise AssertionError("the page loads %s" % value)

            def handle_data(self, data):
                if self.inside == "script":
                    self.scripts.append(data)

            def handle_endtag(self, tag):
                self.inside = None

        reader = Reader()
        reader.feed(text)
        self.assertNotIn("i", reader.tags)
        self.assertEqual(reader.tags.count("script"), 2)
        self.assertEqual(reader.tags.count("b"), 0)
        self.assertNotIn("\x1b", text)
        self.assertIn("red\\x07|a\\x0d\\x0ab&lt;/script&gt;&lt;b&gt;&amp;amp;", text)
        figures = json.loads(reader.scripts[0])
        self.assertIn("-2+3|<i>", figures["tests"][0])
        self.assertEqual(len(figures["entries"]), 2 + 2 * 2)
        self.assertIn("default-src 'none'", text)


    def test_the_page_starts_on_the_scale_the_speeds_or_options_ask_for(self):
        files, _ = two_drives(self.dir.name)
        cases = [(files[:1], [], False), (files, [], True), (files, ["--linear"], False),
                 (files[:1], ["--log"], True)]
        for paths, options, log_scale in cases:
            page = self.path("scale.html")
            done = self.compare(*(options + ["--html", page] + paths))
            self.assertEqual(done.returncode, 0, done.stderr)
            with open(page, encoding="utf-8") as f:
                box = re.search(r'<input type="checkbox" id="log-scale"[^>]*>', f.read()).group()
            self.assertEqual("checked" in box, log_scale, (len(paths), options))


def has_matplotlib():
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        return False
    return True


class Picture(unittest.TestCase):
    """The picture drawn in this process, measured through matplotlib's renderer."""

    def setUp(self):
        if not has_matplotlib():
            skip_or_fail(self, "matplotlib is missing (Debian: python3-matplotlib)")
        self.package = tools_package()
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def rows(self, runs):
        found = []
        for number, run in enumerate(runs):
            path = os.path.join(self.dir.name, "%d.json" % number)
            with open(path, "w", encoding="utf-8") as f:
                json.dump(run, f)
            self.assertIsNone(self.package.reading.read_runs(path, found))
        return found, self.package.figures.build_table(found)

    def draw(self, runs, log_scale=None):
        import matplotlib.pyplot as plt
        from varnoquelbit_compare.picture import draw
        found, rows = self.rows(runs)
        figure = draw(found, rows, log_scale)
        self.addCleanup(plt.close, figure)
        return figure

    def test_log_scale_when_speeds_span_more_than_20x_or_asked(self):
        _, (disk, stick) = two_drives(self.dir.name)
        cases = [([disk], None, "linear"), ([disk, stick], None, "log"),
                 ([disk, stick], False, "linear"), ([disk], True, "log")]
        for runs, asked, scale in cases:
            axes = self.draw(runs, asked).axes[0]
            self.assertEqual(axes.get_yscale(), scale, (len(runs), asked))

    def test_values_on_the_bars(self):
        _, runs = two_drives(self.dir.name)
        axes = self.draw(runs).axes[0]
        texts = sorted(text.get_text() for text in axes.texts)
        self.assertEqual(texts, sorted("%.1f" % average for run in runs
                                       for average in averages(run)))

    def test_labels_never_overlap_the_legend(self):
        # Two runs of four tests with long names, as a stick and a disk show.
        example = load(EXAMPLE)
        first, second = example["tests"][:2]
        example["tests"] = [first, second,
                            dict(copy.deepcopy(second), drive="/media/me/a long mount point/of a"
                                                              " stick with a long name"),
                            dict(copy.deepcopy(first), file_size="256M", file_size_bytes=2 ** 28)]
        runs = [example, varied(hostile(example), "2026-12-10T08:00:00Z",
                                "Very Long Disk Model Name", 1.7)]
        figure = self.draw(runs)
        figure.canvas.draw()
        renderer = figure.canvas.get_renderer()
        axes = figure.axes[0]
        legend = axes.get_legend().get_window_extent(renderer)
        labels = axes.get_xticklabels() + axes.texts + [axes.xaxis.label, axes.yaxis.label]
        self.assertGreater(len(labels), 10)
        for label in labels:
            if label.get_text():
                self.assertFalse(label.get_window_extent(renderer).overlaps(legend),
                                 label.get_text())
        self.assertFalse(axes.get_window_extent(renderer).overlaps(legend))

    def test_svg_is_well_formed_for_any_name(self):
        path = os.path.join(self.dir.name, "hostile.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(hostile(load(EXAMPLE)), f)
        picture = os.path.join(self.dir.name, "runs.svg")
        done = subprocess.run([TOOL, "--plot", picture, path], capture_output=True, text=True,
                              timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        root = ElementTree.parse(picture).getroot()
        self.assertEqual(root.tag, "{http://www.w3.org/2000/svg}svg")


if __name__ == "__main__":
    unittest.main()
