# scan -v lists embedded files at known offsets, and rejects false starts with the reasons t gives
host
run scan -v host.bin
expect_status 0
[ "$(cat "$out")" = "$(printf '%12s %10s %10s %s\n' offset stored decoded 'verdict name' \
    100 "$one" 220 'passed  host.bin' 70000 "$two" 7 'passed  host.bin')" ] || fail "listed: $(cat "$out")"
# Each rejected for the reason t gives the bytes from its offset on.
for at in 1000 "$third" "$last"; do
    tail -c +$((at + 1)) host.bin >rest
    vkt2 t -q rest 2>&1 | sed "s/^vkt2: rest: /vkt2: host.bin: at offset $at: rejected: /"
done >expected
echo "vkt2: 2 found, 3 rejected, 0 failed; 1 file, $((last + 5)) bytes read" >>expected
said "$(cat expected)"
grep -q 'offset 1000: rejected: the stream needs bytes past' expected &&
    grep -q "offset $third: rejected: cut short: the file ends before its stream does" expected &&
    grep -q "offset $last: rejected: cut short: the file ends inside" expected || fail "$(cat expected)"
