"""Result files into plain run values.

A result.json holds one run, a results.jsonl one run a line. Each run is
checked field by field as it is read and kept only as the few values the
outputs show (Run, Test, Trial below), so memory grows with the number of
runs, not with the size of the files: a file, or a line of one, longer than
RECORD_LIMIT is refused unread, and nothing else of a record is kept.

Every value is checked for its kind and its size: a text no longer than
TEXT_LIMIT characters of valid Unicode, a count from 0 below 2**63, a speed
a finite number from 0 to SPEED_LIMIT. A failure is a reason naming the
field, e.g. "tests[0].trials[2].mb_per_s is not a number from 0 to 1e+15".
"""

import json
import re
from collections import namedtuple

KNOWN_SCHEMAS = (1,)
RECORD_LIMIT = 16 * 1024 * 1024   # bytes of one run; real ones hold a few KiB
TEXT_LIMIT = 4096                 # characters of one text field
COUNT_LIMIT = 2 ** 63             # counts and byte sizes stay below
SPEED_LIMIT = 1e15                # MB/s; far beyond any medium
NESTING_LIMIT = 64                # brackets inside each other a message names
READ_PIECE = 64 * 1024

Run = namedtuple("Run", "start system tests")
System = namedtuple("System", "os_line kernel_name kernel_release kernel_machine distribution "
                              "cpu_model logical_cpus memory_bytes")
Volume = namedtuple("Volume", "device model vendor transport fs_type mount_point source")
Test = namedtuple("Test", "key label method drive file_size buffer_size file_count outcome "
                          "stopped_at volume trials average")
Trial = namedtuple("Trial", "index outcome mb_per_s seconds")

UTC_TIME = re.compile(r"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]{1,9})?Z\Z")


class NotAResult(Exception):
    """A record, or a value in one, that is not what a result holds."""


# Equal texts and tuples of many runs (volumes, systems, labels) are kept once.
_shared = {}


def shared(value):
    return _shared.setdefault(value, value)


# --- one value -----------------------------------------------------------------

def text(record, name, where, null=False):
    value = record.get(name)
    if type(value) is str:
        if len(value) <= TEXT_LIMIT and (value.isascii() or _encodes(value)):
            return value
    elif value is None and null:
        return None
    if not isinstance(value, str):
        raise NotAResult("%s%s is not text%s" % (where, name, " or null" if null else ""))
    if len(value) > TEXT_LIMIT:
        raise NotAResult("%s%s is longer than %d characters" % (where, name, TEXT_LIMIT))
    raise NotAResult("%s%s holds a lone surrogate, not Unicode text" % (where, name))


def _encodes(value):
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


def count(record, name, where, null=False):
    value = record.get(name)
    if type(value) is int and 0 <= value < COUNT_LIMIT:
        return value
    if value is None and null:
        return None
    raise NotAResult("%s%s is not an integer from 0 below 2**63%s"
                     % (where, name, " or null" if null else ""))


def speed(record, name, where, null=False):
    value = record.get(name)
    # NaN fails both comparisons, infinity the second; an integer too large
    # for a float is refused before float() would overflow.
    if type(value) in (float, int) and 0 <= value <= SPEED_LIMIT:
        return float(value)
    if value is None and null:
        return None
    raise NotAResult("%s%s is not a number from 0 to %g%s"
                     % (where, name, SPEED_LIMIT, " or null" if null else ""))


def obj(record, name, where, null=False):
    value = record.get(name)
    if value is None and null:
        return None
    if not isinstance(value, dict):
        raise NotAResult("%s%s is not an object%s" % (where, name, " or null" if null else ""))
    return value


def array(record, name, where):
    value = record.get(name)
    if not isinstance(value, list):
        raise NotAResult("%s%s is not a list" % (where, name))
    return value


# --- one record ----------------------------------------------------------------

def check_system(run):
    system = obj(run, "system", "", null=True) or {}
    kernel = obj(system, "kernel", "system.", null=True) or {}
    return shared(System(
        text(system, "os_line", "system.", null=True),
        text(kernel, "name", "system.kernel.", null=True),
        text(kernel, "release", "system.kernel.", null=True),
        text(kernel, "machine", "system.kernel.", null=True),
        text(system, "distribution", "system.", null=True),
        text(system, "cpu_model", "system.", null=True),
        count(system, "logical_cpus", "system.", null=True),
        count(system, "memory_bytes", "system.", null=True)))


_volumes = {}  # checked volumes by their values: most runs repeat a few


def check_volume(test, where):
    volume = obj(test, "volume", where, null=True)
    if volume is None:
        return None
    values = tuple(map(volume.get, Volume._fields))
    try:
        # Only checked volumes (texts and nulls) are kept, so a match is one.
        known = _volumes.get(values)
    except TypeError:  # a list or an object among the values: not hashable
        known = None
    if known is not None:
        return known
    where += "volume."
    checked = Volume(*(text(volume, name, where, null=True) for name in Volume._fields))
    return _volumes.setdefault(checked, checked)


def check_trial(trial, where):
    if not isinstance(trial, dict):
        raise NotAResult("%s is not an object" % where[:-1])
    return Trial(count(trial, "index", where, null=True),
                 shared(text(trial, "outcome", where, null=True)),
                 speed(trial, "mb_per_s", where, null=True),
                 speed(trial, "seconds", where, null=True))


def test_label(method, drive, file_size, buffer_size, file_count):
    label = "%s %s %s" % (method, drive, file_size)
    if method == "LL":
        label += " (Buffer:%s)" % (buffer_size or "?")
    return label + " %dFile(s)" % file_count


