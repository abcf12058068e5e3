#!/usr/bin/env bash
# Builds Kalvor and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build_dir=${KALVOR_BUILD_DIR:-build}
if [ -x "$build_dir/src/kalvor" ]; then
  exec "$build_dir/src/kalvor" "$@"
fi
echo "Kalvor's core is built; the application itself is not part of this build yet."
