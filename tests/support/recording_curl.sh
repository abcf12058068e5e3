#!/bin/bash
# Stand-in for curl in unit tests: records each run's arguments (NUL-separated) and the config it reads on
# standard input, one pair of files per run in run order (NNNN.args, NNNN.config), into
# $KALVOR_FAKE_CURL_LOG_DIR; prints $KALVOR_FAKE_CURL_OUTPUT (a file) on standard output and
# $KALVOR_FAKE_CURL_TRACE (a file) on standard error, and exits with $KALVOR_FAKE_CURL_EXIT.
dir=${KALVOR_FAKE_CURL_LOG_DIR:?}
run=$(printf '%04d' "$(ls "$dir" | grep -c '\.args$')")
printf '%s\0' "$@" > "$dir/$run.args"
cat > "$dir/$run.config"
if [ -n "${KALVOR_FAKE_CURL_OUTPUT:-}" ]; then
  cat "$KALVOR_FAKE_CURL_OUTPUT"
fi
if [ -n "${KALVOR_FAKE_CURL_TRACE:-}" ]; then
  cat "$KALVOR_FAKE_CURL_TRACE" >&2
fi
exit "${KALVOR_FAKE_CURL_EXIT:-0}"
