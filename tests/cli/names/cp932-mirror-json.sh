# --names=cp932 -o --json gives the decoded name and output of each Shift-JIS name as text
sjis_tree
"$V" c --json --names=cp932 -o out_json src >"$out"
[ "$(jq -r 'select(.path_text) | "\(.path_text) \(.output) \(has("output_base64"))"' "$out")" = \
    "src/フォルダ/ソ表 out_json/フォルダ/ソ表 false
src/日本語.txt out_json/日本語.txt false
src/ｶﾀｶﾅ.txt out_json/ｶﾀｶﾅ.txt false" ] || fail "c -o --json: $(cat "$out")"
