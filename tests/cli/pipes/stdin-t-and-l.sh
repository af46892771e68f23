# t - and l - read standard input and name it -
posix_only
pack f 'hello hello hello hello'
printf 'hello hello hello hello' >plain
cat f | "$V" t - 2>"$CASE_DIR/err"
status=$? && expect 0 'vkt2: 1 file passed, 0 failed, 0 skipped; 17 bytes in, 23 bytes out'
[ "$(cat f | "$V" l -q - f)" = "$(printf '%10d %10d %7s -\n%10d %10d %7s f' 17 23 26.1% 17 23 26.1%)" ] ||
    fail "l - printed: $(cat f | "$V" l -q - f)"
cat plain | "$V" t - 2>"$CASE_DIR/err"
status=$? && expect 1 'vkt2: -: not a VKT2 file
vkt2: 0 files passed, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
expect_files f plain
