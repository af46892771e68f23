# t -v names every file passed and every entry skipped, with why, in order
posix_only
make_tree
rm d/cut
run t -v -j2 d
expect 0 'vkt2: d/a: passed
vkt2: d/a.BAK: skipped: a backup
vkt2: d/link: skipped: a link
vkt2: d/new\x0aline: passed
vkt2: d/sub/plain: skipped: not a VKT2 file
vkt2: d/sub/\xff\xfe: passed
vkt2: d/x.$$$: skipped: a temporary file
vkt2: 3 files passed, 0 failed, 4 skipped; 81 bytes in, 64 bytes out'
