# l -q on a zip lists its VKT2 members
needs_archives
shared m.zip
run l -q m.zip
[ "$(cat "$out")" = "$(printf '%10d %10d %7s %s\n' 20 10 -100.0% m.zip/a/one.vk 23 16 -43.8% m.zip/c/cut.vk)" ] ||
    fail "l: $(cat "$out")"
