# A walk meets an archive as a file
needs_archives
mkdir d && cp "$SHARED/m.zip" d/
run t -v d
said 'vkt2: d/m.zip: skipped: not a VKT2 file
vkt2: 0 files passed, 0 failed, 1 skipped; 0 bytes in, 0 bytes out'
