#!/usr/bin/env bash
# Runs the embedded-store benchmarks and prints each one's ratio to the floor measured in the same
# run (the ODBC ones need their drivers and server: scripts/odbc-bench.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh linux
cmake --preset linux >/dev/null
cmake --build --preset linux
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for b in build/linux/bench/analyser_bench build/linux/bench/ui_bench; do
  "$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
       --benchmark_format=json "$@" >"$out"
  python3 - "$out" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}  # to microseconds
med = {b["run_name"]: b["real_time"] * scale[b.get("time_unit", "ns")]
       for b in data["benchmarks"] if b.get("aggregate_name") == "median"}
floors = {n: t for n, t in med.items() if "Floor" in n}
for name, t in med.items():
    line = f"{name:45s} {t:10.1f} us"
    if name not in floors and floors:
        # Each benchmark is compared with the floor that names the same target, else the first.
        floor = next((f for f in floors if name.split("/")[-1] in f), next(iter(floors)))
        line += f"   ratio {t/floors[floor]:.2f} to {floor}"
    print(line)
PY
done
