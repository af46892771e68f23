# --names=cp932 in place: JSON gives each name and backup as text, a name in neither as base64
sjis_tree
"$V" c --json --names=cp932 inplace >"$out" || fail "c in place: $(cat "$out")"
[ "$(jq -r 'select(.path_text) | "\(.path_text) \(.backup_text)"' "$out")" = \
    "inplace/フォルダ/ソ表 inplace/フォルダ/ソ表.BAK
inplace/日本語.txt inplace/日本語.txt.BAK
inplace/ｶﾀｶﾅ.txt inplace/ｶﾀｶﾅ.txt.BAK" ] && [ -f "inplace/$sj.BAK" ] &&
    [ "$(jq -r 'select(.path_base64 == "aW5wbGFjZS///i50eHQ=") | .path_text' "$out")" = null ] ||
    fail "$(cat "$out")"
