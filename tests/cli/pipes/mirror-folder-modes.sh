# Mirrors make no folder wider than its source, even under umask 000; each ends with its mode, dates and owner
posix_only
make_private_tree
(umask 000 && vkt2 c -q -o out d && vkt2 x -q --all -o made/on/the/way/out2 d) || fail "status $?"
same_folders d out || fail "c -o"
same_folders d made/on/the/way/out2 || fail "x --all -o"
[ -z "$(find made out -perm -o+w)" ] || fail "writable by others: $(find made out -perm -o+w)"
# As root, the owner is copied too.
[ "$(stat -c %u:%g out/open/private)" = "$owner" ] || fail "owner $(stat -c %u:%g out/open/private)"
