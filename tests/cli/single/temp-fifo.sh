# a FIFO at NAME.$$$ neither hangs the tool nor gets the data
posix_only "FIFOs"
fresh data.bin=ex 'data.bin.$$$=|'
with="timeout 10" run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=|'
# With a reader waiting at the FIFO, still nothing goes in.
exec 3<>'data.bin.$$$'
run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=|'
read -r -t 0 -u 3 && fail "data went into the FIFO"
exec 3<&-
