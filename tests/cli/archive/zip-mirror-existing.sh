# x -o DIR again refuses to replace a member's output without -f
needs_archives
shared m.zip
vkt2 x -q -o o --all m.zip 2>/dev/null
run x -o o m.zip
said "vkt2: m.zip/a/one.vk: o/m.zip/a/one.vk already exists (-f replaces it)
vkt2: m.zip/c/cut.vk: cut short: the file ends before its stream does; the last 3 of its 16 decoded bytes are missing
vkt2: m.zip/../evil.vk: a name that leads out of the archive; left alone
vkt2: 0 files done, 3 failed, 2 skipped; 0 bytes in, 0 bytes out"
