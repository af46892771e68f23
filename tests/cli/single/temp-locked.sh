# another run holding NAME.$$$'s lock: refused, untouched
posix_only "flock"
fresh data.bin=ex 'data.bin.$$$=stale'
with='flock data.bin.$$$' run -m x data.bin; expect 1 "14 10" "$CREATE" data.bin=ex 'data.bin.$$$=stale'
