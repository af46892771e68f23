# c - refuses to write compressed data to a terminal unless -f
posix_only
printf 'to a terminal' >plain
[ "$(pty plain "$V" c -)" = "1 b'vkt2: -: will not write compressed data to a terminal (-f writes it)\\n'" ] ||
    fail "c - to a terminal: $(pty plain "$V" c -)"
[[ $(pty plain "$V" c -f -) == "0 b'VKT2"* ]] || fail "c -f -: $(pty plain "$V" c -f -)"
