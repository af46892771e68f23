# set-id bits and the group are dropped when the input's group cannot be kept
# A user who cannot give the new file the input's group: the group and set-id bits, which
# would then reach further than the input's, are dropped.
posix_only "Unix modes and owners"
[ "$(id -u)" = 0 ] || skip "only root can run the tool as another user"
command -v setpriv >/dev/null || skip "setpriv is not installed"
nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"
fresh data.bin=ex && chown 65534:0 data.bin && chmod 6775 data.bin && chmod 777 .
with=$nobody run x data.bin
expect_status 0
[ "$(stat -c %a data.bin)" = 705 ] || fail "mode $(stat -c %a data.bin) kept"
# The group kept but not the owner: a set-user-id file of root's must not become one of ours.
fresh data.bin=ex && chown 0:65534 data.bin && chmod 4755 data.bin
with=$nobody run x data.bin
expect_status 0
[ "$(stat -c %a data.bin)" = 755 ] || fail "mode $(stat -c %a data.bin) kept"
