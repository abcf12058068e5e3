#!/usr/bin/env bash
# Builds Kalvor and starts it. A user with no saved connections yet gets a local demo server with sample
# files and a ready-made connection and favorite, in a throw-away profile (their own settings are never
# touched). `--demo` always starts the demo; `--no-demo` never does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build_dir=${KALVOR_BUILD_DIR:-build}
binary="$build_dir/src/kalvor"

demo=auto
case "${1:-}" in
  --demo) demo=yes; shift ;;
  --no-demo) demo=no; shift ;;
esac
if [ "$demo" = auto ]; then
  demo=no
  [ -s "${XDG_CONFIG_HOME:-$HOME/.config}/kalvor/Kalvor.connections.json" ] || demo=yes
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: Kalvor needs a desktop session (or run it under xvfb-run)." >&2
fi

if [ "$demo" = yes ]; then
  source scripts/demo.sh
  kalvor_run_demo "$binary" "$@"
  exit $?
fi
exec "$binary" "$@"
