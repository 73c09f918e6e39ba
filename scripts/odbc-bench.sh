#!/usr/bin/env bash
# ParseBarCode over ODBC (SQLite3 driver, PostgreSQL through psqlODBC) with and without the driver
# manager's pooling, each against its floor on the ODBC API measured in the same run; prints the
# medians and ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh linux odbc
source scripts/odbc-test-env.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target odbc_bench
out="$odbc_tmp/bench.json"
for pooling in on off; do
  QUORVEL_BENCH_POOLING=$pooling build/linux/bench/odbc_bench --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=json "$@" >"$out"
  python3 - "$out" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
med = {b["run_name"]: b["real_time"] for b in data["benchmarks"] if b.get("aggregate_name") == "median"}
for name, t in med.items():
    line = f"{name:45s} {t/1000:10.1f} us"
    if "Floor" not in name:
        floor = name.replace("ParseBarCode", "Floor")
        if floor in med:
            line += f"   ratio {t/med[floor]:.2f} to {floor}"
    print(line)
PY
done
