# another user's file at NAME.$$$: refused, untouched
posix_only "file owners"
fresh data.bin=ex 'data.bin.$$$=stale'
chown 65534 'data.bin.$$$' 2>/dev/null || skip "this user cannot give a file to another user"
run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=stale'
