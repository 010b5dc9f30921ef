"""Runs arranged as rows: one per test (method, drive, sizes, file count),
one cell per run, and what every output says about a run.

A cell is a Figure, a text saying why the run has no figure for the test
("stopped: buffer", "no result"), or None when the run did not have the test.
"""

import math
from collections import namedtuple

# average, low and high first: the wide CSV prints those three.
Figure = namedtuple("Figure", "average low high speeds spread ratio")
# volumes: per run, the volume its test of the row measured (or None).
Row = namedtuple("Row", "label cells volumes")

# Speeds spanning more than this factor are drawn on a log scale.
LOG_SCALE_SPAN = 20.0


def good_speeds(test):
    """The MB/s of the trials that measured one."""
    return [trial.mb_per_s for trial in test.trials if trial.mb_per_s is not None]


def spread(speeds):
    """The sample standard deviation (n - 1) of speeds; None below two."""
    if len(speeds) < 2:
        return None
    mean = math.fsum(speeds) / len(speeds)
    return math.sqrt(math.fsum((s - mean) ** 2 for s in speeds) / (len(speeds) - 1))


def no_figure(test):
    if test.outcome == "stopped":
        return "stopped: %s" % (test.stopped_at or "?")
    return "no result"


def figure_of(test):
    if test.average is None:
        return no_figure(test)
    speeds = good_speeds(test)
    return Figure(test.average, min(speeds) if speeds else None,
                  max(speeds) if speeds else None, speeds, spread(speeds), None)


def by_date(runs):
    """The runs' indexes, earliest start first (ties in the given order)."""
    return sorted(range(len(runs)), key=lambda index: (runs[index].start, index))


def build_table(runs):
    """Rows in order of first appearance. A test a run holds twice gets a
    row per repetition ("#2"). Each figure's ratio is its average over that
    of the earliest run (by date) with a figure for the test."""
    rows = {}
    order = []
    for column, run in enumerate(runs):
        seen = {}
        for test in run.tests:
            seen[test.key] = seen.get(test.key, 0) + 1
            key = test.key + (seen[test.key],)
            if key not in rows:
                label = test.label
                if seen[test.key] > 1:
                    label += " #%d" % seen[test.key]
                rows[key] = Row(label, [None] * len(runs), [None] * len(runs))
                order.append(key)
            rows[key].cells[column] = figure_of(test)
            rows[key].volumes[column] = test.volume
    dates = by_date(runs)
    for key in order:
        cells = rows[key].cells
        first = next((cells[i] for i in dates if isinstance(cells[i], Figure)), None)
        for column, cell in enumerate(cells):
            if isinstance(cell, Figure) and first.average > 0:
                cells[column] = cell._replace(ratio=cell.average / first.average)
    return [rows[key] for key in order]


def wants_log_scale(rows):
    """True when the speeds drawn (averages and trials) span more than
    LOG_SCALE_SPAN; zero speeds cannot be drawn on a log scale."""
    speeds = [s for row in rows for cell in row.cells if isinstance(cell, Figure)
              for s in [cell.average] + cell.speeds]
    if not speeds or min(speeds) <= 0:
        return False
    return max(speeds) / min(speeds) > LOG_SCALE_SPAN


# --- what a run is -------------------------------------------------------------

def run_date(run):
    start = run.start
    return start[:16].replace("T", " ") + " UTC" if len(start) >= 16 else start


def volume_label(volume):
    """Model (or device), file system and mount point."""
    parts = [volume.model or volume.device, volume.fs_type, volume.mount_point]
    return " ".join(part for part in parts if part)


def run_volumes(run):
    """The run's distinct volumes, in order of first use, None left out."""
    volumes = []
    for test in run.tests:
        if test.volume is not None and test.volume not in volumes:
            volumes.append(test.volume)
    return volumes


def run_label_lines(run):
    """A run's column label: its date, then each volume it measured."""
    lines = [run_date(run)]
    for volume in run_volumes(run):
        label = volume_label(volume)
        if label and label not in lines[1:]:
            lines.append(label)
    return lines


def host_label(system):
    """What the record says of the machine (it holds no host name): processor,
    logical processors and memory."""
    parts = []
    if system.cpu_model:
        parts.append(system.cpu_model)
    if system.logical_cpus is not None:
        parts.append("%d CPUs" % system.logical_cpus)
    if system.memory_bytes is not None:
        parts.append("%.1f GiB" % (system.memory_bytes / 2 ** 30))
    return ", ".join(parts)


def kernel_label(system):
    parts = (system.kernel_name, system.kernel_release, system.kernel_machine)
    return " ".join(part for part in parts if part)


def system_facts(system):
    """(name, value) pairs of what is known of the system."""
    facts = [("kernel", kernel_label(system)),
             ("distribution", system.distribution or system.os_line),
             ("host", host_label(system))]
    return [(name, value) for name, value in facts if value]


def volume_facts(volume):
    """(name, value) pairs of what is known of a volume."""
    device = volume.device
    if device and (volume.vendor or volume.model):
        device += " (%s)" % " ".join(p for p in (volume.vendor, volume.model) if p)
    facts = [("device", device or volume.model), ("transport", volume.transport),
             ("file system", volume.fs_type), ("mount point", volume.mount_point),
             ("source", volume.source)]
    return [(name, value) for name, value in facts if value]
