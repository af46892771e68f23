# c - on more than the format holds fails and writes nothing
posix_only
head -c 65536 /dev/zero | "$V" c - >"$CASE_DIR/out" 2>"$CASE_DIR/err"
status=$? && expect 1 'vkt2: -: too large: VKT2 holds at most 65,535 bytes'
expect_out ''
expect_files
