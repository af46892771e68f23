# vkt2x success: the input becomes NAME.BAK, keeping its date
fresh data.bin=ex
run x data.bin; expect 0 "14 10" "" data.bin=dec data.bin.BAK=ex
old data.bin.BAK
