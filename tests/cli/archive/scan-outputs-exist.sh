# scan -o refuses to replace its outputs, and -f replaces them
host
vkt2 scan -q -o o host.bin >/dev/null || fail "scan -o: status $?"
run scan -q -o o host.bin
expect_status 1
said "vkt2: host.bin: at offset 100: o/host.bin@100 already exists (-f replaces it)
vkt2: host.bin: at offset 70000: o/host.bin@70000 already exists (-f replaces it)"
run scan -q -f -o o host.bin
expect_status 0
