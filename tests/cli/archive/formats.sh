# 7z, ISO 9660 by bsdtar, tar.gz, cab and LZH with a Shift-JIS name by Python: members tested
needs_archives
mkdir d
printf 'VKT2\005\0\0\0\037hello' >d/h.vk
bsdtar -cf a.7z --format 7zip d && bsdtar -cf a.iso --format iso9660 d || fail bsdtar
shared t.lzh t.tar.gz t.cab
run t -v a.7z a.iso t.lzh t.tar.gz t.cab
said 'vkt2: a.7z/d/h.vk: passed
vkt2: a.iso/d/h.vk: passed
vkt2: t.lzh/テスト.vk: passed
vkt2: t.lzh/plain.txt: skipped: not a VKT2 file
vkt2: t.tar.gz/deep/in.vk: passed
vkt2: t.cab/dir/h.vk: passed
vkt2: t.cab/note.txt: skipped: not a VKT2 file
vkt2: 5 files passed, 0 failed, 2 skipped; 78 bytes in, 32 bytes out'
