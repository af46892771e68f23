#!/usr/bin/env bash
# Whole-folder speed: 2,000 VKT2 files of 1 to 64 KiB, made by vkt2c from varied data, decoded
# by vkt2 in place, by vkt2 into another folder (with one worker and with the default), tested
# by vkt2, decoded by a shell loop of vkt2x, and, for scale, zstd -d over the same files
# compressed by zstd and cp -r of the decoded tree (the floor for -o: writing the same bytes),
# in one hyperfine run. Prints files per second for each and the two ratios that matter, then
# runs bench/floor.sh on the same files: system calls per file and CPU time against the least
# a decoder must do. Usage: bench/batch.sh BUILD_DIR   (needs hyperfine, zstd, strace, python3
# and a C++ compiler; RUNS sets the number of timed runs, FILES the number of files)
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=${FILES:-2000}

# Text from the project and the system's licences, bytes that barely compress, long runs, and
# mixtures of the three, at sizes from 1 KiB to 64 KiB (less one byte, the format's limit).
cat "$src"/core/*.cpp "$src"/cli/*.cpp "$src"/tests/*.cpp /usr/share/common-licenses/* \
  >"$work/corpus" 2>/dev/null || true
python3 - "$work" "$files" <<'PY'
import os, random, sys
work, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(2026)
corpus = open(os.path.join(work, "corpus"), "rb").read()
os.makedirs(os.path.join(work, "plain"))
for i in range(count):
    size = rng.randint(1024, 65535)
    kind = i % 4
    if kind == 0:
        start = rng.randrange(0, len(corpus) - size)
        data = corpus[start:start + size]
    elif kind == 1:  # random bytes; kept small enough that the compressed file fits 64 KiB
        data = rng.randbytes(min(size, 56000))
    elif kind == 2:
        data = b"".join(bytes([rng.randrange(256)]) * rng.randint(1, 300) for _ in range(size // 100))[:size]
    else:
        parts = []
        while sum(map(len, parts)) < size:
            parts.append(rng.randbytes(rng.randint(1, 64)) if rng.random() < 0.3
                         else corpus[(s := rng.randrange(0, len(corpus) - 512)):s + rng.randint(16, 512)])
        data = b"".join(parts)[:size]
    with open(os.path.join(work, "plain", "f%04d" % i), "wb") as f:
        f.write(data)
PY

# The compressed set, made by vkt2c, without the backups it leaves.
cp -r "$work/plain" "$work/packed"
find "$work/packed" -type f -print0 | xargs -0 -n 1 -P 2 "$build/vkt2c" >/dev/null
rm "$work"/packed/*.BAK
# The same originals as zstd files, at zstd's default level.
cp -r "$work/plain" "$work/zpacked"
zstd -q --rm -r "$work/zpacked"
echo "files: $(find "$work/packed" -type f | wc -l), plain $(du -sk "$work/plain" | cut -f1) KiB," \
  "vkt2 $(du -sk "$work/packed" | cut -f1) KiB, zstd $(du -sk "$work/zpacked" | cut -f1) KiB"

w=$work
hyperfine -N --warmup 1 --runs "${RUNS:-5}" --export-json "$w/times.json" \
  -n "vkt2 x DIR" --prepare "sh -c 'rm -rf $w/in && cp -r $w/packed $w/in'" "$build/vkt2 x -q $w/in" \
  -n "vkt2 x -o OUT DIR" --prepare "rm -rf $w/out" "$build/vkt2 x -q -o $w/out $w/packed" \
  -n "vkt2 x -j 1 -o OUT" --prepare "rm -rf $w/out1" "$build/vkt2 x -q -j 1 -o $w/out1 $w/packed" \
  -n "cp -r decoded" --prepare "rm -rf $w/copy" "cp -r $w/plain $w/copy" \
  -n "vkt2 t DIR" --prepare "true" "$build/vkt2 t -q $w/packed" \
  -n "vkt2x loop" --prepare "sh -c 'rm -rf $w/in && cp -r $w/packed $w/in'" \
  "sh -c 'for f in $w/in/*; do $build/vkt2x \"\$f\" >/dev/null; done'" \
  -n "zstd -d" --prepare "sh -c 'rm -rf $w/z && cp -r $w/zpacked $w/z'" "zstd -d -q -r $w/z"
diff -r "$w/out" "$w/plain" >/dev/null && echo "vkt2 x -o: every file decoded back"

python3 - "$w/times.json" "$files" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
files = int(sys.argv[2])
rate = {name: files / r["median"] for name, r in results.items()}
for name, r in results.items():
    print(f"{name:18} {r['median'] * 1e3:8.1f} ms  {rate[name]:9.0f} files/s")
print(f"vkt2 x against zstd -d: {rate['vkt2 x DIR'] / rate['zstd -d']:.2f}x the files/s (want >= 1); "
      f"against the vkt2x loop: {rate['vkt2 x DIR'] / rate['vkt2x loop']:.1f}x")
print(f"vkt2 x -o against cp -r: {results['vkt2 x -o OUT DIR']['median'] / results['cp -r decoded']['median']:.2f}x "
      f"the time (want <= 1.3)")
PY

"$src/bench/floor.sh" "$build" "$w/packed"
