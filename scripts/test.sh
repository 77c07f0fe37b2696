#!/usr/bin/env bash
# Builds every configuration CI checks and runs every test:
#   asan  - all tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan  - the tests that start threads, under ThreadSanitizer
#   fuzz  - each libFuzzer target for ORBISK_FUZZ_SECONDS (default 30)
#   release - the optimised build, with the benchmarks, must build cleanly
#   win32 - orbisk.dll for 32-bit Windows (mingw-w64); its tests run under
#           Wine in a private prefix (build/wine), with a display from Xvfb
#   packages - the Debian package and the Windows zip, built and tested by
#           installing them (scripts/package-test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
fuzz_seconds=${ORBISK_FUZZ_SECONDS:-30}
export QT_QPA_PLATFORM=offscreen
# Abort on the first sanitizer report so that ctest sees a failure.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"

configure() { cmake --preset "$1" -DORBISK_WERROR=ON >/dev/null; }
build() { cmake --build --preset "$1" -j "$jobs"; }

for preset in release asan tsan; do
  echo "== build $preset"
  configure "$preset"
  build "$preset"
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "== test asan (all tests)"
ctest --preset asan -j "$jobs" | tee -a "$log"

echo "== test tsan (threaded tests)"
ctest --preset tsan -j "$jobs" | tee -a "$log"

echo "== build win32"
configure win32
build win32
echo "== test win32 (under Wine)"
bash scripts/wine-env.sh
xvfb-run -a ctest --preset win32 -j "$jobs" | tee -a "$log"

echo "== fuzz (${fuzz_seconds}s each)"
configure fuzz
build fuzz
for fuzzer in build/fuzz/fuzz/*; do
  [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
  corpus="build/fuzz/corpus/$(basename "$fuzzer")"
  mkdir -p "$corpus"
  echo "-- $(basename "$fuzzer")"
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
done

echo "== packages"
bash scripts/package-test.sh

total=$(grep -oE 'tests failed out of [0-9]+' "$log" | awk '{s += $5} END {print s + 0}')
echo "tests: ${total} passed, 0 failed"
