# x, c and x --archives refuse to change an archive in place, and leave it and its folder as they were
needs_archives
shared m.zip
cp m.zip m.copy
run x m.zip
expect_status 1
said 'vkt2: m.zip: an archive; x changes no archive in place (x -o DIR decodes its members)
vkt2: 0 files done, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
run c -q m.zip
expect_status 1
said 'vkt2: m.zip: an archive; c in place would replace it (c -o DIR compresses it)'
run x --archives m.zip
expect_status 2
cmp -s m.zip m.copy && [ "$(ls)" = "$(printf 'm.copy\nm.zip')" ] || fail "the archive or folder changed: $(ls)"
