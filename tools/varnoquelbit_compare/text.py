"""The text outputs: the table for a terminal, Markdown, wide and long CSV.

Every text from a result file is escaped for where it goes: control
characters (and the line and bidirectional-text separators) as \\xNN or
\\uNNNN in the table, the same plus Markdown's own characters in Markdown,
RFC 4180 quoting in CSV with cells a spreadsheet would run as a formula
(starting with = + - @, tab or carriage return) prefixed with '.
"""

import re

from .figures import (Figure, host_label, kernel_label, run_date, run_label_lines,
                      run_volumes, system_facts, volume_facts, volume_label)

# C0 and C1 controls, DEL, the line and paragraph separators and the
# bidirectional overrides: none may reach a terminal or a page as they are.
_UNSAFE = re.compile("[\x00-\x1f\x7f-\x9f\u2028\u2029\u202a-\u202e\u2066-\u2069]")


def _code(match):
    point = ord(match.group())
    return "\\x%02x" % point if point < 0x100 else "\\u%04x" % point


def plain(text):
    """text with every control character written as \\xNN (or \\uNNNN)."""
    return _UNSAFE.sub(_code, text)


# Inside a table cell only inline syntax counts: code, emphasis, links,
# HTML, entities, strikethrough, math and the cell separator.
_MARKDOWN_SPECIAL = re.compile(r"([\\`*_\[\]<>|~&$])")


def markdown(text):
    """text for a Markdown table cell: controls (line ends among them) as
    \\xNN, and every character Markdown or a table gives a meaning escaped."""
    return _MARKDOWN_SPECIAL.sub(r"\\\1", plain(text))


_CSV_QUOTED = re.compile('[,"\r\n]')


def csv_cell(text):
    """One RFC 4180 field; a formula's first character defused with '."""
    if text[:1] in ("=", "+", "-", "@", "\t", "\r"):
        text = "'" + text
    if _CSV_QUOTED.search(text):
        return '"' + text.replace('"', '""') + '"'
    return text


def write_csv_row(out, cells):
    out.write(",".join(csv_cell(cell) for cell in cells) + "\n")


# --- numbers -------------------------------------------------------------------

def fixed(value, digits=3):
    return "" if value is None else "%.*f" % (digits, value)


def ratio_text(value):
    return "" if value is None else "%.2fx" % value


# --- the table -----------------------------------------------------------------

def table_cell(cell):
    if cell is None:
        return "-"
    if isinstance(cell, str):
        return plain(cell)
    shown = fixed(cell.average)
    if cell.low is not None:
        shown += " (%s-%s)" % (fixed(cell.low), fixed(cell.high))
    if cell.spread is not None:
        shown += " sd %s" % fixed(cell.spread)
    if cell.ratio is not None:
        shown += " " + ratio_text(cell.ratio)
    return shown


def print_table(runs, rows, out):
    headers = [[plain(line) for line in run_label_lines(run)] for run in runs]
    height = max(len(h) for h in headers)
    first = ["Test (MB/s: average (min-max) sd spread, ratio to first run)"]
    first += [""] * (height - 1)
    columns = [first + [plain(row.label) for row in rows]]
    for index, header in enumerate(headers):
        cells = [table_cell(row.cells[index]) for row in rows]
        columns.append(header + [""] * (height - len(header)) + cells)
    widths = [max(len(shown) for shown in column) for column in columns]
    for line in range(height + len(rows)):
        texts = []
        for number, column in enumerate(columns):
            shown = column[line]
            texts.append(shown.ljust(widths[number]) if number == 0
                         else shown.rjust(widths[number]))
        out.write("  ".join(texts).rstrip() + "\n")
        if line == height - 1:
            out.write("  ".join("-" * w for w in widths) + "\n")


# --- Markdown ------------------------------------------------------------------

def run_name(number, run):
    return "%d: %s" % (number, run_date(run))


