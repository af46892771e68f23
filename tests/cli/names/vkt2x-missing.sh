# vkt2x on a missing name beyond ASCII says it cannot open the file, in its own bytes
for l in "${locales[@]}"; do
    in_locale "$l" "$X" "$ko.txt" >"$out" 2>"$err"
    [ $? = 1 ] && [ "$(said "$err")" = "$cannot_open" ] || fail "$l: a missing name: $(said "$err")"
done
