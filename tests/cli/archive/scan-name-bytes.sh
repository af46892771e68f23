# scan --json gives a name that is not UTF-8, and its outputs, back exact as base64
host
cp host.bin "$(printf 'h\377')"
run scan --json -o o "$(printf 'h\377')"
python3 - "$out" <<'PY' || fail "JSON names: $(head -n 1 "$out")"
import base64, json, sys
r = json.loads(open(sys.argv[1]).readline())
assert base64.b64decode(r["path_base64"]) == b"h\xff", r
assert base64.b64decode(r["output_base64"]) == b"o/h\xff@100", r
PY
