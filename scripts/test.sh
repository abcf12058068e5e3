#!/usr/bin/env bash
# From nothing to a full test run: packages, build, format check, every test (unit, real servers, GUI), then
# the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then a short run of every fuzzer.
# KALVOR_QUICK=1 stops after the first suite. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build_dir=${KALVOR_BUILD_DIR:-build}
cmake --build "$build_dir" --target format-check
ctest --test-dir "$build_dir" --output-on-failure -j2 "$@"
if [ "${KALVOR_QUICK:-0}" = 1 ]; then
  exit 0
fi

echo "== The same suite under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh "$@"
echo "== A short run of every fuzzer"
scripts/fuzz.sh short
