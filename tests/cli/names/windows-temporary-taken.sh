# -o says which temporary name it could not create, named beyond the code page
[ "$win" ] || skip "the reason is the one Windows gives"
for l in "${locales[@]}"; do
    mkdir -p "$l/busy/$jp.\$\$\$" && cd "$l" || exit 1
    printf '%s' "$a" >"$jp"
    in_locale "$l" "$V" c -o busy "$jp" 2>"$err"
    [ "$(said "$err" | head -n 1)" = "vkt2: $jp: cannot create busy/$jp.\$\$\$: Permission denied" ] ||
        fail "$l: a temporary name taken: $(said "$err")"
    cd ..
done
