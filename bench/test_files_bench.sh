#!/usr/bin/env bash
# Compares the cost of making 256 MiB of test files with writing 256 MiB with
# dd and direct I/O on the same volume, in interleaved rounds, and measures the
# fill generator alone. For the analysis it also times the volume's own cost
# for the same files without the benchmark's code ("raw": a pre-filled buffer
# written with O_DIRECT, with or without an fsync per file).
#
#   bench/test_files_bench.sh [build-dir] [target-dir] [rounds]
#
# build-dir defaults to ./build, target-dir to a fresh directory under the
# build directory's parent (it must not be a memory file system), rounds to 5.
set -euo pipefail

build=${1:-build}
target_parent=${2:-$(cd "$build/.." && pwd)}
rounds=${3:-5}
bench="$build/bench_test_files"
[ -x "$bench" ] || { echo "missing $bench: build the bench_test_files target" >&2; exit 2; }

fstype=$(stat -f -c %T "$target_parent")
case "$fstype" in
  tmpfs|ramfs) echo "$target_parent is on $fstype: pick a directory on a real volume" >&2; exit 2 ;;
esac
target=$(mktemp -d -p "$target_parent" bench.XXXXXX)
trap 'rm -rf "$target"' EXIT
echo "target: $target ($fstype, $(df -h --output=source "$target" | tail -1))"

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

dd_seconds() {
  local out
  out=$(dd if=/dev/zero of="$target/dd.bin" bs=1M count=256 oflag=direct 2>&1)
  rm -f "$target/dd.bin"
  # "268435456 bytes (268 MB, 256 MiB) copied, 0.374 s, 717 MB/s"
  echo "$out" | tail -1 | sed -E 's/.*copied, ([0-9.e+-]+) s,.*/\1/'
}

files_seconds() {  # file_kib file_count
  "$bench" files "$target" "$1" "$2" | awk '$1 == "seconds" { print $2 }'
}

raw_seconds() {  # file_mib file_count fsync
  "$bench" raw "$target" "$1" "$2" "$3" | awk '$1 == "seconds" { print $2 }'
}

dd_t=(); big_t=(); small_t=(); raw_one_t=(); raw_big_t=(); raw_small_t=()
for ((r = 1; r <= rounds; r++)); do
  sync; dd_t+=("$(dd_seconds)")
  sync; big_t+=("$(files_seconds 65536 4)")
  sync; small_t+=("$(files_seconds 1024 256)")
  sync; raw_one_t+=("$(raw_seconds 256 1 0)")
  sync; raw_big_t+=("$(raw_seconds 64 4 1)")
  sync; raw_small_t+=("$(raw_seconds 1 256 1)")
  echo "round $r: dd ${dd_t[-1]} s; make_test_files 4 x 64 MiB ${big_t[-1]} s," \
       "256 x 1 MiB ${small_t[-1]} s; raw 1 x 256 MiB ${raw_one_t[-1]} s," \
       "raw+fsync 4 x 64 MiB ${raw_big_t[-1]} s, 256 x 1 MiB ${raw_small_t[-1]} s"
done

m() { printf '%s\n' "$@" | median; }
awk -v dd="$(m "${dd_t[@]}")" -v big="$(m "${big_t[@]}")" -v small="$(m "${small_t[@]}")" \
    -v raw_one="$(m "${raw_one_t[@]}")" -v raw_big="$(m "${raw_big_t[@]}")" \
    -v raw_small="$(m "${raw_small_t[@]}")" 'BEGIN {
  line = "%-44s %.3f s %7.1f MiB/s"
  printf line "\n", "median dd oflag=direct 256 MiB:", dd, 256 / dd
  printf line "  ratio to dd %.2f\n", "median make_test_files 4 x 64 MiB:", big, 256 / big, dd / big
  printf line "  ratio to dd %.2f\n", "median make_test_files 256 x 1 MiB:", small, 256 / small, dd / small
  printf line "\n", "median raw 1 x 256 MiB, no fsync:", raw_one, 256 / raw_one
  printf line "  make_test_files/raw %.2f\n", "median raw 4 x 64 MiB, fsync per file:", raw_big, 256 / raw_big, raw_big / big
  printf line "  make_test_files/raw %.2f\n", "median raw 256 x 1 MiB, fsync per file:", raw_small, 256 / raw_small, raw_small / small
}'

"$bench" fill 2048 | awk '$1 == "GB/s" { printf "fill generator, one core: %.2f GB/s\n", $2 }'
