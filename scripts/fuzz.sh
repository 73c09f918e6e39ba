#!/usr/bin/env bash
# Builds the fuzz targets (clang-14, libFuzzer) and runs each for a bounded time on the seeds of
# fuzz/corpus/<target>. The seeds are only read: what a run finds goes to a temporary
# directory, a failing input to build/fuzz/findings/. Exits non-zero when a target fails.
# Usage: fuzz.sh [SECONDS_PER_TARGET] (20 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

scripts/install-deps.sh fuzz
cmake --preset fuzz >/dev/null
targets=(connstring dialect quoting import gs1)
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}"

findings="$PWD/build/fuzz/findings"
mkdir -p "$findings"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  echo "== fuzz $t (${seconds} s)"
  mkdir -p "$work/$t"
  # UndefinedBehaviorSanitizer's findings end the run too, and pooled state is not a leak here.
  if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "build/fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/$t-" \
      "$work/$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    tail -n 60 "$work/$t.log"
    echo "FAIL: fuzz target $t; the input is in $findings"
    status=1
    continue
  fi
  # The last status line: executions, coverage, corpus size.
  grep -E '^#[0-9]+' "$work/$t.log" | tail -n 1
  grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$work/$t.log"
done
exit $status
