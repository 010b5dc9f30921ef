#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in a
# build directory of its own and runs every test there (unit tests, the fuzz
# corpora and the end-to-end suites). Any sanitizer report ends the process
# that made it with a failure, so any report fails the run.
#
#   tests/sanitize/run_sanitized.sh [build directory]   (default: build-asan)
#
# CXX chooses the compiler (g++ or clang++).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-asan}"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:print_summary=1"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:report_error_type=1"
export LSAN_OPTIONS="exitcode=23"

# LeakSanitizer stops the process's threads with ptrace; where that is not
# allowed it cannot run, and saying so beats a silent skip.
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
printf '#include <cstdlib>\nint main(){void* volatile p=std::malloc(7);p=nullptr;return 0;}\n' \
  > "$probe/leak.cpp"
"${CXX:-c++}" -fsanitize=address -g "$probe/leak.cpp" -o "$probe/leak"
if "$probe/leak" 2>"$probe/leak.err"; then
  echo "LeakSanitizer found no leak in a program that leaks: leak checks do not work here" >&2
  exit 1
fi
if ! grep -q "detected memory leaks" "$probe/leak.err"; then
  echo "LeakSanitizer cannot run here:" >&2
  cat "$probe/leak.err" >&2
  exit 1
fi

cmake -S "$root" -B "$build" -DVARNO_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  ${CXX:+-DCMAKE_CXX_COMPILER="$CXX"}
cmake --build "$build" -j2

# A report ends the process that made it with a failure. A test that does
# not look at a process's exit code still lets its standard error through to
# the test log, so every report is also looked for there.
status=0
ctest --test-dir "$build" --output-on-failure || status=$?
log="$build/Testing/Temporary/LastTest.log"
if grep -nE "ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: [A-Za-z]+Sanitizer" "$log" >&2; then
  echo "Sanitizer reports in $log" >&2
  status=1
fi
exit $status
