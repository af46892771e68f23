# a FIFO with no writer yet: SIGINT ends the wait with 130
posix_only
mkfifo p
set -m
"$V" cat p >out 2>err &
pid=$!
set +m
guard $pid
until_true "opened p" has_open $pid p
kill -INT $pid
wait $pid
status=$?
status_is 130
[ ! -s out ] || fail "wrote: $(cat out)"
