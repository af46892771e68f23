# x --all mirrors the whole tree: same bytes, modes and dates, packed files decoded
posix_only
make_tree
rm d/cut
vkt2 x -q -o out --all d || fail "status $?"
mirror d out || fail "x --all"
[ "$(cat out/a)" = 'aaaa aaaa aaaa aaaa' ] || fail "out/a not decoded"
