# --names=shift_jis: lines decoded, outputs under their UTF-8 spelling, collisions settled
sjis_tree
chmod 750 "src/$sj_dir"
"$V" c -v --names=shift_jis -o out src 2>"$err"
[ $? = 1 ] && [ "$(sort "$err")" = 'vkt2: 4 files done, 1 failed, 0 skipped; 76 bytes in, 60 bytes out
vkt2: src/\xff\xfe.txt: compressed to out/\xff\xfe.txt, 19 bytes to 15
vkt2: src/フォルダ/ソ表: compressed to out/フォルダ/ソ表, 19 bytes to 15
vkt2: src/日本語.txt: compressed to out/日本語.txt, 19 bytes to 15
vkt2: src/日本語.txt: same output as src/\x93\xfa\x96{\x8c\xea.txt
vkt2: src/ｶﾀｶﾅ.txt: compressed to out/ｶﾀｶﾅ.txt, 19 bytes to 15' ] || fail "$(cat "$err")"
[ "$(cd out && find . | LC_ALL=C sort | tr '\n' '|')" = \
    ".|./フォルダ|./フォルダ/ソ表|./日本語.txt|./ｶﾀｶﾅ.txt|./$neither|" ] &&
    [ "$("$V" cat out/日本語.txt)" = "$a" ] && [ "$(cat src/日本語.txt)" = "$b" ] &&
    [ "$(stat -c %a out/フォルダ)" = 750 ] || fail "outputs: $(find out)"
