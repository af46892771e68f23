# --names=shift_jis names a backup or an output that is already there as decoded
sjis_tree
"$V" c -q inplace || fail "c in place: status $?"
"$V" x --names=shift_jis "inplace/$sj" 2>"$err"
[ "$(head -n 1 "$err")" = "vkt2: inplace/日本語.txt: inplace/日本語.txt.BAK already exists" ] ||
    fail "x: $(cat "$err")"
"$V" c -q --names=shift_jis -o "$sj_dir" "src/$sj" && "$V" c --names=shift_jis -o "$sj_dir" "src/$sj" 2>"$err"
[ "$(head -n 1 "$err")" = "vkt2: src/日本語.txt: フォルダ/日本語.txt already exists (-f replaces it)" ] ||
    fail "c -o again: $(cat "$err")"
