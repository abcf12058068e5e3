#!/usr/bin/env bash
# Starts Kalvor against a local demo FTP server with sample files, in a throw-away profile: the user's own
# connections and favorites are neither read nor touched, and the server, the profile and everything
# uploaded are gone when Kalvor quits.
#
#   scripts/demo.sh [kalvor arguments]       builds first, then runs the demo
#   source scripts/demo.sh; kalvor_run_demo BINARY [kalvor arguments]
#
# The demo Kalvor answers hand-ins on an instance name of its own, so it runs beside a real one; the name
# and a ready-made hand-in command are printed at the start.

# A subshell body: its traps and shell options stay out of the script that sources this file.
kalvor_run_demo() (
  set -euo pipefail
  binary=$1
  shift
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  folder=$(mktemp -d "${TMPDIR:-/tmp}/kalvor-demo.XXXXXX")
  server_pid=""
  stop_demo() {
    if [ -n "$server_pid" ]; then
      kill "$server_pid" 2>/dev/null || true
      wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$folder"
  }
  trap stop_demo EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  /usr/bin/python3 "$here/demo-server.py" --folder "$folder" >"$folder/server.out" 2>"$folder/server.err" &
  server_pid=$!
  port=""
  # Filling the sample folders and binding take a moment; give up after about ten seconds.
  for _ in $(seq 100); do
    port=$(sed -n 's/^PORT //p' "$folder/server.out")
    [ -n "$port" ] && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
      cat "$folder/server.err" >&2
      echo "The demo server did not start." >&2
      exit 1
    fi
    sleep 0.1
  done
  if [ -z "$port" ]; then
    echo "The demo server did not start in time." >&2
    exit 1
  fi

  instance="kalvor-demo-$$"
  cat <<EOF
Demo FTP server: ftp://127.0.0.1:$port/  user "demo", password "demo"
Serving $folder/served (removed when Kalvor quits).
To hand files to this Kalvor from another terminal:
  KALVOR_INSTANCE_NAME=$instance $binary $folder/to-upload/*
EOF
  status=0
  XDG_CONFIG_HOME="$folder/config" KALVOR_INSTANCE_NAME="$instance" "$binary" "$@" || status=$?
  exit "$status"
)

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  cd "$(dirname "$0")/.."
  scripts/build.sh
  build_dir=${KALVOR_BUILD_DIR:-build}
  if [ ! -x "$build_dir/src/kalvor" ]; then
    echo "The kalvor executable is not part of this build yet." >&2
    exit 1
  fi
  kalvor_run_demo "$build_dir/src/kalvor" "$@"
fi
