# a statistics line cut short by a file-size limit does not end the run
posix_only "file-size limits"
fresh data.bin=hffff
with="prlimit --fsize=20" run x data.bin; expect_status 1
