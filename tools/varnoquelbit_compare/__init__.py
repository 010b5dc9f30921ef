"""varnoquelbit-compare: recorded varnoquelbit runs side by side, as a text
table, Markdown, CSV, a picture or a self-contained HTML page.

The command line is in command.py; reading.py turns result files into plain
run values, figures.py arranges them into rows, and each output has its own
module (text.py, page.py, picture.py)."""

PROGRAM = "varnoquelbit-compare"
# The project's version (CMakeLists.txt's project()); a test keeps them equal.
VERSION = "0.1.0"


def note(path, reason):
    """The one line on standard error for a failure about path."""
    import sys
    from .text import plain
    try:
        sys.stderr.write("%s: '%s': %s\n" % (PROGRAM, plain(path), plain(reason)))
        sys.stderr.flush()
    except (OSError, ValueError):
        pass
