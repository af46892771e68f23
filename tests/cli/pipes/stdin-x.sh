# x - decodes standard input to standard output, in silence, writing no file
posix_only
pack f 'hello hello hello hello'
[ "$(cat f | "$V" x - 2>"$CASE_DIR/err")" = 'hello hello hello hello' ] || fail "x - printed the wrong text"
expect_err ''
expect_files f
