# t reads a member that goes on for 300 MB no further than a file load, in little memory
needs_archives
[ -z "${VKT2_SANITIZED:-}" ] || skip "a sanitizer's memory is not the tool's"
shared bomb.zip
/usr/bin/time -f %M -o rss "$V" t bomb.zip >"$out" 2>"$err"
[ "$(cat rss)" -lt 60000 ] || fail "t used $(cat rss) KiB"
said 'vkt2: bomb.zip/big.vk: warning: longer than 65,536 bytes; the rest is never read
vkt2: bomb.zip/big.vk: warning: 65528 unused bytes after the end of the stream
vkt2: 1 file passed, 0 failed, 0 skipped; 65536 bytes in, 0 bytes out'
