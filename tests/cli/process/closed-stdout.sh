# data or JSON for a closed standard output is lost: a write error, never success
posix_only
pack two 'the second file'
for args in 'cat two' 't --json two' 'l two'; do
    # shellcheck disable=SC2086
    vkt2 $args >&- 2>err
    status=$?
    [ $status = 1 ] || fail "$args: status $status"
    grep -q '^vkt2: standard output: write error$' err || fail "$args said: $(cat err)"
done
vkt2 t two >&- 2>/dev/null || fail "t, writing nothing there: status $?"
vkt2 --help >&-
status=$?
status_is 1
