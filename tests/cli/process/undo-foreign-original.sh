# undo keeps an original it did not make
# The backup holds what vkt2 cat makes of the file; the file itself, another encoder's, would
# not come out of vkt2c so.
pack v 'the original, the original' && printf 'VKT2\x1a\0\1\2' | dd of=v conv=notrunc status=none
cp v v.orig || exit 1
vkt2 cat v >v.bak || fail "cat: status $?"
vkt2 undo . 2>/dev/null || fail "undo: status $?"
cmp -s v v.orig || fail "another encoder's file was replaced"
