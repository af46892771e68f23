# the temporary file and the backup live beside the input, wherever it is
fresh sub/data.bin=ex 'my file=ex'
run x sub/data.bin; expect 0 "14 10" "" sub=/ sub/data.bin=dec sub/data.bin.BAK=ex 'my file=ex'
run x "$W/my file"; expect 0 "14 10" "" sub=/ sub/data.bin=dec sub/data.bin.BAK=ex 'my file=dec' 'my file.BAK=ex'
