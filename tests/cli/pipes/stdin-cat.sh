# cat reads standard input as -, with no PATH, and as /dev/stdin, through a pipe
posix_only
pack f 'hello hello hello hello'
[ "$(cat f | "$V" cat -)" = 'hello hello hello hello' ] || fail "cat -"
[ "$(cat f | "$V" cat)" = 'hello hello hello hello' ] || fail "cat with no PATH"
[ "$(cat f | "$V" cat /dev/stdin)" = 'hello hello hello hello' ] || fail "cat /dev/stdin"
expect_files f
