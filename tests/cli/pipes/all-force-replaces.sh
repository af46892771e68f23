# x --all -f replaces the mirror's files with the source's new bytes, mode and date
posix_only
make_tree
rm d/cut
vkt2 x -q -o out --all d || fail "status $?"
printf 'changed' >d/sub/plain && chmod 604 d/sub/plain
run x -o out --all -f d
expect 0 'vkt2: 3 files done, 0 failed, 2 skipped, 2 copied; 81 bytes in, 64 bytes out'
mirror d out || fail "x --all -f"
