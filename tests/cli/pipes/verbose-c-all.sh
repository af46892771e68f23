# c -v --all names each file compressed and each copied as it is
posix_only
make_tree
run c -v --all -o out2 d/sub
expect 0 'vkt2: d/sub/plain: compressed to out2/plain, 10 bytes to 20
vkt2: d/sub/\xff\xfe: copied as it is to out2/\xff\xfe (already in VKT2 form)
vkt2: 1 file done, 0 failed, 0 skipped, 1 copied; 10 bytes in, 20 bytes out'
