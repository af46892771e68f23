# --names=raw keeps the bytes of each name under -o
sjis_tree
"$V" c -q -o raw_out src && [ -f "raw_out/$sj_dir/$sj_so" ] && [ -f "raw_out/$sj" ] || fail "c -o"
