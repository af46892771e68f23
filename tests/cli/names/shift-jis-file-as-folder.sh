# --names=shift_jis: a file spelled as another input's folder fails, whatever the order
[ -z "$win" ] || skip "names of Shift-JIS bytes need a Unix file system"
mkdir -p "fold/${sj_dir}" && printf '%s' "$a" >"fold/$sj_dir/x" && printf '%s' "$b" >fold/フォルダ
for j in 1 8; do
    "$V" c -j $j --names=shift_jis -o "fold_out$j" fold 2>"$err"
    [ $? = 1 ] && [ "$(head -n 1 "$err")" = \
        'vkt2: fold/フォルダ: same output as a folder for fold/\x83t\x83H\x83\x8b\x83_/x' ] &&
        [ "$("$V" cat "fold_out$j/フォルダ/x")" = "$a" ] || fail "-j $j: $(cat "$err")"
done
