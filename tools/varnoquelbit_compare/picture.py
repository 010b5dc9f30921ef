"""The picture: grouped bars, one group per test and one bar per run, its
average written on it and every trial a point on it. matplotlib is needed
only here.

Texts from result files are drawn as they read in the table (control
characters as \\xNN), with matplotlib's mathtext sign $ escaped, so that any
name draws and the SVG stays well-formed XML. The legend goes below
everything else the axes draw, measured after a first layout, so the test
labels never run into it.
"""

import textwrap

from . import PROGRAM, note
from .figures import Figure, run_label_lines, wants_log_scale
from .text import plain

LABEL_WIDTH = 24  # characters of a test label's line under its group


def drawn(text):
    """text as matplotlib should draw it literally."""
    return plain(text).replace("$", r"\$")


def draw(runs, rows, log_scale=None):
    """The figure of the runs (matplotlib must be importable); log_scale None:
    chosen by the speeds' span."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    matplotlib.rcParams["svg.hashsalt"] = PROGRAM  # the same picture for the same runs

    if log_scale is None:
        log_scale = wants_log_scale(rows)
    # Tests that no run measured (stopped at a check everywhere) get no group.
    rows = [row for row in rows if any(isinstance(cell, Figure) for cell in row.cells)]
    count = len(runs)
    width = 0.8 / count
    fig, ax = plt.subplots(figsize=(max(6.4, 1.6 + 0.45 * count * len(rows)), 4.8))
    colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    for column, run in enumerate(runs):
        colour = colours[column % len(colours)]
        xs, heights = [], []
        for number, row in enumerate(rows):
            cell = row.cells[column]
            if isinstance(cell, Figure):
                xs.append(number + (column - (count - 1) / 2) * width)
                heights.append(cell.average)
        bars = ax.bar(xs, heights, width * 0.9, color=colour, alpha=0.55,
                      label=drawn(" | ".join(run_label_lines(run))))
        ax.bar_label(bars, labels=["%.1f" % h for h in heights], fontsize=7, padding=2,
                     rotation=90 if count * len(rows) > 8 else 0)
        for number, row in enumerate(rows):
            cell = row.cells[column]
            points = cell.speeds if isinstance(cell, Figure) else []
            if not points:
                continue
            centre = number + (column - (count - 1) / 2) * width
            spread = width * 0.5
            offsets = [0.0] if len(points) == 1 else [
                -spread / 2 + spread * i / (len(points) - 1) for i in range(len(points))]
            ax.scatter([centre + o for o in offsets], points, s=14, color=colour,
                       edgecolors="black", linewidths=0.5, zorder=3)
    ax.set_xticks(range(len(rows)))
    ax.set_xticklabels([textwrap.fill(drawn(row.label), LABEL_WIDTH, break_long_words=True)
                        for row in rows], fontsize=8)
    ax.set_xlim(-0.5, len(rows) - 0.5)
    ax.set_ylabel("MB/s (1 MB = 1,048,576 bytes)" + (", log scale" if log_scale else ""))
    ax.set_title("Average per test (bars) and every trial (points)")
    if log_scale:
        ax.set_yscale("log")
        ax.margins(y=0.15)
    else:
        ax.set_ylim(bottom=0)
        ax.margins(y=0.12)
    ax.grid(axis="y", alpha=0.3)
    place_legend(fig, ax)
    return fig


def place_legend(fig, ax):
    """The legend below the axes and all they draw (tick labels, value
    labels, axis title), measured by a first layout."""
    fig.canvas.draw()
    renderer = fig.canvas.get_renderer()
    lowest = ax.get_tightbbox(renderer).y0
    _, y = ax.transAxes.inverted().transform((0, lowest))
    ax.legend(fontsize=7, loc="upper center", bbox_to_anchor=(0.5, y - 0.02), frameon=False)


def plot(runs, rows, path, log_scale=None):
    """Draws the runs into path (.svg or .png); 1 with one line on standard
    error when matplotlib is missing or the file cannot be written."""
    try:
        import matplotlib  # noqa: F401
    except ImportError as error:
        note(path, "--plot needs matplotlib (Debian: python3-matplotlib): %s" % error)
        return 1
    import matplotlib.pyplot as plt
    fig = draw(runs, rows, log_scale)
    try:
        fig.savefig(path, bbox_inches="tight",
                    metadata={"Date": None} if path.lower().endswith(".svg") else None)
    except OSError as error:
        note(path, error.strerror or str(error))
        return 1
    finally:
        plt.close(fig)
    return 0
