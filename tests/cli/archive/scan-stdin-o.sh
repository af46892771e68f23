# scan -o refuses standard input, which has no name to name outputs after
host
vkt2 scan -o o - <host.bin >"$out" 2>"$err"
status=$?
expect_status 2
[ "$(head -n 1 "$err")" = 'vkt2: -o does not apply to -: scan names its outputs after the files read' ] ||
    fail "scan -o -: $(cat "$err")"
