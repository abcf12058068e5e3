#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# each one on a fresh copy of its seed corpus, after replaying the saved reproducers of earlier findings.
#
#   scripts/fuzz.sh short   about 16 s per target (over 60 s in all); what CI runs
#   scripts/fuzz.sh long    10,000,000 executions per target, one target after another
#
# Prints one line per target (executions, executions per second, coverage, crashes) and exits non-zero when a
# target crashes, hangs or runs out of memory; the reproducer's path is printed and kept.
#
# Environment: KALVOR_FUZZ_BUILD_DIR (default build-fuzz), KALVOR_FUZZ_TARGETS (a subset, space-separated),
# KALVOR_FUZZ_SECONDS (short: seconds per target), KALVOR_FUZZ_RUNS (long: executions per target),
# KALVOR_FUZZ_MAX_SECONDS (long: stop a target after this long even if its executions are not done).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=${1:-short}
case "$mode" in
  short | long) ;;
  *)
    echo "usage: $0 [short|long]" >&2
    exit 2
    ;;
esac

build_dir=$(realpath -m "${KALVOR_FUZZ_BUILD_DIR:-build-fuzz}")
targets=${KALVOR_FUZZ_TARGETS:-fuzz_listing fuzz_records_json fuzz_url_builders fuzz_handin fuzz_certificates}

scripts/install-deps.sh
cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target fuzzers

runs_dir="$build_dir/fuzz-runs/$mode"

# Inputs the harnesses cut up (folder path plus listing, lists of items) need room for several lines. The
# listing target's short run takes whole seed listings (the 600-entry one reaches the bucketed sort); its long
# run trades length for executions, as its cost grows with every line.
max_len_of() {
  case "$1:$mode" in
    fuzz_listing:short) echo 4608 ;;
    fuzz_listing:long) echo 1024 ;;
    fuzz_certificates:*) echo 6144 ;; # a printed chain of two certificates is over 5 KB
    *) echo 1024 ;;
  esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

failed=0
printf '%-20s %12s %9s %7s %8s %s\n' target executions exec/s cov crashes result
for target in $targets; do
  binary="$build_dir/fuzz/$target"
  work="$runs_dir/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp "$root/fuzz/corpus/$target/"* "$work/corpus/"

  # Every reproducer saved for this target must stay fixed.
  regressions="$root/fuzz/regressions/$target"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$binary" -runs=1 "$regressions"/* >"$work/regressions.log" 2>&1; then
      echo "$target: a saved reproducer fails again; see $work/regressions.log" >&2
      failed=1
      continue
    fi
  fi

  args=(-max_len="$(max_len_of "$target")" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1
    -artifact_prefix="$work/")
  [ -f "$root/fuzz/$target.dict" ] && args+=(-dict="$root/fuzz/$target.dict")
  if [ "$mode" = short ]; then
    args+=(-max_total_time="${KALVOR_FUZZ_SECONDS:-16}")
  else
    args+=(-runs="${KALVOR_FUZZ_RUNS:-10000000}")
    [ -n "${KALVOR_FUZZ_MAX_SECONDS:-}" ] && args+=(-max_total_time="$KALVOR_FUZZ_MAX_SECONDS")
  fi

  status=0
  "$binary" "${args[@]}" "$work/corpus" >"$work/fuzz.log" 2>&1 || status=$?

  # The last status line libFuzzer prints ("#N DONE cov: C ft: F ... exec/s: E ...") and its final stats.
  last=$(grep -E '^#[0-9]+' "$work/fuzz.log" | tail -n 1 || true)
  executions=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$work/fuzz.log" | tail -n 1)
  [ -n "$executions" ] || executions=$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$last")
  per_second=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$work/fuzz.log" | tail -n 1)
  [ -n "$per_second" ] || per_second=$(sed -nE 's/.* exec\/s: ([0-9]+).*/\1/p' <<<"$last")
  coverage=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  crashes=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) | wc -l)

  result=ok
  if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    result="FAILED (exit $status; log $work/fuzz.log)"
    failed=1
  fi
  printf '%-20s %12s %9s %7s %8s %s\n' "$target" "${executions:-?}" "${per_second:-?}" "${coverage:-?}" \
    "$crashes" "$result"
  find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) \
    -printf '  reproducer: %p\n'
done

exit "$failed"
