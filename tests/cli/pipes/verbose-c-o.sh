# c -o -v names each file compressed, each skipped, and an input named twice
posix_only
make_tree
rm d/cut
run c -o out -v d d/a
expect 1 'vkt2: d/a: skipped: already in VKT2 form
vkt2: d/a.BAK: skipped: a backup
vkt2: d/link: skipped: a link
vkt2: d/new\x0aline: skipped: already in VKT2 form
vkt2: d/sub/plain: compressed to out/sub/plain, 10 bytes to 20
vkt2: d/sub/\xff\xfe: skipped: already in VKT2 form
vkt2: d/x.$$$: skipped: a temporary file
vkt2: d/a: same output as d/a
vkt2: 1 file done, 1 failed, 6 skipped; 10 bytes in, 20 bytes out'