def markdown_rows(runs, rows):
    """The Markdown table's rows: (row index, run index, [test, run, volume],
    [average, minimum, maximum, spread, ratio]) as texts; the page's table
    holds the same."""
    lines = []
    for row_index, row in enumerate(rows):
        for index, run in enumerate(runs):
            cell = row.cells[index]
            if cell is None:
                continue
            volume = row.volumes[index]
            first = [row.label, run_name(index + 1, run), volume_label(volume) if volume else ""]
            if isinstance(cell, Figure):
                figures = [fixed(cell.average), fixed(cell.low), fixed(cell.high),
                           fixed(cell.spread), ratio_text(cell.ratio)]
            else:
                figures = [cell, "", "", "", ""]
            lines.append((row_index, index, first, figures))
    return lines


def print_markdown(runs, rows, out):
    out.write("| Test | Run | Volume | MB/s | Min | Max | Spread | Ratio |\n")
    out.write("|---|---|---|--:|--:|--:|--:|--:|\n")
    for _, _, first, figures in markdown_rows(runs, rows):
        out.write("| " + " | ".join(markdown(shown) for shown in first + figures) + " |\n")
    out.write("\nMB/s: 1 MB = 1,048,576 bytes; Min and Max: the slowest and fastest trial; "
              "Spread: the trials' sample standard deviation; Ratio: the average over that of "
              "the earliest run with the test.\n")
    out.write("\nRuns:\n\n")
    for index, run in enumerate(runs):
        facts = ", ".join("%s %s" % (name, value) for name, value in system_facts(run.system))
        facts = facts or "no system recorded"
        out.write("%d. %s: %s\n" % (index + 1, markdown(run_date(run)), markdown(facts)))
        for volume in run_volumes(run):
            facts = ", ".join("%s %s" % (name, value) for name, value in volume_facts(volume))
            out.write("   - %s\n" % markdown(facts))


# --- CSV -----------------------------------------------------------------------

def print_csv(runs, rows, out):
    """The wide CSV: one row per test, three columns (average, minimum,
    maximum) per run, full-precision numbers. Callers parse it: unchanged."""
    header = ["test"]
    for run in runs:
        label = "; ".join(run_label_lines(run))
        header += [label + " MB/s", label + " min", label + " max"]
    write_csv_row(out, header)
    for row in rows:
        cells = [row.label]
        for cell in row.cells:
            if isinstance(cell, Figure):
                cells += ["" if value is None else repr(value) for value in cell[:3]]
            else:
                cells += [cell or "", "", ""]
        write_csv_row(out, cells)


LONG_COLUMNS = ("date", "run", "host", "kernel", "distribution", "test", "method", "drive",
                "file_size", "buffer_size", "file_count", "device", "model", "transport",
                "file_system", "mount_point", "trial", "outcome", "mb_per_s", "seconds")


def print_csv_long(runs, rows, out):
    """The long CSV: one row per run, test and trial (one for a test without
    trials), for pandas and spreadsheets."""
    write_csv_row(out, LONG_COLUMNS)
    del rows  # every test of every run is a row, repeated ones included
    for index, run in enumerate(runs):
        system = run.system
        about_run = [run.start, str(index + 1), host_label(system), kernel_label(system),
                     system.distribution or system.os_line or ""]
        for test in run.tests:
            volume = test.volume
            about_test = [test.label, test.method, test.drive, test.file_size,
                          test.buffer_size or "", str(test.file_count)]
            about_test += [(getattr(volume, name) or "") if volume else ""
                           for name in ("device", "model", "transport", "fs_type",
                                        "mount_point")]
            if not test.trials:
                outcome = "stopped: %s" % (test.stopped_at or "?") \
                    if test.outcome == "stopped" else "no trials"
                write_csv_row(out, about_run + about_test + ["", outcome, "", ""])
            for number, trial in enumerate(test.trials):
                index_ = trial.index if trial.index is not None else number
                write_csv_row(out, about_run + about_test + [
                    str(index_), trial.outcome or "",
                    "" if trial.mb_per_s is None else repr(trial.mb_per_s),
                    "" if trial.seconds is None else repr(trial.seconds)])
