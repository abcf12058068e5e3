#!/usr/bin/env bash
# Pictures of the main window in each mode, under Xvfb, into docs/screenshots (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
build_dir=${KALVOR_BUILD_DIR:-build}
out=${1:-docs/screenshots}
xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb "$build_dir/tools/kalvor_screenshots" "$out"
