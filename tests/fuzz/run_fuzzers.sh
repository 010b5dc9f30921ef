#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan included) in a build
# directory of their own and runs each for a bounded time from a copy of its
# seed corpus. Fails on the first crash, leak, sanitizer report or broken
# property; the input that caused it is left in the build directory as
# crash-*, leak-* or timeout-*, to be added to the seed corpus once fixed.
#
#   tests/fuzz/run_fuzzers.sh [SECONDS] [build directory]   (defaults: 60, build-fuzz)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${1:-60}"
build="${2:-$root/build-fuzz}"

cmake -S "$root" -B "$build" -DVARNO_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target fuzz_configuration fuzz_size_strings

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"

status=0
for target in configuration size_strings; do
  corpus="$build/corpus_$target"
  mkdir -p "$corpus"
  cp -f "$root/tests/fuzz/corpus_$target"/* "$corpus/"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build/tests/fuzz/fuzz_$target" "$corpus" -max_total_time="$seconds" \
         -max_len=4096 -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
         -artifact_prefix="$build/" -print_final_stats=1; then
    echo "fuzz_$target FAILED; the input is in $build" >&2
    status=1
  fi
done
exit $status
