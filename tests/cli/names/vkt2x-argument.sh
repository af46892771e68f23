# vkt2x decodes a file named beyond ASCII given as an argument, and keeps its backup
for l in "${locales[@]}"; do
    mkdir "$l" && cd "$l" || exit 1
    printf '%s' "$a" >"$jp" && in_locale "$l" "$C" "$jp" >/dev/null && rm "$jp.BAK"
    in_locale "$l" "$X" "$jp" >"$out" 2>"$err" && [ "$(cat "$jp")" = "$a" ] &&
        [ "$(head -c 4 "$jp.BAK")" = VKT2 ] || fail "$l: $(said "$err")"
    cd ..
done
