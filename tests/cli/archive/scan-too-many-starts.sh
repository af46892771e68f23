# Starts too many and too close together to check are counted and said, never dropped in silence
needs_archives
shared spam.bin
run scan --json spam.bin
expect_status 1
grep -q '^vkt2: spam.bin: [0-9]* places starting VKT2 not checked: too many, too close together$' <(
    vkt2 scan -q spam.bin 2>&1) || fail "spam: $(cat "$err")"
python3 - "$out" <<'PY' || fail "spam JSON: $(tail -n 2 "$out")"
import json, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
assert rows[-2]["result"] == "failed" and "not checked" in rows[-2]["error"], rows[-2]
assert rows[-1]["unchecked"] > 30000 and rows[-1]["failed"] == 1, rows[-1]
PY
