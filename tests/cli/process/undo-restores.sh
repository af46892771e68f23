# undo puts back what vkt2x, vkt2c and vkt2 x did, and leaves the rest
mkdir d && printf 'plain text, plain text\n' >d/p && printf 'notes\n' >d/n && printf 'mine\n' >d/n.BAK
pack d/q 'packed text, packed text' && cp d/q q.orig && cp d/p p.orig
"${LAUNCH[@]}" "$C" d/p >/dev/null || fail "vkt2c: status $?"
"${LAUNCH[@]}" "$X" d/q >/dev/null || fail "vkt2x: status $?"
before=$(cksum d/*)
vkt2 undo -n d >out 2>err || fail "-n: status $?"
[ "$(cat out)" = "would restore d/p from d/p.BAK, undoing c
would restore d/q from d/q.BAK, undoing x" ] || fail "-n listed: $(cat out)"
[ "$(cksum d/*)" = "$before" ] || fail "-n changed files"
vkt2 undo d 2>err || fail "status $?"
[ "$(tr -d '\r' <err)" = "vkt2: 2 files restored, 0 failed, 1 left alone" ] || fail "said: $(cat err)"
cmp -s d/p p.orig || fail "d/p not restored"
cmp -s d/q q.orig || fail "d/q not restored"
[ "$(ls d)" = "$(printf 'n\nn.BAK\np\nq')" ] || fail "left: $(ls d)"
# A pair named twice, as the file and as its backup, is restored once.
vkt2 x -q d || fail "x: status $?"
vkt2 undo -q d/q d/q.BAK 2>err || fail "named: status $?"
cmp -s d/q q.orig || fail "named twice: d/q not restored"
[ ! -s err ] || fail "named twice: $(cat err)"
