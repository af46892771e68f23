#!/usr/bin/env bash
# Times encode() against the classic greedy encoder on every input, interleaved in one run, and
# prints the medians in ms per input (65,535 bytes) with their ratio, for CPU and for wall time.
# Usage: bench/encoder_vs_greedy.sh BUILD_DIR   (built with -DVKT2_BUILD_BENCH=ON; needs python3)
set -euo pipefail
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"${1:?build directory}/bench/vkt2_bench" --benchmark_filter=BM_Encode \
  --benchmark_repetitions="${REPETITIONS:-9}" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=json >"$json"
python3 - "$json" <<'PY'
import json, sys
median = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name, index = b["run_name"].split("/")
        median[name, int(index)] = b
print("| input | encode ms | greedy ms | greedy/encode (CPU) | greedy/encode (wall) | encode allocates |")
print("|---|---|---|---|---|---|")
for (name, index), e in sorted(median.items(), key=lambda item: item[0][1]):
    if name != "BM_Encode":
        continue
    g = median["BM_EncodeGreedy", index]
    print(f"| {e['label']} | {e['cpu_time']:.3f} | {g['cpu_time']:.3f} | {g['cpu_time'] / e['cpu_time']:.2f} "
          f"| {g['real_time'] / e['real_time']:.2f} | {e['alloc_KiB']:.0f} KiB |")
PY
