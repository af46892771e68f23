# vkt2 t names a file beyond ASCII that fails as it was given
for l in "${locales[@]}"; do
    mkdir -p "$l/$folder/$ko" && cd "$l" || exit 1
    printf '%s' "$b" >"$folder/$ko/$emoji"
    in_locale "$l" "$V" t "$folder/$ko/$emoji" 2>"$err"
    [ $? = 1 ] && [ "$(said "$err" | head -n 1)" = "vkt2: $folder/$ko/$emoji: not a VKT2 file" ] ||
        fail "$l: t: $(said "$err")"
    cd ..
done
