# closed standard streams never receive the data
posix_only
many d 30
vkt2 x d 2>&- >&- <&-
status=$?
status_is 1
whole d 30
[ "$(cat "d/f1$L")" = "file 1 of a folder, file 1 of a folder" ] || fail "d/f1 not decoded"
pack one 'the only file'
"$X" one 2>&- >&-
[ "$(cat one)" = 'the only file' ] || fail "vkt2x wrote into its data"
