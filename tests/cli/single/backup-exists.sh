# an existing backup stops the first rename; the decoded data stays in NAME.$$$
fresh data.bin=ex data.bin.BAK=older
run x data.bin; expect 1 "14 10" "$RENAME" data.bin=ex 'data.bin.$$$=dec' data.bin.BAK=older
old data.bin data.bin.BAK
