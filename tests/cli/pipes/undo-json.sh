# undo --json restores its pair and ends with its summary
posix_only
mkdir u && printf 'undo me, undo me' >$'u/\xfe' && printf 'mine' >u/notes && printf 'kept' >u/notes.BAK
vkt2 c -q u >/dev/null 2>&1
run undo --json u
expect_status 0
[ "$(tail -n 1 "$CASE_DIR/out")" = '{"type":"summary","command":"undo","dry_run":false,"restored":1,"failed":0,"left_alone":1}' ] ||
    fail "undo --json: $(cat "$CASE_DIR/out" "$CASE_DIR/err")"
[ "$(cat $'u/\xfe')" = 'undo me, undo me' ] && [ ! -e $'u/\xfe.BAK' ] || fail "not restored"
