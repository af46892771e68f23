# In place, the link /dev/stdin is never moved aside, whatever it leads to
posix_only
pack f 'hello hello hello hello'
for feed in pipe file; do
    if [ $feed = pipe ]; then cat f | "$V" x /dev/stdin 2>"$CASE_DIR/err"; else "$V" x /dev/stdin <f 2>"$CASE_DIR/err"; fi
    status=$? && expect 1 'vkt2: /dev/stdin: a link: in place only a file is replaced; name the file it leads to, or use -o or -
vkt2: 0 files done, 1 failed, 0 skipped; 0 bytes in, 0 bytes out'
done
[ -L /dev/stdin ] || fail "/dev/stdin is no longer a link"
expect_files f
