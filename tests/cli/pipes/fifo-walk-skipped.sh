# A walk skips a named FIFO, without opening it
posix_only
mkdir d && mkfifo d/p
run_cmd timeout 10 "$V" t -v d
expect 0 'vkt2: d/p: skipped: not a regular file
vkt2: 0 files passed, 0 failed, 1 skipped; 0 bytes in, 0 bytes out'
