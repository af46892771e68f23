# Not even -f lets scan replace a file the run reads
host
cp host.bin host.bin@100
run scan -q -f -o . host.bin host.bin@100
expect_status 1
grep -qx 'vkt2: host.bin: at offset 100: ./host.bin@100 is an input of this run' "$err" ||
    fail "not said: $(cat "$err")"
cmp -s host.bin host.bin@100 || fail "an input was replaced"
