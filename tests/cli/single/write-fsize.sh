# a write that fails under a file-size limit removes the temporary file
posix_only "file-size limits"
fresh data.bin=hffff
with="prlimit --fsize=4096" run x data.bin; expect 1 "6 65535" "$WRITE" data.bin=hffff
