# t -v on a zip names each member as ARCHIVE/member, with its verdict
needs_archives
shared m.zip
run t -v m.zip
expect_status 1
said 'vkt2: m.zip/a/one.vk: passed
vkt2: m.zip/b/readme.txt: skipped: not a VKT2 file
vkt2: m.zip/c/cut.vk: cut short: the file ends before its stream does; the last 3 of its 16 decoded bytes are missing
vkt2: m.zip/../evil.vk: a name that leads out of the archive; left alone
vkt2: m.zip/d/link.vk: skipped: a link
vkt2: 1 file passed, 2 failed, 2 skipped; 20 bytes in, 10 bytes out'
