# undo restores one backup onto a NAME that has two
[ -z "$win" ] || skip "v.BAK and v.bak are one name on Windows"
pack v 'the original, the original' && printf 'VKT2\x1a\0\1\2' | dd of=v conv=notrunc status=none
cp v v.orig || exit 1
if ! { vkt2 x -q v && cp v v.bak && vkt2 undo . 2>err; }; then fail "status $?"; fi
cmp -s v v.orig || fail "both backups restored, the original lost"
[ "$(cat err)" = "vkt2: 1 file restored, 0 failed, 1 left alone" ] || fail "said: $(cat err)"
