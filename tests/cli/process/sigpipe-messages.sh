# a closed pipe ends the run by SIGPIPE, no file between its renames
posix_only
many d 300
closed_pipe 2 "$V" x -j2 d
status=$?
status_is 141
whole d 300
vkt2 x d 2>&1 | head -n 1 >/dev/null
status=${PIPESTATUS[0]}
status_is 141
whole d 300
