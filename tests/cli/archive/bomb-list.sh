# l lists a member that goes on for 300 MB by the size the archive gives
needs_archives
shared bomb.zip
run l -q bomb.zip
[ "$(cat "$out")" = "$(printf '%10d %10d %7s %s' 314572808 0 0.0% bomb.zip/big.vk)" ] || fail "l: $(cat "$out")"
