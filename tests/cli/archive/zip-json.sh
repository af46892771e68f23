# t --json on a zip: one object per member, in order, and the summary
needs_archives
shared m.zip
run t --json m.zip
python3 - "$out" <<'PY' || fail "JSON: $(cat "$out")"
import json, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
got = [(r["path"], r["result"]) for r in rows[:5]]
assert got[:5] == [("m.zip/a/one.vk", "passed"), ("m.zip/b/readme.txt", "skipped"),
                   ("m.zip/c/cut.vk", "failed"), ("m.zip/../evil.vk", "failed"),
                   ("m.zip/d/link.vk", "skipped")], got
assert rows[0]["bytes_in"] == 20 and rows[0]["bytes_out"] == 10
assert rows[5]["type"] == "summary" and rows[5]["failed"] == 2
PY
