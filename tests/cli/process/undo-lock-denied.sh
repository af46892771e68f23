# undo that cannot make its lock beside a pair fails with the reason
posix_only
printf 'the original\n' >a && vkt2 c -q a && cp a a.packed
as_nobody
chmod 555 .
"${as[@]}" "$V" undo a 2>err
status=$?
status_is 1
[ "$(head -n 1 err)" = 'vkt2: a.BAK: cannot create a.$$$: Permission denied' ] ||
    fail "said: $(cat err)"
{ cmp -s a a.packed && [ -e a.BAK ]; } || fail "the pair changed"
