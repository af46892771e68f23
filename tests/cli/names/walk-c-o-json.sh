# vkt2 c -o on a folder of such names writes each under its own name, and says so in JSON
for l in "${locales[@]}"; do
    mkdir "$l" && cd "$l" || exit 1
    mkdir -p "$folder/$ko"
    printf '%s' "$a" >"$folder/$jp" && printf '%s' "$b" >"$folder/$ko/$emoji"
    in_locale "$l" "$V" c -o "$folder.vkt" --json "$folder" >"$out" 2>"$err" || fail "$l: c -o: $(said "$err")"
    [ "$(jq -r 'select(.type == "file") | "\(.path) \(.output)"' "$out" | sort)" = \
        "$folder/$jp $folder.vkt/$jp
$folder/$ko/$emoji $folder.vkt/$ko/$emoji" ] || fail "$l: c -o --json: $(cat "$out")"
    cd ..
done
