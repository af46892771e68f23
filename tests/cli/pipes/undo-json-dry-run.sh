# undo -n --json: pairs it would restore and pairs left alone, names round-tripped
posix_only
mkdir u && printf 'undo me, undo me' >$'u/\xfe' && printf 'mine' >u/notes && printf 'kept' >u/notes.BAK
vkt2 c -q u >/dev/null 2>&1
run undo -n --json u
expect_status 0
expect_err ''
check_json "{b'u/\xfe.BAK': ('would_restore', 'undoing c', None),
  b'u/notes.BAK': ('left_alone', 'not what x or c left of u/notes', None)}" \
    "{'dry_run': True, 'would_restore': 1, 'failed': 0, 'left_alone': 1}" <"$CASE_DIR/out" ||
    fail "undo -n --json: $(cat "$CASE_DIR/out")"
[ -f $'u/\xfe.BAK' ] || fail "a dry run restored"
