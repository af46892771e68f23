# a FIFO with no writer yet: a SIGINT the caller ignores does not end the wait
posix_only
pack f 'through the FIFO'
mkfifo p
# Without job control the shell starts the run with SIGINT ignored, as nohup does.
"$V" cat p >out 2>err &
pid=$!
guard $pid
until_true "opened p" has_open $pid p
since=$(wakes $pid)
kill -INT $pid
# Held back, the signal waits for the run to look at it, which it does each time it wakes: a few
# times before the data comes. A signal not held back was dropped at once.
if pending $pid 2; then until_true "woke" woken $pid 6 "$since"; fi
timeout 20 dd if=f of=p status=none
wait $pid
status=$?
status_is 0
[ "$(cat out)" = 'through the FIFO' ] || fail "wrote: $(cat out)"
