"""The results page: one HTML file with its style and script inline, which
needs no network (its Content-Security-Policy allows none) and works opened
from disk.

The table is written here, with every text from a result file HTML-escaped;
page.js sorts and filters it, hides runs and draws the chart from the
figures embedded as JSON, whose <, >, & and line separators are written as
\\u escapes so that no text can end the script element.
"""

import html
import json
import os

from . import PROGRAM, VERSION, note
from .figures import Figure, run_volumes, system_facts, volume_facts, volume_label, wants_log_scale
from .text import markdown_rows, plain, run_name

HERE = os.path.dirname(os.path.abspath(__file__))
# Colours told apart with colour blindness (Okabe and Ito).
COLOURS = ["#0072B2", "#E69F00", "#009E73", "#CC79A7", "#56B4E9", "#D55E00", "#F0E442",
           "#000000"]
COLUMNS = ("Test", "Run", "Volume", "MB/s", "Min", "Max", "Spread", "Ratio")


def e(text):
    """text for HTML, control characters made visible as \\xNN first."""
    return html.escape(plain(text), quote=True)


def script_json(value):
    """value as JSON that may stand inside a <script> element."""
    text = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    for character, escape in (("<", "\\u003c"), (">", "\\u003e"), ("&", "\\u0026"),
                              ("\u2028", "\\u2028"), ("\u2029", "\\u2029")):
        text = text.replace(character, escape)
    return text


def options(element_id, title, values):
    items = ['<option value="">all</option>']
    items += ['<option value="%d">%s</option>' % (number, e(value))
              for number, value in enumerate(values)]
    return '<label>%s <select id="%s">%s</select></label>' % (title, element_id, "".join(items))


def facts_list(facts):
    return "<dl>%s</dl>" % "".join("<dt>%s</dt><dd>%s</dd>" % (e(name), e(value))
                                   for name, value in facts)


def run_item(number, run):
    volumes = run_volumes(run)
    summary = run_name(number + 1, run)
    labels = [volume_label(volume) for volume in volumes]
    if labels:
        summary += " \u2014 " + "; ".join(label for label in labels if label)
    parts = ["<h2>System</h2>", facts_list(system_facts(run.system))]
    for volume in volumes:
        parts += ["<h2>Volume %s</h2>" % e(volume_label(volume)), facts_list(volume_facts(volume))]
    return ('<li><label><input type="checkbox" class="run-shown" data-run="%d" checked> shown'
            '</label> <span class="swatch" style="background:%s"></span>'
            '<details><summary>%s</summary>%s</details></li>'
            % (number, COLOURS[number % len(COLOURS)], e(summary), "".join(parts)))


def build_page(runs, rows, log_scale=None):
    """The page's text. log_scale None: chosen by the speeds' span."""
    if log_scale is None:
        log_scale = wants_log_scale(rows)
    days = sorted({run.start[:10] for run in runs})
    drives = []
    for row in rows:
        for volume in row.volumes:
            label = volume_label(volume) if volume else "(unknown)"
            if label not in drives:
                drives.append(label)
    entries = []
    lines = []
    for row_number, run_number, first, figures in markdown_rows(runs, rows):
        row = rows[row_number]
        cell = row.cells[run_number]
        volume = row.volumes[run_number]
        attributes = 'data-run="%d" data-test="%d" data-drive="%d" data-day="%d"' % (
            run_number, row_number, drives.index(volume_label(volume) if volume else "(unknown)"),
            days.index(runs[run_number].start[:10]))
        if isinstance(cell, Figure):
            attributes += ' data-entry="%d"' % len(entries)
            entries.append({"run": run_number, "test": row_number, "average": cell.average,
                            "trials": cell.speeds})
            values = [cell.average, cell.low, cell.high, cell.spread, cell.ratio]
        else:
            values = [None] * 5
        cells = ['<td>%s</td>' % e(first[0]),
                 '<td data-value="%d">%s</td>' % (run_number, e(first[1])),
                 '<td>%s</td>' % e(first[2])]
        for value, shown in zip(values, figures):
            sort_value = ' data-value="%r"' % value if value is not None else ""
            cells.append('<td class="number"%s>%s</td>' % (sort_value, e(shown)))
        lines.append("<tr %s>%s</tr>" % (attributes, "".join(cells)))
    data = {"runs": [plain(run_name(n + 1, run)) for n, run in enumerate(runs)],
            "tests": [plain(row.label) for row in rows], "colours": COLOURS, "entries": entries}
    with open(os.path.join(HERE, "page.css"), encoding="utf-8") as f:
        style = f.read()
    with open(os.path.join(HERE, "page.js"), encoding="utf-8") as f:
        script = f.read()
    return PAGE % {
        "program": e("%s %s" % (PROGRAM, VERSION)), "style": style, "script": script,
        "count": len(runs), "filters": "".join((
            options("filter-drive", "Drive", drives),
            options("filter-test", "Test", [row.label for row in rows]),
            options("filter-date", "Date", days))),
        "checked": " checked" if log_scale else "",
        "head": "".join('<th scope="col">%s</th>' % column for column in COLUMNS),
        "rows": "\n".join(lines), "runs": "\n".join(run_item(n, run) for n, run in enumerate(runs)),
        "figures": script_json(data)}


PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="%(program)s">
<link rel="icon" href="data:,">
<title>Varnoquelbit runs</title>
<style>
%(style)s</style>
</head>
<body>
<h1>Varnoquelbit: %(count)d run(s) side by side</h1>
<div class="filters">%(filters)s
<label><input type="checkbox" id="log-scale"%(checked)s> log scale</label></div>
<ul class="runs">
%(runs)s
</ul>
<svg id="chart" xmlns="http://www.w3.org/2000/svg" width="960" height="420" role="img" aria-label="MB/s per test: every trial a point, each run's average a bar"></svg>
<p class="note">Points: every trial's MB/s (1 MB = 1,048,576 bytes); bars: each run's average for the test. Click a column's title to sort by it.</p>
<table id="results">
<thead><tr>%(head)s</tr></thead>
<tbody>
%(rows)s
</tbody>
</table>
<p class="note">Spread: the sample standard deviation of the test's trials (none below two). Ratio: the average over that of the earliest run with the test.</p>
<script type="application/json" id="figures">%(figures)s</script>
<script>
%(script)s</script>
</body>
</html>
"""


def write_page(runs, rows, path, log_scale=None):
    """Writes the page to path; 1 with one line on standard error when it
    cannot be written."""
    page = build_page(runs, rows, log_scale)
    try:
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write(page)
    except OSError as error:
        note(path, error.strerror or str(error))
        return 1
    return 0
