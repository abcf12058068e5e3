#!/usr/bin/env bash
# From nothing to a full test run: packages, build, format check, every test (unit, real servers, GUI).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build_dir=${KALVOR_BUILD_DIR:-build}
cmake --build "$build_dir" --target format-check
ctest --test-dir "$build_dir" --output-on-failure -j2 "$@"
