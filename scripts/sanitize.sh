#!/usr/bin/env bash
# Builds the asan preset (AddressSanitizer + UndefinedBehaviorSanitizer, Debug) and runs the whole test suite
# in it. Any sanitizer report fails its test, and so this script. LeakSanitizer is on for every test; the GUI
# tests get a suppression file that names third-party libraries only (tests/support/lsan.supp), so a leak in
# Kalvor's own code is still reported there.
#
# Environment: KALVOR_ASAN_BUILD_DIR (default build-asan). Extra arguments go to ctest (e.g. -L unit).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${KALVOR_ASAN_BUILD_DIR:-build-asan}

scripts/install-deps.sh
cmake --preset asan -B "$build_dir" >/dev/null
cmake --build "$build_dir"

# No detect_stack_use_after_return: its fake stack frames make every call of this unoptimised build several
# times slower, and the flood tests (hundreds of megabytes of listing) then run past their deadlines.
common=check_initialization_order=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The core's tests (the flows included): leaks checked with nothing suppressed.
status=0
ASAN_OPTIONS="$common:detect_leaks=1" LSAN_OPTIONS="" \
  ctest --test-dir "$build_dir" --output-on-failure -j2 -L 'unit|integration|session' "$@" || status=$?

# Widgets and the real program: the same, less what font and platform libraries keep until exit.
ASAN_OPTIONS="$common:detect_leaks=1" LSAN_OPTIONS="suppressions=$root/tests/support/lsan.supp:print_suppressions=0" \
  ctest --test-dir "$build_dir" --output-on-failure -j2 -L gui "$@" || status=$?

exit "$status"
