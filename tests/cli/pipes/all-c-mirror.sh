# c --all compresses what it can and copies the backup as it is
posix_only
make_tree
rm d/cut
vkt2 x -q -o out --all d || fail "x --all: status $?"
vkt2 c -q -o packed --all out || fail "c --all: status $?"
[ "$(cat packed/a.BAK)" = kept ] && [ "$(head -c 4 packed/a)" = VKT2 ] || fail "c --all"
