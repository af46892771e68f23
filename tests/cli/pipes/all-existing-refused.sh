# x --all again refuses to replace a copy it made before, without -f
posix_only
make_tree
rm d/cut
vkt2 x -q -o out --all d || fail "status $?"
run x -q -o out --all d
expect_status 1
grep -q '^vkt2: d/a.BAK: out/a.BAK already exists (-f replaces it)$' "$CASE_DIR/err" ||
    fail "an existing copy was not refused: $(cat "$CASE_DIR/err")"
