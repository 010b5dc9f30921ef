#!/usr/bin/env python3
"""Compares the benchmark's copy figures with what standard tools reach on the
same volume, so that a slow figure can be told apart from a slow volume.

Every round runs, one after another on the same directory and the same amount
of data (4 files of 64 MiB):

  - the program on an LL test with a 1 MiB buffer, its peer dd with bs=1M,
    iflag=direct, oflag=direct, conv=fsync, and fio's sequential direct read and
    write of 1 MiB blocks;
  - the same three with 64 KiB;
  - the program on an HL test; cp --reflink=never of 4 files that are not in
    the page cache; and as reference rows the same copies by sendfile and by
    copy_file_range (each source announced as read sequentially, the call
    repeated to the file's end), the two kernel copies a program could use
    instead of a read/write loop.

With --loop-volumes (root) the last group runs, 9 rounds by default, on three
fresh loop volumes, ext4 (where LL and dd with 1 MiB run too), and two that
can share blocks between files, XFS made with reflink=1 and btrfs; each sits
on a sparse image attached with direct I/O, so that the loop device does not
cache the image's pages a second time. A summary table of all three ends the
run.

The program runs one trial per invocation, so its trials interleave with the
tools' runs; within each pair the order alternates from round to round, and
within the HL group it turns by one place each round.
Every measurement starts from the same state: a sync, a short rest, then page
cache filled and dropped (see warm_page_cache_memory). The program copies test
files it has just written with direct I/O; the tools get the same: their
sources, with content built like the program's, are written afresh that way
before each measurement, and fio reads the file its write job has just laid
out. The figures are MB/s with 1 MB = 1,048,576 bytes, as the program prints
them.

cp and the kernel copies go through the same steps as the program's HL
trial, in the same order. A virtual machine's guest hands memory that has
been free for about 2 s back to the host, and whoever fills the page cache
after that pays the host's page faults: a copy then runs about 3 times
slower. The program writes its test files between the warming and its clock,
so each peer does the same: the warming, then its sources written past the
cache, then its copy at once. The time from the end of the warming to the
start of the copy is shown for both: for the program up to " Testing..." on
its console (read through a pseudo-terminal, where the program's words
appear as they are written). Written the other way round (sources, warming,
then a pause as long as the program's), cp ran 7 to 11% below the program's
HL in two short runs on an ext4 loop volume, and 7 to 9% below cp run this
way, which came within 2% of HL.

Whether a copy through the page cache meets such faults depends on the
guest's memory history too, not only on the pause: the same HL trial, after
the same warming, ran at 618 and at 1,630 MB/s on an ext4 loop volume, its
reads taking 220 us per 128 KiB instead of 17 us. With --best-of N every
measurement is made N times back to back and the fastest kept, for the
program and for each peer alike (a hypervisor's page faults only ever slow a
copy down); a peer that gains much from its second run and the program that
does not point at a difference between them, not at noise.

The script builds nothing: it takes the program's path as an argument. It
always exits 0 once it has measured (a measurement, not a test); 2 means it
could not start.
"""
import argparse
import json
import os
import pty
import re
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 1024 * 1024
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MEMORY_FILESYSTEMS = {"tmpfs", "ramfs", "devtmpfs", "hugetlbfs", "squashfs"}

RESULT = re.compile(r"Result:\s*([0-9.]+)\[MB/s\] \(\s*([0-9.]+)\[sec\]\)")
DD_SECONDS = re.compile(r"copied, ([0-9.eE+-]+) s,")


# ---------------------------------------------------------------------------
# The volume and its page cache

def filesystem_of(path):
    """(mount point, file system type, source) of the mount that holds path."""
    path = os.path.realpath(path)
    best = ("", "?", "?")
    with open("/proc/self/mountinfo") as f:
        for line in f:
            left, _, right = line.partition(" - ")
            mount_point = left.split()[4].replace("\\040", " ")
            fstype, source = right.split()[:2]
            inside = path == mount_point or path.startswith(mount_point.rstrip("/") + "/")
            if inside and len(mount_point) >= len(best[0]):
                best = (mount_point, fstype, source)
    return best


