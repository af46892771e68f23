# a stalled reader and SIGINT: the run ends with 130, no file between its renames
posix_only
syscall write
many d 3000
mkfifo stall
exec 3<>stall
# Job control, or the shell starts the run with SIGINT ignored.
set -m
"$V" x -j2 d 2>stall &
pid=$!
set +m
guard $pid
# Its messages fill the FIFO, which nobody reads: the run waits to say more.
until_true "blocked writing to fd 2" in_syscall $pid 0x2
kill -INT $pid
wait $pid
status=$?
exec 3>&-
status_is 130
whole d 3000
