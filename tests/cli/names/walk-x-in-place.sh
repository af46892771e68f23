# vkt2 x in place in a folder of such names decodes each and keeps its backup
for l in "${locales[@]}"; do
    mkdir -p "$l/$folder/$ko" && cd "$l" || exit 1
    printf '%s' "$a" >"$folder/$jp" && printf '%s' "$b" >"$folder/$ko/$emoji"
    in_locale "$l" "$V" c -q -o "$folder.vkt" "$folder" || fail "$l: c -o: status $?"
    in_locale "$l" "$V" x -q "$folder.vkt" 2>"$err" && [ "$(cat "$folder.vkt/$jp")" = "$a" ] &&
        [ "$(cat "$folder.vkt/$ko/$emoji")" = "$b" ] && [ -f "$folder.vkt/$ko/$emoji.BAK" ] ||
        fail "$l: x in place: $(said "$err")"
    cd ..
done
