# t --json: one object per file and a summary, names round-tripped, nothing on standard error
posix_only
make_tree
run t --json d
expect_status 1
expect_err ''
check_json "{b'd/a': ('passed', None, 19), b'd/a.BAK': ('skipped', 'a backup', None),
  b'd/cut': ('failed', 'cut short: the file ends inside its 8-byte header', None),
  b'd/link': ('skipped', 'a link', None), b'd/new\nline': ('passed', None, 21),
  b'd/sub/\xff\xfe': ('passed', None, 24), b'd/sub/plain': ('skipped', 'not a VKT2 file', None),
  b'd/x.\$\$\$': ('skipped', 'a temporary file', None)}" \
    "{'done': 3, 'failed': 1, 'skipped': 4}" <"$CASE_DIR/out" || fail "t --json: $(cat "$CASE_DIR/out")"
