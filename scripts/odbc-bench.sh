#!/usr/bin/env bash
# ParseBarCode over ODBC (SQLite3 driver, PostgreSQL through psqlODBC, SQL Server through FreeTDS)
# with and without the driver manager's pooling, each against its floor on the ODBC API measured
# in the same run; prints the medians and ratios.
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
# Real time and CPU time: on a shared machine the CPU time is the steadier of the two.
med = {b["run_name"]: (b["real_time"], b["cpu_time"])
       for b in data["benchmarks"] if b.get("aggregate_name") == "median"}
for name, (real, cpu) in med.items():
    line = f"{name:40s} real {real/1000:9.1f} us  cpu {cpu/1000:9.1f} us"
    floor = name.replace("ParseBarCode", "Floor")
    if floor != name and floor in med:
        line += f"   ratio to floor: real {real/med[floor][0]:.2f}, cpu {cpu/med[floor][1]:.2f}"
    print(line)
PY
done
