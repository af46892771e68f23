# scan without -v says only its summary
host
run scan host.bin
[ "$(cat "$err")" = "vkt2: 2 found, 3 rejected, 0 failed; 1 file, $((last + 5)) bytes read" ] || fail "without -v: $(cat "$err")"