class Cache:
    """Keeps the benchmark's files out of the page cache before each measurement.

    By default each file is written back with fsync and then dropped with
    posix_fadvise(DONTNEED): this touches only our files, so the other users of
    the machine keep their cache. With drop_all, the whole page cache is written
    back and dropped through /proc/sys/vm/drop_caches (root only)."""

    def __init__(self, drop_all):
        self.drop_all = drop_all

    def describe(self):
        if self.drop_all:
            return "sync + echo 1 > /proc/sys/vm/drop_caches"
        return "fsync + posix_fadvise(POSIX_FADV_DONTNEED) per file"

    def evict(self, paths):
        os.sync()
        if self.drop_all:
            with open("/proc/sys/vm/drop_caches", "w") as f:
                f.write("1\n")
            return
        for path in paths:
            fd = os.open(path, os.O_RDONLY)
            try:
                os.fsync(fd)
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            finally:
                os.close(fd)


def write_source_content(path, size, unique):
    """Random content for one source. By default it is built as the program builds
    a test file: one 1 MiB block of random bytes, each byte written twice, repeated
    to the end of the file, a new block for each file. The storage below the file
    system may read such content at another speed than unique data (a virtual
    disk with deduplication or compression does), so the tools get the same kind
    of content as the program. With unique, every MiB is new random data."""
    with open(path, "wb") as f:
        block = b""
        left = size
        while left > 0:
            if unique:
                block = os.urandom(MIB)
            elif not block:
                half = os.urandom(MIB // 2)
                doubled = bytearray(MIB)
                doubled[0::2] = half
                doubled[1::2] = half
                block = bytes(doubled)
            f.write(block[:min(left, MIB)])
            left -= MIB
        f.flush()
        os.fsync(f.fileno())


def warm_page_cache_memory(directory, mib):
    """Fills mib MiB of page cache with a file that is deleted before it reaches
    the disk, so that much memory was in use a moment before the measurement
    starts. A guest of a virtual machine hands memory that has been free for a few
    seconds back to the host (free page reporting); the next copy through the
    page cache then pays the host's page faults on hundreds of MiB, and how much
    of that a copy meets depends only on how long the machine was idle before it.
    Every measurement starts from the same state this way."""
    if mib <= 0:
        return
    path = os.path.join(directory, "warm.tmp")
    block = os.urandom(MIB)
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    try:
        for _ in range(mib):
            os.write(fd, block)
    finally:
        os.close(fd)
        os.unlink(path)


def write_like_the_program(originals, sources):
    """Writes each source afresh from its original the way the program writes its
    test files just before it copies them: new blocks, 1 MiB direct writes, one
    fsync. Copying files that were written once and then read round after round
    would measure whatever cache below the file system keeps them (on a virtual
    disk, the host's), not the volume."""
    env = dict(os.environ, LC_ALL="C")
    for original, source in zip(originals, sources):
        remove_quietly(source)
        proc = subprocess.run(["dd", "if=" + original, "of=" + source, "bs=1M",
                               "iflag=direct", "oflag=direct", "conv=fsync"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        if proc.returncode != 0:
            complain("writing " + source, proc.stderr.decode("latin-1"))
            return False
    return True


def remove_quietly(path):
    if os.path.isdir(path):
        shutil.rmtree(path, ignore_errors=True)
    elif os.path.lexists(path):
        os.unlink(path)


# ---------------------------------------------------------------------------
# One measurement each; every function returns MB/s, or None after a failure
# that it has reported on stderr.

def complain(what, detail):
    print("  !! %s: %s" % (what, detail.strip()[-600:]), file=sys.stderr)


def run_program(program, run_dir, ini_line):
    """One trial of the program, started in run_dir with ini_line as its only test."""
    with open(os.path.join(run_dir, "Varnoquelbit.ini"), "w") as f:
        f.write(ini_line + "\n")
    os.sync()
    proc = subprocess.run([program], cwd=run_dir, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=900)
    text = proc.stdout.decode("latin-1")
    match = RESULT.search(text)
    if proc.returncode != 0 or not match:
        complain("program " + ini_line, text)
        return None
    return float(match.group(1))


def run_program_timed(program, run_dir, ini_line, since):
    """One HL trial of the program, like run_program, with its console on a
    pseudo-terminal; also returns the seconds from `since` (a perf_counter
    reading) to " Testing...", where the program starts its clock."""
    with open(os.path.join(run_dir, "Varnoquelbit.ini"), "w") as f:
        f.write(ini_line + "\n")
    os.sync()
    master, slave = pty.openpty()
    proc = subprocess.Popen([program], cwd=run_dir, stdin=subprocess.DEVNULL,
                            stdout=slave, stderr=slave)
    os.close(slave)
    text = b""
    testing = None
    deadline = time.monotonic() + 900
    while time.monotonic() < deadline:
        if not select.select([master], [], [], 1)[0]:
            continue
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the program has ended and closed the terminal
            break
        if not chunk:
            break
        text += chunk
        if testing is None and b" Testing..." in text:
            testing = time.perf_counter() - since
    os.close(master)
    if proc.poll() is None:
        proc.kill()
    proc.wait()
    decoded = text.decode("latin-1").replace("\r\n", "\n")
    match = RESULT.search(decoded)
    if proc.returncode != 0 or not match or testing is None:
        complain("program " + ini_line, decoded)
        return None, None
    return float(match.group(1)), testing


def run_dd(originals, sources, work, block, cache, mib_total):
    """dd of every source, just written, to a fresh file; MB/s from the sum of
    dd's own times (dd starts its clock after opening both files and stops it
    after the fsync)."""
    if not write_like_the_program(originals, sources):
        return None
    targets = [os.path.join(work, "dd%d.dat" % i) for i in range(len(sources))]
    for target in targets:
        remove_quietly(target)
    cache.evict(sources)
    seconds = 0.0
    env = dict(os.environ, LC_ALL="C")
    for source, target in zip(sources, targets):
        proc = subprocess.run(["dd", "if=" + source, "of=" + target, "bs=" + block,
                               "iflag=direct", "oflag=direct", "conv=fsync"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        text = proc.stderr.decode("latin-1")
        match = DD_SECONDS.search(text)
        if proc.returncode != 0 or not match:
            complain("dd bs=" + block, text)
            return None
        seconds += float(match.group(1))
    for target in targets:
        remove_quietly(target)
    return mib_total / seconds if seconds > 0 else None


def copy_with_cp(sources, target):
    proc = subprocess.run(["cp", "--reflink=never"] + sources + [target],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return proc.stderr.decode("latin-1") if proc.returncode != 0 else None


def copy_with_kernel(call):
    """A copy of every source by one kernel call, the way a program that uses
    it copies: the source opened and announced as read sequentially, then the
    call repeated until the file's end."""
    def copy(sources, target):
        for source in sources:
            src = dst = -1
            try:
                src = os.open(source, os.O_RDONLY)
                dst = os.open(os.path.join(target, os.path.basename(source)),
                              os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
                os.posix_fadvise(src, 0, 0, os.POSIX_FADV_SEQUENTIAL)
                left = os.fstat(src).st_size
                while left > 0:
                    n = call(src, dst, left)
                    if n <= 0:
                        return "%s stopped with %d bytes left" % (source, left)
                    left -= n
            except OSError as error:
                return "%s: %s" % (source, error)
            finally:
                for fd in (src, dst):
                    if fd >= 0:
                        os.close(fd)
        return None
    return copy


# The copies measured against the program's HL: cp --reflink=never, the copy
# users run, and as reference rows the two kernel copies a program could use
# instead (copy_file_range clones where the file system can share blocks).
PEERS = [("cp", copy_with_cp),
         ("sendfile", copy_with_kernel(lambda src, dst, left: os.sendfile(dst, src, None, left))),
         ("copy_file_range", copy_with_kernel(lambda src, dst, left: os.copy_file_range(src, dst, left)))]


def run_peer(name, copy, originals, sources, work, cache, mib_total, warmed, pauses):
    """One copy of every source, just written and out of the page cache, into a
    fresh directory, timed from start to end. Like the program's HL trial the
    copies are not synced inside the timed part; they are removed and the
    volume synced afterwards, so their dirty pages do not weigh on the next
    measurement. Like the program, it starts right after the page cache was
    filled and dropped (at `warmed`, a perf_counter reading) and writes its
    sources first; the seconds from `warmed` to the copy's start are appended
    to `pauses`."""
    if not write_like_the_program(originals, sources):
        return None
    target = os.path.join(work, "peer")
    remove_quietly(target)
    os.mkdir(target)
    cache.evict(sources)
    start = time.perf_counter()
    pauses.append(start - warmed)
    failed = copy(sources, target)
    seconds = time.perf_counter() - start
    remove_quietly(target)
    os.sync()
    if failed is not None:
        complain(name, failed)
        return None
    return mib_total / seconds


def run_fio(path, rw, block, mib_total, cache):
    """fio's sequential direct read or write with psync; MB/s from its bandwidth.
    The write lays the file out afresh; the read that follows it reads that file,
    just written, as the program reads its test files."""
    command = ["fio", "--name=" + rw[0], "--rw=" + rw, "--bs=" + block,
               "--size=%dM" % mib_total, "--direct=1", "--ioengine=psync",
               "--filename=" + path, "--output-format=json"]
    if rw == "write":
        remove_quietly(path)
        command.append("--end_fsync=1")
    else:
        cache.evict([path])
    os.sync()
    proc = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        job = json.loads(proc.stdout.decode("utf-8", "replace"))["jobs"][0]
        bandwidth = job[rw]["bw_bytes"]
    except (ValueError, KeyError, IndexError):
        complain("fio " + rw + " bs=" + block, proc.stderr.decode("latin-1")
                 + proc.stdout.decode("latin-1"))
        return None
    if proc.returncode != 0 or job.get("error", 0) != 0 or bandwidth <= 0:
        complain("fio " + rw + " bs=" + block, proc.stderr.decode("latin-1"))
        return None
    return bandwidth / MIB


def copy_bound(read, write):
    """The fastest a copy can go that reads R and writes W one after the other."""
    if read is None or write is None:
        return None
    return read * write / (read + write)


# ---------------------------------------------------------------------------
# Rounds and the table

def ratio(a, b):
    return a / b if a is not None and b else None


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def quartiles(values):
    """The first and third quartiles, or None when there are too few values."""
    values = [v for v in values if v is not None]
    if len(values) < 2:
        return None
    q = statistics.quantiles(values, n=4, method="inclusive")
    return q[0], q[2]


def show(value, digits=3):
    return ("%.*f" % (digits, value)) if value is not None else "-"


def measure(args, work, with_ll=True):
    files, file_mib = args.files, args.file_mib
    mib_total = files * file_mib
    cache = Cache(args.drop_caches)
    run_dir = os.path.join(work, "program")
    target = os.path.join(work, "target")
    os.mkdir(run_dir)
    os.mkdir(target)
    originals = [os.path.join(work, "original%d.dat" % i) for i in range(files)]
    for original in originals:
        write_source_content(original, file_mib * MIB, args.unique_content)
    sources = [os.path.join(work, "src%d.dat" % i) for i in range(files)]
    fio_file = os.path.join(work, "fio.dat")

    drive = os.path.abspath(target)
    if not args.loop_volumes:
        blocks = [("1M", "1M"), ("64K", "64K")]
    elif with_ll:
        blocks = [("1M", "1M")]
    else:
        blocks = []
    figures = {}  # name -> list of per-round MB/s
    warmed = {"at": 0.0}  # when the page cache was last filled and dropped

    def warm():
        warm_page_cache_memory(work, args.warm_mib)
        warmed["at"] = time.perf_counter()

    def record(name, step):
        # Whatever the steps before left to write back, below the file system
        # too, is written before this one starts; then memory is put to use.
        # With --best-of the same measurement is made again at once and the
        # fastest kept: what slows one of them (see warm_page_cache_memory)
        # comes from outside the copy, and it never speeds one up.
        values = []
        for _ in range(args.best_of):
            os.sync()
            time.sleep(args.settle)
            warm()
            values.append(step())
        value = None if None in values else max(values)
        figures.setdefault(name, []).append(value)
        others = "" if len(values) == 1 else "   (of %s)" % " ".join(show(v, 0) for v in values)
        print("    %-14s %10s MB/s%s" % (name, show(value), others), flush=True)

    def run_hl():
        value, pause = run_program_timed(args.program, run_dir, ini, warmed["at"])
        if pause is not None:
            figures.setdefault("HL pause", []).append(pause)
        return value

    for round_number in range(args.rounds):
        print("round %d of %d (load %.2f)" % (round_number + 1, args.rounds,
                                              os.getloadavg()[0]), flush=True)
        program_first = round_number % 2 == 0
        for buffer, block in blocks:
            ini = "LL %s %dM %s %d 1" % (drive, file_mib, buffer, files)
            pair = [("LL " + buffer, lambda: run_program(args.program, run_dir, ini)),
                    ("dd " + block,
                     lambda: run_dd(originals, sources, work, block, cache, mib_total))]
            for name, step in (pair if program_first else reversed(pair)):
                record(name, step)
            if args.loop_volumes:
                continue
            record("fio write " + block,
                   lambda: run_fio(fio_file, "write", block, mib_total, cache))
            record("fio read " + block,
                   lambda: run_fio(fio_file, "read", block, mib_total, cache))
        ini = "HL %s %dM %d 1" % (drive, file_mib, files)
        # Each peer writes its sources after the warming, as the program
        # writes its test files. The order turns by one place each round.
        group = [("HL", run_hl)]
        for name, copy in PEERS:
            group.append((name, lambda name=name, copy=copy: run_peer(
                name, copy, originals, sources, work, cache, mib_total, warmed["at"],
                figures.setdefault("peer pause", []))))
        turn = round_number % len(group)
        for name, step in group[turn:] + group[:turn]:
            record(name, step)

    if not args.loop_volumes:
        for _, block in blocks:
            figures["bound " + block] = [copy_bound(r, w) for r, w in
                                         zip(figures["fio read " + block],
                                             figures["fio write " + block])]
    return figures, cache


def ratios(figures, mine, peer):
    return [ratio(a, b) for a, b in zip(figures.get(mine, []), figures.get(peer, []))]


def comparisons_of(figures):
    """(label, figure, peer, lowest, highest) of every ratio shown; None for
    no bound. HL must come within 5% of cp either way: it copies as cp does."""
    found = [("LL/dd 1M", "LL 1M", "dd 1M", 0.95, None),
             ("LL/dd 64K", "LL 64K", "dd 64K", 0.95, None),
             ("HL/cp", "HL", "cp", 0.95, 1.05),
             ("sendfile/cp", "sendfile", "cp", None, None),
             ("copy_file_range/cp", "copy_file_range", "cp", None, None),
             ("LL/bound 1M", "LL 1M", "bound 1M", None, None),
             ("LL/bound 64K", "LL 64K", "bound 64K", None, None)]
    return [c for c in found if c[1] in figures and c[2] in figures]


def target_text(low, high):
    if low is None and high is None:
        return "-"
    if high is None:
        return ">= %.2f" % low
    return "%.2f-%.2f" % (low, high)


def verdict(value, low, high):
    if value is None or (low is None and high is None):
        return "-"
    if (low is not None and value < low) or (high is not None and value > high):
        return "MISSED"
    return "met"


def report(args, figures, cache, mount, load_before, load_after):
    print()
    print("Volume: %s (%s on %s), %d files of %d MiB, %d rounds"
          % (mount[0], mount[1], mount[2], args.files, args.file_mib, args.rounds))
    print("Page cache eviction: %s" % cache.describe())
    print("Source content: %s" % ("unique random data" if args.unique_content else
                                  "built like the program's test files (1 MiB of doubled"
                                  " random bytes, repeated)"))
    print("Before each measurement: sync, %g s of rest, %d MiB of page cache filled"
          " and dropped" % (args.settle, args.warm_mib))
    if args.best_of > 1:
        print("Each figure: the fastest of %d measurements made back to back" % args.best_of)
    print("Load average (1 min) before: %.2f, after: %.2f" % (load_before, load_after))
    print()
    print("%-16s %10s %10s %10s   %s" % ("figure", "median", "min", "max",
                                         "per round (MB/s)"))
    hl_rows = ["HL"] + [name for name, _ in PEERS]
    order = ["LL 1M", "dd 1M", "fio read 1M", "fio write 1M", "bound 1M",
             "LL 64K", "dd 64K", "fio read 64K", "fio write 64K", "bound 64K"] + hl_rows
    if args.loop_volumes:
        order = [name for name in ["LL 1M", "dd 1M"] + hl_rows if name in figures]
    for name in order:
        values = figures.get(name, [])
        good = [v for v in values if v is not None]
        print("%-16s %10s %10s %10s   %s" % (
            name, show(median(values)), show(min(good) if good else None),
            show(max(good) if good else None), " ".join(show(v, 1) for v in values)))
    print()
    print("%-20s %8s %13s %10s %8s   %s" % ("ratio", "median", "q1-q3", "target",
                                            "verdict", "per round"))
    for label, mine, peer, low, high in comparisons_of(figures):
        per_round = ratios(figures, mine, peer)
        value = median(per_round)
        spread = quartiles(per_round)
        print("%-20s %8s %13s %10s %8s   %s" % (
            label, show(value), "%s-%s" % (show(spread[0]), show(spread[1])) if spread else "-",
            target_text(low, high), verdict(value, low, high),
            " ".join(show(r, 3) for r in per_round)))
    if "HL pause" in figures:
        print()
    for key, whose in (("HL pause", "The program's"), ("peer pause", "The peers'")):
        pauses = [v for v in figures.get(key, []) if v is not None]
        if pauses:
            print("%s time from warming to copying (writing the sources): median %.2f s,"
                  " %.2f to %.2f s" % (whose, statistics.median(pauses), min(pauses),
                                       max(pauses)))
    print()
    print("Ratios are medians of the per-round ratios (each round pairs runs made"
          " back to back).")


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", nargs="?",
                        default=os.path.join(REPO, "build", "varnoquelbit"),
                        help="the benchmark program (default: build/varnoquelbit)")
    parser.add_argument("--dir", help="a directory on the volume to measure; a fresh"
                        " directory is made inside it and removed at the end (default:"
                        " the repository's parent directory)")
    parser.add_argument("--rounds", type=int, help="rounds (default 5, 2 with --quick)")
    parser.add_argument("--quick", action="store_true",
                        help="a smoke run: 2 rounds of 16 MiB files")
    parser.add_argument("--drop-caches", action="store_true",
                        help="drop the whole page cache before each measurement (root)"
                        " instead of evicting only the benchmark's files")
    parser.add_argument("--settle", type=float, default=3.0,
                        help="seconds of rest after a sync before each measurement"
                        " (default 3)")
    parser.add_argument("--warm-mib", type=int,
                        help="MiB of page cache filled and dropped just before each"
                        " measurement (default: twice the data copied; 0: none)")
    parser.add_argument("--unique-content", action="store_true",
                        help="sources of unique random data instead of content built"
                        " like the program's test files")
    parser.add_argument("--loop-volumes", action="store_true",
                        help="HL against cp, sendfile and copy_file_range (and LL against dd"
                        " on ext4), on fresh ext4, XFS (reflink=1) and btrfs loop volumes"
                        " made in --dir's file system (root; default 9 rounds)")
    parser.add_argument("--best-of", type=int, default=1,
                        help="make each measurement this many times back to back and keep"
                        " the fastest (default 1)")
    parser.add_argument("--keep", action="store_true",
                        help="leave the working directory in place")
    args = parser.parse_args()
    args.files = 4
    args.file_mib = 16 if args.quick else 64
    if args.rounds is None:
        args.rounds = 2 if args.quick else (9 if args.loop_volumes else 5)
    if args.best_of < 1:
        parser.error("--best-of must be at least 1")
    if args.warm_mib is None:
        args.warm_mib = 2 * args.files * args.file_mib
    if args.rounds < 1:
        parser.error("--rounds must be at least 1")
    args.program = os.path.abspath(args.program)
    return args


def main():
    args = parse_arguments()
    if not os.access(args.program, os.X_OK):
        print("copy_bench: no program at %s (build it first)" % args.program, file=sys.stderr)
        return 2
    tools = ("dd", "cp", "losetup", "mkfs.ext4", "mkfs.xfs", "mkfs.btrfs") if args.loop_volumes \
        else ("dd", "cp", "fio")
    for tool in tools:
        if shutil.which(tool) is None:
            print("copy_bench: %s is not installed" % tool, file=sys.stderr)
            return 2
    parent = os.path.abspath(args.dir or os.path.dirname(REPO))
    mount = filesystem_of(parent)
    if mount[1] in MEMORY_FILESYSTEMS:
        print("copy_bench: %s is on %s (%s), not on a disk; pass --dir on the volume to"
              " measure" % (parent, mount[0], mount[1]), file=sys.stderr)
        return 2
    needed = args.files * args.file_mib * MIB * 6
    stats = os.statvfs(parent)
    if stats.f_bavail * stats.f_frsize < needed:
        print("copy_bench: %s has less than %d MiB free" % (parent, needed // MIB),
              file=sys.stderr)
        return 2
    if args.drop_caches:
        try:
            with open("/proc/sys/vm/drop_caches", "w") as f:
                f.write("1\n")
        except OSError as error:
            print("copy_bench: cannot drop caches: %s" % error, file=sys.stderr)
            return 2

    if args.loop_volumes:
        if os.geteuid() != 0:
            print("copy_bench: --loop-volumes needs root", file=sys.stderr)
            return 2
        results = []
        load_before = os.getloadavg()
        for name, mkfs, with_ll in LOOP_VOLUMES:
            figures = measure_on_loop_volume(args, parent, name, mkfs, with_ll, needed)
            if figures is None:
                return 2
            results.append((name, figures))
        summarize(args, results)
        print("Load average (1, 5, 15 min) before: %.2f %.2f %.2f, after: %.2f %.2f %.2f"
              % (load_before + os.getloadavg()))
        return 0

    work = tempfile.mkdtemp(prefix="copy_bench-", dir=parent)
    print("program %s\nworking in %s (%s on %s)" % (args.program, work, mount[1], mount[2]))
    load_before = os.getloadavg()[0]
    try:
        figures, cache = measure(args, work)
        report(args, figures, cache, mount, load_before, os.getloadavg()[0])
    finally:
        if args.keep:
            print("kept %s" % work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0


# (name, mkfs command, whether LL and dd are measured there too)
LOOP_VOLUMES = [("ext4", ["mkfs.ext4", "-q", "-F"], True),
                ("xfs", ["mkfs.xfs", "-q", "-f", "-m", "reflink=1"], False),
                ("btrfs", ["mkfs.btrfs", "-q", "-f"], False)]


def summarize(args, results):
    """One table of every loop volume's medians and ratios, as measured above."""
    print()
    print("Summary: %d files of %d MiB, %d rounds; MB/s medians, ratios medians of"
          " per-round ratios" % (args.files, args.file_mib, args.rounds))
    names = ["HL"] + [name for name, _ in PEERS] + ["LL 1M", "dd 1M"]
    labels = ["HL/cp", "sendfile/cp", "copy_file_range/cp", "LL/dd 1M"]
    print("%-7s" % "volume" + "".join(" %9s" % n.replace("copy_file_range", "c_f_r")
                                      for n in names)
          + "".join(" %13s" % l.replace("copy_file_range", "c_f_r") for l in labels))
    for volume, figures in results:
        row = "%-7s" % volume + "".join(" %9s" % show(median(figures.get(n, [])), 0)
                                        for n in names)
        found = {c[0]: c for c in comparisons_of(figures)}
        for label in labels:
            if label not in found:
                row += " %13s" % "-"
                continue
            _, mine, peer, low, high = found[label]
            value = median(ratios(figures, mine, peer))
            mark = "" if low is None and high is None else \
                (" ok" if verdict(value, low, high) == "met" else " NO")
            row += " %13s" % (show(value) + mark)
        print(row)


def measure_on_loop_volume(args, parent, name, mkfs, with_ll, needed):
    """Makes a sparse image in parent, formats it with mkfs, attaches it with
    direct I/O, mounts it and measures there; takes it all down again. The
    figures, or None when the volume cannot be made."""
    # Short names: the program refuses trial paths of more than 99 characters.
    area = tempfile.mkdtemp(prefix="cb-%s-" % name, dir=parent)
    image = os.path.join(area, name + ".img")
    mount_point = os.path.join(area, "m")
    os.mkdir(mount_point)
    device = None
    mounted = False
    try:
        with open(image, "wb") as f:
            f.truncate(needed + 512 * MIB)
        proc = subprocess.run(mkfs + [image], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if proc.returncode != 0:
            complain(mkfs[0], proc.stdout.decode("latin-1"))
            return None
        proc = subprocess.run(["losetup", "--direct-io=on", "-f", "--show", image],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if proc.returncode != 0:
            complain("losetup", proc.stderr.decode("latin-1"))
            return None
        device = proc.stdout.decode().strip()
        proc = subprocess.run(["mount", device, mount_point], stderr=subprocess.PIPE)
        if proc.returncode != 0:
            complain("mount " + device, proc.stderr.decode("latin-1"))
            return None
        mounted = True
        work = os.path.join(mount_point, "w")
        os.mkdir(work)
        print("program %s\nworking in %s (%s on %s)" % (args.program, work, name, device))
        load_before = os.getloadavg()[0]
        figures, cache = measure(args, work, with_ll)
        report(args, figures, cache, filesystem_of(work), load_before, os.getloadavg()[0])
        return figures
    finally:
        if mounted:
            subprocess.run(["umount", mount_point])
        if device:
            subprocess.run(["losetup", "-d", device])
        if not args.keep:
            shutil.rmtree(area, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
