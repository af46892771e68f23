# vkt2c's failed rename leaves the same files as vkt2x's
fresh f=z40000 f.BAK=older
run c f
keep_ref packed 'f.$$$'
expect 1 "40000 $(size 'f.$$$')" "$RENAME" f=z40000 'f.$$$=packed' f.BAK=older
