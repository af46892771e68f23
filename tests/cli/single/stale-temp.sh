# a stale regular temporary file, longer than the output, is truncated and replaced
fresh data.bin=ex 'data.bin.$$$=hashes'
run x data.bin; expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
