# Two files of one name: the second is refused rather than replace what the first wrote
host
vkt2 scan -q -o o host.bin >/dev/null
mkdir d1 d2 && cp host.bin d1/ && tail -c +69901 host.bin >d2/host.bin
run scan -q -f -o same d1/host.bin d2/host.bin
expect_status 1
said 'vkt2: d2/host.bin: same output as d1/host.bin'
cmp -s same/host.bin@100 o/host.bin@100 || fail "the first file's output was replaced"
