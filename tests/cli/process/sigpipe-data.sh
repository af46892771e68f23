# data or a listing for a reader gone: SIGPIPE, with no word of a write error
posix_only
pack f 'for a reader gone'
many d 30
vkt2 x -q d 2>/dev/null
for args in 'cat f' 'undo -n d'; do
    # shellcheck disable=SC2086
    closed_pipe 1 "$V" $args 2>err
    status=$?
    { [ $status = 141 ] && [ ! -s err ]; } || fail "$args: status $status, said: $(cat err)"
done
