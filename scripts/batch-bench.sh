#!/usr/bin/env bash
# quorvel batch's throughput on ten million generated barcodes (written to a temporary directory
# and removed afterwards), its ratio to the floor measured in the same run, and how many times
# faster it is than ParseBarCode per call on the same store; and the same for five million GS1
# element strings cut by a GS1 rule, against their own floor. Targets: at least 1M barcodes/s,
# within 1.5x of the floor, at least 200x the per-call path; at least 1M labels/s.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh linux
cmake --preset linux >/dev/null
cmake --build --preset linux --target batch_bench
out=$(mktemp)
trap 'rm -f "$out"' EXIT
build/linux/bench/batch_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json "$@" >"$out"
python3 - "$out" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
med = {b["run_name"].split("/")[0]: b for b in data["benchmarks"] if b.get("aggregate_name") == "median"}
batch, floor, call = med["BM_Batch"], med["BM_FloorBatch"], med["BM_PerCallParse"]
rate = batch["items_per_second"]
print(f"batch        {rate/1e6:8.2f} M barcodes/s   (target >= 1)")
print(f"floor        {floor['items_per_second']/1e6:8.2f} M barcodes/s   batch takes {batch['real_time']/floor['real_time']:.2f}x its time, "
      f"{batch['cpu_time']/floor['cpu_time']:.2f}x its CPU time (target <= 1.5)")
print(f"per call     {call['items_per_second']/1e3:8.2f} k barcodes/s   batch is {rate/call['items_per_second']:.0f}x faster (target >= 200)")
g, gf = med["BM_BatchGs1"], med["BM_FloorGs1"]
print(f"GS1 batch    {g['items_per_second']/1e6:8.2f} M labels/s     (target >= 1)")
print(f"GS1 floor    {gf['items_per_second']/1e6:8.2f} M labels/s     GS1 batch takes {g['real_time']/gf['real_time']:.2f}x its time, "
      f"{g['cpu_time']/gf['cpu_time']:.2f}x its CPU time")
PY