def check_test(test, where):
    if not isinstance(test, dict):
        raise NotAResult("%s is not an object" % where[:-1])
    method = test.get("method")
    if method not in ("HL", "LL"):
        raise NotAResult("%smethod is not HL or LL" % where)
    drive = shared(text(test, "drive", where))
    file_size = shared(text(test, "file_size", where))
    file_size_bytes = count(test, "file_size_bytes", where, null=True)
    buffer_size = shared(text(test, "buffer_size", where, null=True))
    buffer_size_bytes = count(test, "buffer_size_bytes", where, null=True)
    file_count = count(test, "file_count", where)
    outcome = shared(text(test, "outcome", where, null=True))
    stopped_at = shared(text(test, "stopped_at", where, null=True))
    volume = check_volume(test, where)
    average = obj(test, "average", where, null=True)
    if average is not None:
        average = speed(average, "mb_per_s", where + "average.")
    trials = tuple(check_trial(trial, "%strials[%d]." % (where, number))
                   for number, trial in enumerate(array(test, "trials", where)))
    # What makes two tests of different runs one row: method, drive, sizes, count.
    key = shared((method, drive, file_size_bytes or file_size,
                  buffer_size_bytes or buffer_size, file_count))
    label = shared(test_label(method, drive, file_size, buffer_size, file_count))
    return Test(key, label, method, drive, file_size, buffer_size, file_count, outcome,
                stopped_at, volume, trials, average)


def check_run(run):
    """The Run of a parsed record; raises NotAResult naming the first wrong field."""
    if not isinstance(run, dict):
        raise NotAResult("not a JSON object")
    if "schema" not in run:
        raise NotAResult("not a varnoquelbit result (no \"schema\" field)")
    schema = run["schema"]
    if schema not in KNOWN_SCHEMAS or isinstance(schema, bool):
        shown = json.dumps(schema) if isinstance(schema, (int, float, str)) else type(schema).__name__
        raise NotAResult("schema %s is not known (this tool reads schema %s)"
                         % (shown[:40], ", ".join(map(str, KNOWN_SCHEMAS))))
    program = obj(run, "program", "")
    if program.get("name") != "varnoquelbit":
        raise NotAResult("not a varnoquelbit result (program.name is not \"varnoquelbit\")")
    start = text(run, "start_utc", "")
    if not UTC_TIME.match(start):
        raise NotAResult("start_utc is not a UTC time like 2026-12-08T10:15:02Z")
    system = check_system(run)
    tests = tuple(check_test(test, "tests[%d]." % number)
                  for number, test in enumerate(array(run, "tests", "")))
    return Run(start, system, tests)


# --- parsing -------------------------------------------------------------------

def _no_constant(name):
    raise ValueError("%s is not a number JSON allows" % name)


def nesting_place(source):
    """'line L column C' where brackets first nest deeper than NESTING_LIMIT."""
    depth = 0
    for match in re.finditer(r'"(?:[^"\\]|\\.)*"|[\[{]|[\]}]', source):
        token = match.group()
        if token in "[{":
            depth += 1
            if depth > NESTING_LIMIT:
                line = source.count("\n", 0, match.start()) + 1
                column = match.start() - (source.rfind("\n", 0, match.start()) + 1) + 1
                return "line %d column %d" % (line, column)
        elif token in "]}":
            depth -= 1
    return "some place"


def parse_record(data):
    """The Run in data (the bytes of one record); raises NotAResult."""
    try:
        source = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise NotAResult("not UTF-8 text (byte %d)" % e.start)
    try:
        parsed = json.loads(source, parse_constant=_no_constant)
    except json.JSONDecodeError as e:
        raise NotAResult("not JSON: %s at line %d column %d" % (e.msg, e.lineno, e.colno))
    except RecursionError:
        raise NotAResult("not a result: brackets nested more than %d deep at %s"
                         % (NESTING_LIMIT, nesting_place(source)))
    except ValueError as e:  # NaN or Infinity, or an integer of too many digits
        raise NotAResult("not JSON: %s" % str(e).split(";")[0])
    return check_run(parsed)


def read_runs(path, runs):
    """Appends the runs in path to runs; returns None, or why path is refused.
    A .jsonl file is read a line at a time, anything else as one record."""
    try:
        with open(path, "rb") as f:
            if not path.endswith(".jsonl"):
                # In pieces: read(RECORD_LIMIT + 1) would allocate that much
                # for every small file.
                pieces = []
                size = 0
                while True:
                    piece = f.read(READ_PIECE)
                    if not piece:
                        break
                    size += len(piece)
                    if size > RECORD_LIMIT:
                        return "larger than %d MiB, not a result" % (RECORD_LIMIT >> 20)
                    pieces.append(piece)
                try:
                    runs.append(parse_record(b"".join(pieces)))
                except NotAResult as e:
                    return str(e)
                return None
            found = 0
            number = 0
            while True:
                line = f.readline(RECORD_LIMIT + 1)
                if not line:
                    break
                number += 1
                if len(line) > RECORD_LIMIT:
                    return "line %d: longer than %d MiB, not a result" % (number,
                                                                       RECORD_LIMIT >> 20)
                if not line.strip():
                    continue
                try:
                    runs.append(parse_record(line))
                except NotAResult as e:
                    return "line %d: %s" % (number, e)
                found += 1
            return None if found else "no runs in it"
    except OSError as e:
        return e.strerror or str(e)
