# vkt2x refuses a decoded file; its backup decodes again beside NAME.BAK.BAK
fresh data.bin=dec data.bin.BAK=ex
run x data.bin; expect 1 "" "$NOTVKT2" data.bin=dec data.bin.BAK=ex
run x data.bin.BAK; expect 0 "14 10" "" data.bin=dec data.bin.BAK=dec data.bin.BAK.BAK=ex
