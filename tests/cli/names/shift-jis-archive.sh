# --names=shift_jis reads an archive's members as a folder's files
sjis_tree
"$V" -V | grep -q '^archives: libarchive ' || skip "this build reads no archives"
mkdir arc && "$V" c -q -o arc "src/$sj" && (cd arc && tar cf ../a.tar "$sj")
"$V" x -q --names=shift_jis -o arc_out a.tar && [ "$(cat arc_out/a.tar/日本語.txt)" = "$a" ] ||
    fail "x on an archive: $(find arc_out)"
