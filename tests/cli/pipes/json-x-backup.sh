# x --json in place names the backup of a name that is not UTF-8 as base64 too
posix_only
make_tree
run x --json $'d/sub/\xff\xfe'
[ "$(jq -r .backup_base64 "$CASE_DIR/out" | head -n 1 | base64 -d)" = $'d/sub/\xff\xfe.BAK' ] &&
    [ -f $'d/sub/\xff\xfe.BAK' ] || fail "x --json backup: $(cat "$CASE_DIR/out" "$CASE_DIR/err")"
