# a folder that can be listed but not searched fails the run with the reason
posix_only
mkdir -p d/locked && pack d/locked/f x && pack d/open y
as_nobody
chmod 500 d/open && chmod 444 d/locked
"${as[@]}" "$V" t d >out 2>err
status=$?
status_is 1
[ "$(head -n 1 err)" = "vkt2: d/locked: cannot read the folder: Permission denied" ] ||
    fail "said: $(cat err)"
grep -q '^vkt2: 1 file passed, 1 failed' err || fail "summary: $(tail -n 1 err)"
