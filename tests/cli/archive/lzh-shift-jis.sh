# An LZH member's Shift-JIS name is written and shown in JSON as UTF-8
needs_archives
shared t.lzh
run x -o o t.lzh
[ "$(cat o/t.lzh/テスト.vk)" = sjis ] || fail "LZH member: $(find o)"
run t --json t.lzh
python3 -c '
import json, sys; r = json.loads(open(sys.argv[1]).readline())
assert r["path"] == "t.lzh/\u30c6\u30b9\u30c8.vk", r' "$out" || fail "JSON name: $(head -n 1 "$out")"
