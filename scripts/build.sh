#!/usr/bin/env bash
# Configures and builds Kalvor in ./build (or $KALVOR_BUILD_DIR) after installing what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build_dir=${KALVOR_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${KALVOR_BUILD_TYPE:-Debug} >/dev/null
cmake --build "$build_dir"
