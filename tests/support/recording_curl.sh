#!/bin/bash
# Stand-in for curl in unit tests: records each run's arguments (NUL-separated, one file per run, in run
# order) into $KALVOR_FAKE_CURL_LOG_DIR, prints $KALVOR_FAKE_CURL_OUTPUT (a file) and exits with
# $KALVOR_FAKE_CURL_EXIT.
dir=${KALVOR_FAKE_CURL_LOG_DIR:?}
run=$(ls "$dir" | wc -l)
printf '%s\0' "$@" > "$dir/$(printf '%04d' "$run")"
if [ -n "${KALVOR_FAKE_CURL_OUTPUT:-}" ]; then
  cat "$KALVOR_FAKE_CURL_OUTPUT"
fi
exit "${KALVOR_FAKE_CURL_EXIT:-0}"
