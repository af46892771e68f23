# scan --json -o: an object per file found, with its output, and the summary; the outputs decoded
host
run scan --json -o o host.bin
python3 - "$one" "$two" "$out" <<'PY' || fail "JSON: $(cat "$out")"
import json, sys
rows = [json.loads(line) for line in open(sys.argv[3])]
assert [(r["offset"], r["result"], r["bytes_in"], r["output"]) for r in rows[:2]] == [
    (100, "passed", int(sys.argv[1]), "o/host.bin@100"),
    (70000, "passed", int(sys.argv[2]), "o/host.bin@70000")], rows
assert rows[2] == {"type": "summary", "command": "scan", "found": 2, "rejected": 3,
                   "failed": 0, "unchecked": 0, "files": 1, "bytes_in": rows[2]["bytes_in"]}, rows[2]
PY
[ "$(cat o/host.bin@70000)" = second ] && [ "$(head -c 11 o/host.bin@100)" = 'first file' ] ||
    fail "outputs: $(ls o)"
