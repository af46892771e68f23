# -o settles outputs Windows would write as one: names in any case, names with trailing dots
[ "$win" ] || skip "a Unix folder keeps these names apart"
for l in "${locales[@]}"; do
    mkdir -p "$l/case" && cd "$l" || exit 1
    printf '%s' "$a" >case/A.txt && printf '%s' "$b" >case/a.txt &&
        printf '%s' "$a" >case/d && printf '%s' "$b" >case/d.
    in_locale "$l" "$V" c -f -j 1 -o case_out case 2>"$err"
    [ $? = 1 ] && [ "$(said "$err" | grep -c 'same output as')" = 2 ] &&
        said "$err" | grep -qxF 'vkt2: case/a.txt: same output as case/A.txt' &&
        said "$err" | grep -qxF 'vkt2: case/d.: same output as case/d' &&
        [ "$(in_locale "$l" "$V" cat case_out/A.txt)" = "$a" ] || fail "$l: $(said "$err")"
    cd ..
done
