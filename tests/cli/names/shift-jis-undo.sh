# --names=shift_jis in undo: its JSON and its lines, and the file restored
sjis_tree
"$V" c -q inplace || fail "c in place: status $?"
"$V" undo -n --json --names=shift_jis "inplace/$sj" >"$out" &&
    [ "$(jq -r 'select(.type == "file") | "\(.path_text) \(.output_text)"' "$out")" = \
        "inplace/日本語.txt.BAK inplace/日本語.txt" ] || fail "undo -n --json: $(cat "$out")"
"$V" undo -v --names=shift_jis "inplace/$sj_dir" 2>"$err" &&
    [ "$(head -n 1 "$err")" = "vkt2: inplace/フォルダ/ソ表: restored from inplace/フォルダ/ソ表.BAK, undoing c" ] &&
    [ "$(cat "inplace/$sj_dir/$sj_so")" = "$a" ] || fail "undo: $(cat "$err")"
