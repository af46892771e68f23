# x - writes decoded text to a terminal
posix_only
pack f 'to a terminal'
[ "$(pty f "$V" x -)" = "0 b'to a terminal'" ] || fail "x -: $(pty f "$V" x -)"
