#!/usr/bin/env bash
# Times the whole vkt2x process on a file that decodes to 65,535 bytes against cp copying a
# file of that size, in one hyperfine run, and prints the ratio of the medians.
# Usage: bench/whole_process.sh BUILD_DIR   (needs hyperfine and python3)
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The project's own sources as the data, compressed by vkt2c.
cat "$src"/core/*.cpp "$src"/cli/*.cpp "$src"/tests/*.cpp >"$work/sources"
head -c 65535 "$work/sources" >"$work/plain"
cp "$work/plain" "$work/packed"
"$build/vkt2c" "$work/packed" >/dev/null
rm "$work/packed.BAK"

hyperfine -N --warmup 20 --runs "${RUNS:-500}" --export-json "$work/times.json" \
  --prepare "sh -c 'rm -f $work/in.BAK; cp $work/packed $work/in'" "$build/vkt2x $work/in" \
  --prepare "rm -f $work/out" "cp $work/plain $work/out"
cmp "$work/in" "$work/plain"
python3 - "$work/times.json" <<'PY'
import json, sys
vkt2x, cp = json.load(open(sys.argv[1]))["results"]
print(f"median: vkt2x {vkt2x['median'] * 1e6:.0f} us, cp {cp['median'] * 1e6:.0f} us, "
      f"ratio {vkt2x['median'] / cp['median']:.3f}")
PY
