# c - writes what vkt2c writes, and x - reads it back, writing no file
posix_only
pack f 'hello hello hello hello'
printf 'hello hello hello hello' >plain
cat plain | "$V" c - >"$CASE_DIR/out" 2>"$CASE_DIR/err" || fail "c -: status $?"
cmp -s "$CASE_DIR/out" f || fail "c - differs from vkt2c"
expect_err ''
[ "$(cat plain | "$V" c - | "$V" x -)" = 'hello hello hello hello' ] || fail "c - | x -"
expect_files f plain
