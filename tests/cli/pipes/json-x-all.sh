# x -o --all --json: decoded, copied and failed files each have their object, names as base64 too
posix_only
make_tree
run x -o mirror --json --all d
expect_status 1
expect_err ''
check_json "{b'd/a': ('decoded', None, 19), b'd/a.BAK': ('copied', 'a backup', 4),
  b'd/cut': ('failed', 'cut short: the file ends inside its 8-byte header', 6),
  b'd/link': ('skipped', 'a link', None), b'd/new\nline': ('decoded', None, 21),
  b'd/sub/\xff\xfe': ('decoded', None, 24), b'd/sub/plain': ('copied', 'not a VKT2 file', 10),
  b'd/x.\$\$\$': ('skipped', 'a temporary file', None)}" \
    "{'done': 3, 'failed': 1, 'skipped': 2, 'copied': 2}" <"$CASE_DIR/out" || fail "x --json: $(cat "$CASE_DIR/out")"
[ "$(cat $'mirror/sub/\xff\xfe')" = 'bytes that are not UTF-8' ] || fail "not decoded to the output"
cmp -s d/cut mirror/cut || fail "the file that failed is not in the mirror as it is"
# A name that is not UTF-8, and only that one, also comes as base64 of its bytes, which jq and
# base64(1) turn back into the name without Python's surrogateescape.
jq -r 'select(.path_base64) | .path_base64, .output_base64' "$CASE_DIR/out" >"$CASE_DIR/names" ||
    fail "jq: $(cat "$CASE_DIR/out")"
names=$CASE_DIR/names
[ "$(wc -l <"$names")" = 2 ] && [ "$(head -n 1 "$names" | base64 -d)" = $'d/sub/\xff\xfe' ] &&
    [ "$(tail -n 1 "$names" | base64 -d)" = $'mirror/sub/\xff\xfe' ] || fail "base64 names: $(cat "$names")"
