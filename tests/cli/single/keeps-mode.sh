# the new file takes the input's mode, owner and dates
posix_only "Unix modes and owners"
fresh data.bin=ex && chmod 640 data.bin && { chown 65534 data.bin 2>/dev/null || :; }
run x data.bin
expect_status 0
[ "$(stat -c '%a %U %Y' data.bin)" = "$(stat -c '%a %U %Y' data.bin.BAK)" ] || fail "mode, owner or date not kept"
