# scan finds a file across the line between two reads
needs_archives
shared large.bin
read -r at size <"$SHARED/large.txt"
run scan -q -o o large.bin
[ "$(cat "$out")" = "$(printf '%12d %10d %10d passed  large.bin' "$at" "$size" 700)" ] || fail "found: $(cat "$out")"
[ "$(head -c 7 "o/large.bin@$at")" = across ] || fail "output: $(ls o)"
