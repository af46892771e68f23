# A folder of the mirror that was already there is left as it was
posix_only
make_private_tree
vkt2 c -q -o out d || fail "status $?"
chmod 777 out/open && touch -d '2003-01-01' out/open
vkt2 x -q -f --all -o out d || fail "again: status $?"
[ "$(stat -c %a out/open)" = 777 ] || fail "an existing folder was changed"
