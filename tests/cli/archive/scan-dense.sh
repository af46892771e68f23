# scan on data that starts VKT2 every four bytes finds the real file after them
needs_archives
shared dense.bin
read -r at size <"$SHARED/dense.txt"
run scan -q dense.bin
expect_status 0
[ "$(tail -n 1 "$out")" = "$(printf '%12d %10d %10d passed  dense.bin' "$at" "$size" 12)" ] ||
    fail "dense: $(tail -n 1 "$out") $(cat "$err")"
