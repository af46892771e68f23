# --names=shift_jis in listings and in what cat says
sjis_tree
"$V" c -q inplace || fail "c in place: status $?"
[ "$("$V" l --names=shift_jis "inplace/$sj" | tail -n 1)" = \
    "        15         19   21.1% inplace/日本語.txt" ] || fail "l"
"$V" cat --names=shift_jis "src/$sj" 2>"$err"
[ $? = 1 ] && [ "$(cat "$err")" = "vkt2: src/日本語.txt: not a VKT2 file" ] || fail "cat: $(cat "$err")"
