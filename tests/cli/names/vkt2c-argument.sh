# vkt2c compresses a file named beyond ASCII given as an argument, and keeps its backup
for l in "${locales[@]}"; do
    mkdir "$l" && cd "$l" || exit 1
    printf '%s' "$a" >"$jp"
    in_locale "$l" "$C" "$jp" >"$out" 2>"$err" && [ "$(said "$out")" = 'original = 19 -> compressed = 15' ] &&
        [ "$(head -c 4 "$jp")" = VKT2 ] && [ "$(cat "$jp.BAK")" = "$a" ] || fail "$l: $(said "$err")"
    cd ..
done
