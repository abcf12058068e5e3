#!/bin/sh
# Usage: with_private_keyring.sh TEST [ARGUMENT...]
# Runs TEST against a real Secret Service that touches nothing of the user's: a private D-Bus session whose
# only keyring is a gnome-keyring-daemon unlocked with a throw-away password, its files in a temporary
# folder. The bus has no service files: activation would start a second, locked keyring. Where none can
# start, TEST runs with KALVOR_NO_KEYRING saying why, and skips.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tool in dbus-run-session gnome-keyring-daemon secret-tool setsid; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    KALVOR_NO_KEYRING="$tool is not installed (scripts/install-deps.sh installs it)" "$@"
    exit
  fi
done
mkdir -m 700 "$work/run"
export HOME="$work" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
cat >"$work/bus.conf" <<CONF
<busconfig><type>session</type><listen>unix:tmpdir=$work</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
dbus-run-session --config-file="$work/bus.conf" -- sh -c '
  # A session of its own: stopping, the daemon signals its whole process group.
  printf throw-away | setsid gnome-keyring-daemon --unlock --components=secrets --foreground \
    >/dev/null 2>"$HOME/keyring.log" &
  keyring=$!
  # It answers on the bus before its unlocked keyring exists: wait until a secret can be stored.
  tries=0
  until printf x | secret-tool store --label=ready kalvor-test ready 2>/dev/null; do
    tries=$((tries + 1))
    if [ $tries -ge 200 ] || ! kill -0 $keyring 2>/dev/null; then
      KALVOR_NO_KEYRING="gnome-keyring-daemon did not start: $(cat "$HOME/keyring.log")" "$@"
      status=$?; kill $keyring 2>/dev/null; exit $status
    fi
    sleep 0.1
  done
  KALVOR_PRIVATE_KEYRING=1 "$@"
  status=$?
  kill $keyring
  exit $status' sh "$@"
