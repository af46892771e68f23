#!/usr/bin/env bash
# vkt2 against the floor: system calls per file, counted by strace -c -f over COUNT_FILES (500)
# of the files, for vkt2 x in place, x -o, t and the floor program doing the same file
# operations (bench/floor.cpp); then the CPU time (user + system) of vkt2 x -o over all of them
# against the floor program's, the median of RUNS (5) paired runs.
# Usage: bench/floor.sh BUILD_DIR PACKED_DIR   (needs strace, python3 and a C++ compiler;
# bench/batch.sh calls it with the files it made)
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
packed=$(cd "${2:?folder of VKT2 files}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"${CXX:-c++}" -O2 -std=c++20 -I"$src/core/include" "$src/bench/floor.cpp" \
  "$build/core/libvkt2.a" -o "$work/floor"

count=${COUNT_FILES:-500}
mkdir "$work/some"
# The first COUNT_FILES names; sorted whole first, so head ends no pipe early.
find "$packed" -maxdepth 1 -type f -print0 | sort -z >"$work/names"
head -z -n "$count" "$work/names" | xargs -0 cp -t "$work/some"
count=$(find "$work/some" -type f | wc -l)

# strace's summary of one command, as calls per file: the total, then the five largest.
calls() {
  local name=$1
  shift
  strace -c -f -o "$work/trace" "$@" >/dev/null
  python3 - "$work/trace" "$count" "$name" <<'PY'
import sys
rows = []
for line in open(sys.argv[1]):
    f = line.split()
    if len(f) >= 5 and f[0][0].isdigit() and f[-1] != "total":
        rows.append((int(f[3]), f[-1]))
total = sum(c for c, _ in rows)
n = int(sys.argv[2])
rows.sort(reverse=True)
top = ", ".join(f"{c / n:.1f} {s}" for c, s in rows[:6])
print(f"{sys.argv[3]:14} {total / n:6.1f} calls/file  ({top})")
PY
}

fresh() { rm -rf "$work/in" "$work/out" && cp -r "$work/some" "$work/in"; }
echo "system calls per file over $count files (strace -c -f):"
fresh
calls "vkt2 x" "$build/vkt2" x -q "$work/in"
fresh
(cd "$work/in" && calls "floor x" "$work/floor" x ./*)
rm -rf "$work/out"
calls "vkt2 x -o" "$build/vkt2" x -q -o "$work/out" "$work/some"
rm -rf "$work/out" && mkdir "$work/out"
calls "floor x -o" "$work/floor" o "$work/out" "$work/some"/*
calls "vkt2 t" "$build/vkt2" t -q "$work/some"
calls "floor t" "$work/floor" t "$work/some"/*

# CPU time, paired: each run times vkt2 and then the floor on the same fresh output folder.
python3 - "$build/vkt2" "$work/floor" "$packed" "$work/out" "${RUNS:-5}" <<'PY'
import os, resource, shutil, statistics, subprocess, sys
vkt2, floor, packed, out, runs = sys.argv[1:6]
names = sorted(os.path.join(packed, n) for n in os.listdir(packed))
def cpu(cmd):
    shutil.rmtree(out, ignore_errors=True)
    if cmd[0] == floor:
        os.mkdir(out)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
pairs = []
for _ in range(int(runs)):
    pairs.append((cpu([vkt2, "x", "-q", "-o", out, packed]), cpu([floor, "o", out] + names)))
v = statistics.median(p[0] for p in pairs)
f = statistics.median(p[1] for p in pairs)
r = statistics.median(p[0] / p[1] for p in pairs)
print(f"CPU time over {len(names)} files, median of {runs} paired runs: vkt2 x -o {v * 1e3:.0f} ms, "
      f"floor {f * 1e3:.0f} ms, ratio {r:.2f} (want <= 1.5)")
PY
